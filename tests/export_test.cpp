// Video export on the real components, checked from outside: the pictures of
// the file against the control's own pictures of the same frames, the file's
// streams and length with ffprobe, a clean decode with the ffmpeg tool, the
// sound kept in step and silent in pauses, failures that leave no file, and
// playing in a browser's <video>. The plan's arithmetic is checked on its own.
#include "analysis/Analysis.h"
#include "control/Trelvan.h"
#include "core/TvnError.h"
#include "export/ExportPlan.h"
#include "export/VideoExport.h"
#include "fakes/ErrorFrom.h"
#include "fakes/EventLoopWait.h"
#include "fakes/MediaFiles.h"
#include "fakes/PlanarImage.h"
#include "fakes/TestClips.h"
#include "media/Components.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QMouseEvent>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <csignal>
#include <sys/resource.h>

using namespace tvn;
using namespace tvn::testclips;
using tvn::testing::errorFrom;
using tvn::testing::meanDifference;
using tvn::testing::waitFor;

namespace {

struct PlanCase {
    const char* name;
    int first, last;
    std::vector<ExportPlan::SpeedRange> speeds;
    std::vector<ExportPlan::Pause> pauses;
    std::vector<int64_t> copies;  // per step
    int32_t error;                // 0: made
};

TEST(ExportPlan, SpeedsRepeatOrSkipFramesAndPausesHoldThem) {
    const PlanCase cases[] = {
        {"plain", 2, 5, {}, {}, {1, 1, 1, 1}, 0},
        {"half speed on two", 0, 3, {{1, 2, 2}}, {}, {1, 2, 2, 1}, 0},
        {"one and a half", 0, 3, {{0, 3, 1.5}}, {}, {2, 1, 2, 1}, 0},
        {"double speed", 0, 3, {{0, 3, 0.5}}, {}, {1, 0, 1, 0}, 0},
        {"the later range wins", 0, 2, {{0, 2, 3}, {1, 1, 1}}, {}, {3, 1, 3}, 0},
        {"a pause of a second at 25 fps after frame 1", 0, 2, {}, {{1, 1.0, "Contact"}}, {1, 1, 25, 1}, 0},
        {"range past the clip", 0, 10, {}, {}, {}, err::InvalidCall},
        {"factor out of range", 0, 3, {{0, 3, 100}}, {}, {}, err::InvalidCall},
        {"pause outside the range", 0, 3, {}, {{5, 1, ""}}, {}, err::InvalidCall},
        {"empty pause", 0, 3, {}, {{1, 0, ""}}, {}, err::InvalidCall},
    };
    for (const PlanCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::optional<ExportPlan> plan;
        const auto error = errorFrom([&] { plan = ExportPlan::make(c.first, c.last, 10, c.speeds, c.pauses, 40); });
        ASSERT_EQ(error ? error->number() : 0, c.error);
        if (c.error) continue;
        std::vector<int64_t> copies;
        int64_t total = 0;
        for (const auto& s : plan->steps()) {
            copies.push_back(s.copies);
            total += s.copies;
        }
        EXPECT_EQ(copies, c.copies);
        EXPECT_EQ(plan->outputFrames(), total);
        EXPECT_DOUBLE_EQ(plan->durationMs(), total * 40.0);
    }
}

void send(QWidget* w, QEvent::Type type, QPointF pos, Qt::MouseButton button, Qt::MouseButtons buttons) {
    QMouseEvent event(type, pos, w->mapToGlobal(pos), button, buttons, Qt::NoModifier);
    QCoreApplication::sendEvent(w, &event);
}
void click(QWidget* w, QPointF pos) {
    send(w, QEvent::MouseButtonPress, pos, Qt::LeftButton, Qt::LeftButton);
    send(w, QEvent::MouseButtonRelease, pos, Qt::LeftButton, Qt::NoButton);
}

// A control showing a 30-frame clip with sound, with drawings that change from
// frame to frame: the clock, a hand-built trail over frames 5 to 12, a line.
std::unique_ptr<Trelvan> controlWithDrawingsOn(QString name, int frames) {
    auto control = std::make_unique<Trelvan>(Components::defaults());
    control->resize(320, 240);
    control->show();
    EXPECT_EQ(control->TVN_OpenFile(name), frames);
    QWidget* display = control->visibleVideoWidget();
    control->TVN_drawingColor = 0x0000FF;
    control->TVN_drawingWidth = 3;
    control->TVN_drawingTool = QStringLiteral("line");
    send(display, QEvent::MouseButtonPress, {30, 200}, Qt::LeftButton, Qt::LeftButton);
    send(display, QEvent::MouseMove, {290, 180}, Qt::NoButton, Qt::LeftButton);
    send(display, QEvent::MouseButtonRelease, {290, 180}, Qt::LeftButton, Qt::NoButton);
    int32_t frame = 5;
    control->TVN_SetFrame(frame);
    bool on = true;
    control->TVN_SetTracking(on);
    for (int i = 0; i < 8; ++i) click(display, QPointF(60 + 25 * i, 120 - 8 * i));  // each click steps a frame
    control->TVN_DisplayClock = true;
    control->TVN_TextColor = 0x00FFFF;
    control->TVN_FontSize = 14;
    return control;
}

std::unique_ptr<Trelvan> controlWithDrawings(int frames = 30) {
    return controlWithDrawingsOn(clip(ClipFormat::H264Mp4, {.frames = frames, .keyInterval = 10, .audio = true}), frames);
}

// How many pixels of the part differ in brightness by more than a drawn stroke
// or digit against the video under it can be mistaken for encoding loss.
int strongDifferences(const QImage& a, const QImage& b, QRect part) {
    int count = 0;
    for (int y = part.top(); y <= part.bottom(); ++y)
        for (int x = part.left(); x <= part.right(); ++x)
            if (std::abs(qGray(a.pixel(x, y)) - qGray(b.pixel(x, y))) > 96) ++count;
    return count;
}

// Runs an export to its end; the outcome: "done", "cancelled" or the failure's number.
QString exportTo(VideoExport& exporter, const QString& file, int timeoutMs = 120000) {
    QString outcome;
    const auto f = QObject::connect(&exporter, &VideoExport::finished, [&](const QString&, bool cancelled) {
        outcome = cancelled ? "cancelled" : "done";
    });
    const auto g = QObject::connect(&exporter, &VideoExport::failed, [&](int number, const QString& text) {
        outcome = QString::number(number) + " " + text;
    });
    if (const auto error = errorFrom([&] { exporter.start(file); })) outcome = QString::number(error->number());
    else if (waitFor([&] { return !outcome.isEmpty(); }, timeoutMs))
        EXPECT_FALSE(exporter.busy()) << "an export that has ended is not running: the next one can start";
    QObject::disconnect(f);
    QObject::disconnect(g);
    return outcome;
}

// What a program prints; its error output too unless it is a browser's noise.
QString run(const QString& program, const QStringList& args, bool withErrors = true) {
    QProcess p;
    p.setProcessChannelMode(withErrors ? QProcess::MergedChannels : QProcess::SeparateChannels);
    p.start(program, args);
    p.waitForFinished(120000);
    return QString::fromUtf8(p.readAll()).trimmed();
}

// The file's video stream as ffprobe sees it, with every frame counted.
QString probe(const QString& file, const QString& entries, const QString& streams = "v:0") {
    return run("ffprobe", {"-v", "error", "-count_frames", "-select_streams", streams, "-show_entries", entries,
                           "-of", "csv=p=0", file});
}

TEST(ExportReal, EachFrameIsTheControlsOwnPictureAndTheFilePlaysAnywhere) {
    auto control = controlWithDrawings();
    QTemporaryDir dir;
    const QString file = dir.filePath("analysis.mp4");
    VideoExport& exporter = *control->videoExport();
    ASSERT_EQ(exportTo(exporter, file), "done");
    EXPECT_EQ(exporter.percent(), 100);

    // From outside: H.264 High in yuv420p and AAC, every frame there, the index first, a clean decode.
    EXPECT_EQ(probe(file, "stream=codec_name,profile,width,height,pix_fmt,nb_read_frames").toStdString(),
              "h264,High,320,240,yuv420p,30");
    EXPECT_EQ(probe(file, "stream=codec_name,sample_rate,channels", "a:0").toStdString(), "aac,48000,2");
    EXPECT_NEAR(probe(file, "format=duration").toDouble(), 1.0, 0.03);
    EXPECT_EQ(run("ffmpeg", {"-v", "warning", "-i", file, "-f", "null", "-"}), "");
    const QByteArray bytes = readFile(file);
    EXPECT_LT(bytes.indexOf("moov"), bytes.indexOf("mdat")) << "+faststart";
    EXPECT_TRUE(QDir(dir.path()).entryList(QDir::Hidden | QDir::Files).contains("analysis.mp4"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Hidden | QDir::Files).size(), 1) << "no temporary file left";

    // Frame by frame, the control's own picture: before, on, inside and past the trail, clock running.
    const std::vector<QImage> written = tvn::testing::decodeFrames(file);
    ASSERT_EQ(written.size(), 30u);
    // Where the clock and the trail are drawn, compared on their own: a wrong
    // digit or segment is a small part of the whole picture.
    const QRect clock(0, 0, 120, 32), trail(50, 55, 210, 75);
    for (int32_t n : {0, 5, 9, 12, 20, 29}) {
        SCOPED_TRACE(n);
        int32_t f = n;
        control->TVN_SetFrame(f);
        const QImage own = control->TVN_GetFrameAsIPic().image();
        int32_t next = n == 29 ? 28 : n + 1;
        control->TVN_SetFrame(next);
        const QImage neighbour = control->TVN_GetFrameAsIPic().image();
        EXPECT_LT(meanDifference(written[n], own), 2.5);
        EXPECT_LE(strongDifferences(written[n], own, clock), 4);
        EXPECT_LE(strongDifferences(written[n], own, trail), 4);
        // The comparison tells frames apart (the frame code, the clock).
        EXPECT_GT(meanDifference(written[n], neighbour), 3.0);
        EXPECT_GT(strongDifferences(written[n], neighbour, clock), 100);
    }
}

TEST(ExportReal, SlowMotionAndPausesKeepTheSoundInStep) {
    auto control = controlWithDrawings(90);  // its sound lasts past frame 29
    QTemporaryDir dir;
    const QString file = dir.filePath("slow.mp4");
    VideoExport& exporter = *control->videoExport();
    exporter.setRange(0, 29);
    exporter.addSlowMotion(10, 19, 2);      // 10 frames become 20
    exporter.addPause(5, 1.0, "Contact");  // 30 frames held
    EXPECT_NEAR(exporter.plannedDurationMs(), 70 * 1000.0 / 30, 0.01);
    ASSERT_EQ(exportTo(exporter, file), "done");
    EXPECT_EQ(probe(file, "stream=nb_read_frames").toStdString(), "70");
    const tvn::testing::TimedMedia m = tvn::testing::decodeTimed(file);
    ASSERT_EQ(m.frames.size(), 70u);
    ASSERT_GT(m.sampleRate, 0);
    const double soundSeconds = m.soundFrom + double(m.sound.size()) / m.sampleRate;
    EXPECT_NEAR(soundSeconds, 70 / 30.0, 0.05) << "the sound ends with the pictures";

    // The pause: frame 5 held 30 times, with its label in a dark band, and silent.
    EXPECT_LT(meanDifference(m.frames[6], m.frames[35]), 0.5);
    EXPECT_GT(meanDifference(m.frames[5], m.frames[6]), 1.0) << "the label, on the held frame only";
    const auto rms = [&](double from, double to) {
        double sum = 0;
        int n = 0;
        for (int i = int((from - m.soundFrom) * m.sampleRate); i < int((to - m.soundFrom) * m.sampleRate); ++i, ++n)
            sum += double(m.sound[size_t(i)]) * m.sound[size_t(i)];
        return std::sqrt(sum / std::max(n, 1));
    };
    EXPECT_LT(rms(0.3, 1.1), 0.01) << "silent while paused";
    EXPECT_GT(rms(1.3, 2.2), 0.05) << "the clip's sound, slowed, after the pause";
}

// 12 frames woven from two fields of moving pictures each, combed where they move.
QString interlacedClip() {
    const QString path = testFolder().filePath(QStringLiteral("interlaced.mp4"));
    run("ffmpeg", {"-v", "error", "-y", "-f", "lavfi", "-i", "testsrc2=s=320x240:r=50", "-frames:v", "12", "-vf",
                   "tinterlace=mode=merge", "-c:v", "libx264", "-flags", "+ildct+ilme", "-g", "5", "-pix_fmt", "yuv420p", path});
    return path;
}

// The clips a coach brings, exported: each frame the control's own picture
// (at the file's size, within the encoder's loss) whatever the clip's shape,
// orientation, range or chroma, mirrored, scaled, or in WebM.
TEST(ExportReal, EveryKindOfClipExportsAsTheControlShowsIt) {
    struct Row {
        const char* name;
        ClipFormat format;
        ClipOptions options;
        int rotation = 0;
        bool mirrored = false;
        QSize size;             // the file's; empty: the clip's (odd sides rounded down to even)
        const char* file = "out.mp4";
        const char* stream = "h264,High,yuv420p";
        bool deinterlaced = false;  // the control deinterlaces (TVN_DoDeinterlace)
        // Within the encoder's loss; combed fields left in cost 3 or more.
        double tolerance = 4.0;
    };
    const Row rows[] = {
        {"portrait_phone", ClipFormat::H264Mp4, {.frames = 12, .width = 202, .height = 118, .keyInterval = 5}, 90},
        {"upside_down", ClipFormat::H264Mp4, {.frames = 12, .width = 202, .height = 118, .keyInterval = 5}, 180},
        {"odd_sides", ClipFormat::Ffv1Mkv, {.frames = 12, .width = 201, .height = 117, .keyInterval = 5}},
        {"full_range", ClipFormat::H264Mp4, {.frames = 12, .keyInterval = 5, .pixelFormat = "yuvj420p"}},
        {"chroma_444", ClipFormat::H264Mp4, {.frames = 12, .width = 202, .height = 118, .keyInterval = 5, .pixelFormat = "yuv444p"}},
        {"ten_bit_hevc", ClipFormat::HevcMp4, {.frames = 12, .keyInterval = 5, .pixelFormat = "yuv420p10le"}},
        {"mirrored", ClipFormat::H264Mp4, {.frames = 12, .keyInterval = 5}, 0, true},
        {"deinterlaced", ClipFormat::H264Mp4, {.frames = 12, .keyInterval = 5}, 0, false, {}, "out.mp4", "h264,High,yuv420p", true, 2.0},
        {"scaled_webm", ClipFormat::H264Mp4, {.frames = 12, .keyInterval = 5}, 0, false, QSize(160, 120), "out.webm",
         "vp9,Profile 0,yuv420p"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        QString path = row.deinterlaced ? interlacedClip() : makeClip(testFolder().path(), row.format, row.options, QString::fromLatin1(row.name));
        if (row.rotation) setDisplayRotation(path, row.rotation);
        auto control = controlWithDrawingsOn(path, 12);
        if (row.mirrored) control->TVN_FlipVideo(1);
        control->TVN_DoDeinterlace = row.deinterlaced;
        control->TVN_ReDraw();  // the host's way to have the display take it up
        QTemporaryDir dir;
        const QString file = dir.filePath(row.file);
        VideoExport& exporter = *control->videoExport();
        exporter.setWidth(row.size.isEmpty() ? 0 : row.size.width());
        exporter.setHeight(row.size.isEmpty() ? 0 : row.size.height());
        ASSERT_EQ(exportTo(exporter, file), "done");
        EXPECT_EQ(probe(file, "stream=codec_name,profile,pix_fmt").toStdString(), row.stream);
        const std::vector<QImage> out = tvn::testing::decodeFrames(file);
        ASSERT_EQ(out.size(), 12u);
        const QSize shown(control->TVN_VideoWidth, control->TVN_VideoHeight);
        EXPECT_EQ(out[0].size(), row.size.isEmpty() ? QSize(shown.width() & ~1, shown.height() & ~1) : row.size);
        for (int32_t n : {3, 10}) {
            int32_t f = n;
            control->TVN_SetFrame(f);
            const QImage own = control->TVN_GetFrameAsIPic().image().scaled(out[0].size(), Qt::IgnoreAspectRatio,
                                                                              Qt::SmoothTransformation);
            EXPECT_LT(meanDifference(out[size_t(n)], own), row.tolerance) << "frame " << n;
            EXPECT_GT(meanDifference(out[size_t(n)], own.mirrored(true, false)), 8.0) << "frame " << n << " is not mirrored";
        }
    }
}

// The key moments pause with their own labels; a slow range repeats its frames,
// or, interpolated, glides through pictures between them.
TEST(ExportReal, KeyMomentsPauseWithTheirLabelsAndSlowMotionCanGlide) {
    for (const bool interpolated : {false, true}) {
        SCOPED_TRACE(interpolated);
        auto control = controlWithDrawings();
        QTemporaryDir dir;
        const QString file = dir.filePath("moments.mp4");
        control->analysis()->markKeyMomentAt(8, "Take-off", "", 0x0000FF);
        control->analysis()->markKeyMomentAt(20, "Landing", "", 0x00FF00);
        VideoExport& exporter = *control->videoExport();
        exporter.pauseOnKeyMoments(0.5);  // 15 frames each
        exporter.addSlowMotion(10, 13, 4);
        exporter.setInterpolatedSlowMotion(interpolated);
        // Frames 0-8, the take-off held (9-23), 9, 10-13 four times each (25-40), 14-20, the landing held (48-62), 21-29.
        ASSERT_EQ(exportTo(exporter, file), "done");
        const std::vector<QImage> out = tvn::testing::decodeFrames(file);
        ASSERT_EQ(out.size(), 72u);
        const QRect band(0, 200, 320, 40), above(0, 0, 320, 200);
        EXPECT_GT(meanDifference(out[9].copy(band), out[8].copy(band)), 10.0) << "the label's band";
        EXPECT_LT(meanDifference(out[9].copy(above), out[8].copy(above)), 1.0) << "the same frame above it";
        EXPECT_LT(meanDifference(out[9], out[23]), 0.5) << "held";
        EXPECT_GT(strongDifferences(out[9], out[48], band), 40) << "each moment its own label";
        EXPECT_EQ(frameNumber(out[25]), 10);
        EXPECT_EQ(frameNumber(out[29]), 11);
        EXPECT_EQ(frameNumber(out[41]), 14);
        for (int i : {26, 27, 28}) {
            if (interpolated) EXPECT_GT(meanDifference(out[size_t(i)], out[25]), 0.5) << "between 10 and 11: " << i;
            else EXPECT_LT(meanDifference(out[size_t(i)], out[25]), 0.5) << "frame 10 again: " << i;
        }
    }
}

TEST(ExportReal, TheSecondClipRunsInStepBesideOrOverTheFirst) {
    auto control = controlWithDrawings();
    QTemporaryDir dir;
    VideoExport& exporter = *control->videoExport();
    const QString second = clip(ClipFormat::H264Mp4, {.frames = 30, .fps = 25, .keyInterval = 10});
    exporter.setComparison("sideBySide", second, 3, 100);
    ASSERT_EQ(exportTo(exporter, dir.filePath("side.mp4")), "done");
    const std::vector<QImage> side = tvn::testing::decodeFrames(dir.filePath("side.mp4"));
    ASSERT_EQ(side.size(), 30u);
    ASSERT_EQ(side[0].size(), QSize(640, 240));
    // Output frame n is at n / 30 s; the second clip's frame 3 starts with it, 25 a second.
    for (const auto& [n, left, right] : {std::tuple(0, 0, 3), std::tuple(12, 12, 13), std::tuple(29, 29, 27)}) {
        SCOPED_TRACE(n);
        EXPECT_EQ(frameNumber(side[size_t(n)].copy(0, 0, 320, 240)), left);
        EXPECT_EQ(frameNumber(side[size_t(n)].copy(320, 0, 320, 240)), right);
    }
    exporter.setComparison("mixed", second, 0, 50);
    ASSERT_EQ(exportTo(exporter, dir.filePath("mixed.mp4")), "done");
    const std::vector<QImage> mixed = tvn::testing::decodeFrames(dir.filePath("mixed.mp4"));
    ASSERT_EQ(mixed.size(), 30u);
    EXPECT_EQ(mixed[0].size(), QSize(320, 240));
    int32_t f = 20;
    control->TVN_SetFrame(f);
    EXPECT_GT(meanDifference(mixed[20], control->TVN_GetFrameAsIPic().image()), 3.0) << "the second clip shows through";
    EXPECT_EQ(errorFrom([&] { exporter.setComparison("diagonal", second, 0, 50); })->number(), err::InvalidCall);
    EXPECT_EQ(errorFrom([&] { exporter.setComparison("mixed", dir.filePath("none.mp4"), 0, 50); })->number(), err::FileNotFound);
}

TEST(ExportReal, AFailureOrACancelLeavesNoFileBehind) {
    auto control = controlWithDrawings();
    QTemporaryDir dir;
    VideoExport& exporter = *control->videoExport();
    const auto filesIn = [](const QString& folder) { return QDir(folder).entryList(QDir::Hidden | QDir::Files | QDir::NoDotAndDotDot); };

    EXPECT_EQ(exportTo(exporter, dir.filePath("no/such/folder/a.mp4")), QString::number(err::PathFileAccess));
    EXPECT_EQ(exportTo(exporter, "/proc/a.mp4").section(' ', 0, 0), QString::number(err::PathFileAccess));

    // A disk that fills up mid-file: the file size limit stops the writes as ENOSPC would.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit small = old;
    small.rlim_cur = 20000;
    setrlimit(RLIMIT_FSIZE, &small);
    const QString full = exportTo(exporter, dir.filePath("full.mp4"));
    setrlimit(RLIMIT_FSIZE, &old);
    EXPECT_TRUE(full.startsWith(QString::number(err::ExportFailed) + " Cannot") && full.contains("full.mp4': File too large"))
        << full.toStdString();
    ASSERT_NE(control->lastNotificationError(), nullptr);
    EXPECT_TRUE(control->lastNotificationError()->source().contains("(VideoExport_worker)")) << "kept for the host";
    EXPECT_TRUE(filesIn(dir.path()).isEmpty()) << filesIn(dir.path()).join(' ').toStdString();

    // Cancelled at once: finished, cancelled, nothing left.
    exporter.addSlowMotion(0, 29, 8);
    QString outcome;
    QObject::connect(&exporter, &VideoExport::finished, [&](const QString&, bool cancelled) { outcome = cancelled ? "cancelled" : "done"; });
    exporter.start(dir.filePath("cancelled.mp4"));
    EXPECT_EQ(errorFrom([&] { exporter.start(dir.filePath("second.mp4")); })->number(), err::InvalidCall);
    exporter.cancel();
    ASSERT_TRUE(waitFor([&] { return !outcome.isEmpty(); }, 60000));
    EXPECT_EQ(outcome, "cancelled");
    EXPECT_TRUE(filesIn(dir.path()).isEmpty()) << filesIn(dir.path()).join(' ').toStdString();
}

// A page that plays the video and writes what the browser made of it into its title.
TEST(ExportReal, PlaysInABrowser) {
    const QString chromium = QStandardPaths::findExecutable("chromium");
    if (chromium.isEmpty()) GTEST_SKIP() << "chromium is not installed (scripts/setup installs it)";
    auto control = controlWithDrawings();
    QTemporaryDir dir;
    VideoExport& exporter = *control->videoExport();
    for (const char* name : {"clip.mp4", "clip.webm"}) {
        SCOPED_TRACE(name);
        ASSERT_EQ(exportTo(exporter, dir.filePath(name)), "done");
        const QString page = dir.filePath(QStringLiteral("%1.html").arg(name));
        // Played: the clock moved, a picture is there to show, and the browser's
        // counters say it decoded sound and pictures. (A headless browser runs on
        // virtual time, which a clip with sound does not follow, so the page asks
        // what decoding shows rather than how far playing got.)
        writeFile(page, QStringLiteral(
            "<html><body><video id=v muted src='%1'></video><script>"
            "const v = document.getElementById('v');"
            "const say = s => document.body.setAttribute('data-state', s);"
            "v.onerror = () => say('error ' + v.error.code);"
            "v.play().then(() => setTimeout(() => say(['played', v.currentTime > 0, v.readyState >= 2,"
            "  v.webkitAudioDecodedByteCount > 0, v.webkitVideoDecodedByteCount > 0, v.duration.toFixed(1)].join(' ')),"
            "  600), e => say('refused ' + e.name));"
            "</script></body></html>").arg(name).toUtf8());
        const QString dom = run(chromium, {"--headless", "--no-sandbox", "--disable-gpu", "--mute-audio",
                                           "--autoplay-policy=no-user-gesture-required", "--allow-file-access-from-files",
                                           "--virtual-time-budget=5000", "--dump-dom", QUrl::fromLocalFile(page).toString()},
                                false);
        if (!dom.contains("<body")) GTEST_SKIP() << "chromium cannot start here: " << dom.left(300).toStdString();
        EXPECT_TRUE(dom.contains("data-state=\"played true true true true 1.0\"")) << dom.left(120).toStdString();
    }
}

}  // namespace
