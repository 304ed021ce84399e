// The control on the real FFmpeg components, on clips made at test time whose
// frame n shows the number n: the measures of an open clip, jumps, steps and
// the film strip on the pixels handed to the host; the second-clip overlay and
// the bitmap overlay on the mixed picture; drawing with the pointer over the
// video. Where two clips blend half and half, a cell of the frame code white in
// one clip only is mid grey; white in both, white; in neither, black.
#include "control/Trelvan.h"
#include "core/BitmapTable.h"
#include "core/TvnError.h"
#include "fakes/ControlProbe.h"
#include "fakes/ErrorFrom.h"
#include "fakes/EventLoopWait.h"
#include "fakes/TestClips.h"
#include "media/Components.h"
#include "media/alsa/AlsaAudioRecorder.h"
#include "platform/Surface.h"

#include <QCoreApplication>
#include <QFile>
#include <QMouseEvent>
#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <gtest/gtest.h>
#include <map>
#include <memory>

using namespace tvn;
using namespace tvn::testclips;
using tvn::testing::errorFrom;
using tvn::testing::waitFor;

namespace {

struct RealControl : ::testing::Test {
    void SetUp() override {
        control = std::make_unique<Trelvan>(Components::defaults());
        control->resize(320, 240);
        QString name = clip(ClipFormat::H264Mp4, {300});
        opened = control->TVN_OpenFile(name);
    }
    int shownFrame() { return frameNumber(control->TVN_GetFrameAsIPic().image()); }

    std::unique_ptr<Trelvan> control;
    int32_t opened = 0;
};

TEST_F(RealControl, OpensWithItsMeasures) {
    EXPECT_EQ(std::tuple(opened, control->TVN_NumFrames), std::tuple(300, 300));
    EXPECT_NEAR(control->TVN_FrameLenMS, 33.333, 0.001);
    EXPECT_NEAR(control->TVN_TotalLenMS, 10000, 1e-6);
    EXPECT_EQ(std::tuple(control->TVN_VideoWidth, control->TVN_VideoHeight, shownFrame()), std::tuple(320, 240, 0));
}

TEST_F(RealControl, JumpsAndStepsShowTheFrameTheyName) {
    struct Case { const char* move; int frame; };
    const Case cases[] = {{"SetFrame 10", 10}, {"Step", 11}, {"SetPos 1000", 30}, {"Step", 31},
                          {"SetFrame 299", 299}, {"SetFrame 2", 2}, {"SetPos 5000", 150}};
    for (const Case& k : cases) {
        SCOPED_TRACE(k.move);
        const QString move = QString::fromLatin1(k.move);
        if (move.startsWith("SetFrame")) {
            int32_t f = move.section(' ', 1).toInt();
            control->TVN_SetFrame(f);
        } else if (move.startsWith("SetPos")) {
            double pos = move.section(' ', 1).toDouble();
            control->TVN_SetPos(pos);
        } else {
            control->TVN_StepOneFrame();
        }
        EXPECT_EQ(std::tuple(control->TVN_CurrentFrame, shownFrame()), std::tuple(k.frame, k.frame));
    }
}

TEST_F(RealControl, FilmStripShowsTheNextNineFramesAndReturns) {
    int32_t start = 40;
    control->TVN_SetFrame(start);
    control->TVN_ShowFilmStrip(true);
    ControlProbe probe(*control);
    const QImage strip = probe.picture(5).image();
    ASSERT_EQ(strip.width(), 320);
    ASSERT_EQ(strip.height(), 240);
    // Thumbnails of 106.67 x 80 pixels from x 0, 106.67, 213.33 and y 0, 80, 160; read each inside its cell.
    const int xs[] = {0, 107, 214}, ys[] = {0, 80, 160};
    for (int i = 0; i < 9; ++i) {
        const QImage cell = strip.copy(xs[i % 3], ys[i / 3], 106, 80);
        EXPECT_EQ(frameNumber(cell), start + i) << "thumbnail " << i;
    }
    EXPECT_EQ(std::tuple(control->TVN_CurrentFrame, shownFrame(), bool(probe.filmStripPanel()->isEnabled())),
              std::tuple(start, start, true));
    control->TVN_ShowFilmStrip(false);
    EXPECT_TRUE(probe.filmStripPanel()->isHidden());
}

enum Level { Black = 0, Grey = 1, White = 2 };

// Level of the centre of cell k (4 columns x 3 rows) of a picture.
Level cellLevel(const QImage& image, int k) {
    const int cw = image.width() / 4, ch = image.height() / 3;
    const int x0 = (k % 4) * cw + cw / 3, y0 = (k / 4) * ch + ch / 3;
    int sum = 0, n = 0;
    for (int y = y0; y < y0 + ch / 3; ++y)
        for (int x = x0; x < x0 + cw / 3; ++x, ++n) sum += qGray(image.pixel(x, y));
    const int mean = n ? sum / n : 0;
    return mean < 50 ? Black : mean > 200 ? White : Grey;
}

// A control on the real components, shown at 320 x 240, with a 30-frame clip open.
std::unique_ptr<Trelvan> controlShowing() {
    auto control = std::make_unique<Trelvan>(Components::defaults());
    control->resize(320, 240);
    control->show();
    QString main = clip(ClipFormat::H264Mp4, {.frames = 30, .keyInterval = 10});
    EXPECT_EQ(control->TVN_OpenFile(main), 30);
    return control;
}

struct RealOverlay : ::testing::Test {
    void SetUp() override {
        control = controlShowing();
        if (mirrorMain) control->TVN_FlipVideo(1);
        QString second = clip(ClipFormat::H264Mp4, {.frames = 30, .fps = 25, .keyInterval = 10});
        control->TVN_Overlay(second);
        ASSERT_TRUE(ControlProbe(*control).state().overlayActive);
    }
    QImage mixed() { return control->TVN_GetFrameAsIPic().image(); }
    // Second clip on frame 3 (cells 0 and 1), main clip on frame 5 (cells 0 and 2).
    void showFiveOverThree() {
        control->TVN_SetOverlay2Frame(3);
        int32_t five = 5;
        control->TVN_SetFrame(five);
    }
    // Waits until the mixed picture shows the expected cell levels.
    ::testing::AssertionResult shows(const std::map<int, Level>& cells) {
        QImage last;
        const bool ok = waitFor(
            [&] {
                last = mixed();
                if (last.isNull()) return false;
                for (const auto& [k, level] : cells)
                    if (cellLevel(last, k) != level) return false;
                return true;
            },
            3000);
        if (ok) return ::testing::AssertionSuccess();
        auto failure = ::testing::AssertionFailure() << "cells:";
        for (int k = 0; k < 12 && !last.isNull(); ++k) failure << ' ' << cellLevel(last, k);
        return failure;
    }
    std::unique_ptr<Trelvan> control;
    bool mirrorMain = false;
};

TEST_F(RealOverlay, SecondClipBlendsHalfAndHalfAndMovesOnItsOwn) {
    // Both on frame 0: only the markers (cell 11) are white.
    EXPECT_TRUE(shows({{0, Black}, {1, Black}, {11, White}}));
    // Second clip on frame 3 (cells 0 and 1) over main frame 0.
    control->TVN_SetOverlay2Frame(3);
    EXPECT_TRUE(shows({{0, Grey}, {1, Grey}, {2, Black}, {11, White}}));
    // Main clip to frame 5 (cells 0 and 2); the second stays on 3.
    int32_t five = 5;
    control->TVN_SetFrame(five);
    EXPECT_TRUE(shows({{0, White}, {1, Grey}, {2, Grey}, {3, Black}, {11, White}}));
}

struct RealOverlayOnMirroredMain : RealOverlay {
    void SetUp() override {
        mirrorMain = true;
        RealOverlay::SetUp();
    }
};

TEST_F(RealOverlayOnMirroredMain, MainClipStaysMirroredUnderTheOverlay) {
    // Both on frame 0: the main clip's marker moves to the bottom left, each corner half strength.
    EXPECT_TRUE(shows({{8, Grey}, {11, Grey}}));
}

TEST_F(RealOverlay, MirroredSecondClipIsMirroredOnThePixels) {
    showFiveOverThree();
    control->TVN_FlipOverlay(true);
    // The second's cells 0, 1 and its marker move to columns 3, 2 and the bottom left.
    EXPECT_TRUE(shows({{0, Grey}, {1, Black}, {2, White}, {3, Grey}, {8, Grey}, {11, Grey}}));
    control->TVN_FlipOverlay(false);
    EXPECT_TRUE(shows({{0, White}, {1, Grey}, {2, Grey}, {3, Black}, {11, White}}));
}

TEST_F(RealOverlay, AdjustSetsOpacityAndPlacesTheMainClip) {
    showFiveOverThree();
    const QImage before = mixed();
    ASSERT_FALSE(before.isNull());
    const int w = before.width(), h = before.height();

    control->TVN_AdjustOverlay(0, 0, h, w, 100);  // opaque second clip
    EXPECT_TRUE(waitFor([&] { return frameNumber(mixed()) == 3; }, 3000)) << frameNumber(mixed());
    control->TVN_AdjustOverlay(0, 0, h, w, 0);  // transparent second clip
    EXPECT_TRUE(waitFor([&] { return frameNumber(mixed()) == 5; }, 3000)) << frameNumber(mixed());

    // The main clip squeezed into the right half; nothing covers the left half.
    control->TVN_AdjustOverlay(w / 2, 0, h, w / 2, 0);
    EXPECT_TRUE(waitFor([&] { return frameNumber(mixed().copy(w / 2, 0, w - w / 2, h)) == 5; }, 3000));
    EXPECT_EQ(cellLevel(mixed(), 0), Black);  // main frame 5 has cell 0 white where it was
}

TEST(RealBitmapOverlay, KeyColourLeavesTheVideoVisible) {
    const auto owner = controlShowing();
    Trelvan& control = *owner;
    int32_t six = 6;
    control.TVN_SetFrame(six);
    // The key colour (white, the default TVN_TransparentColor) everywhere but a
    // red square in the top-left corner, between the cells the frame code uses.
    QImage mark(320, 240, QImage::Format_RGB32);
    mark.fill(Qt::white);
    QPainter(&mark).fillRect(0, 0, 20, 20, Qt::red);
    int32_t handle = BitmapTable::instance().add(mark);
    control.TVN_SetBitmapOverlay(handle);
    EXPECT_EQ(control.TVN_OverlayImage, handle);
    QImage shown;
    EXPECT_TRUE(waitFor(
        [&] {
            shown = control.TVN_GetFrameAsIPic().image();
            return !shown.isNull() && qRed(shown.pixel(10, 10)) > 200 && qGreen(shown.pixel(10, 10)) < 60;
        },
        3000));
    EXPECT_EQ(frameNumber(shown), 6);  // the video shows through the key colour
    BitmapTable::instance().release(handle);
}

// A second clip that cannot open fails the overlay with the file named, and
// leaves a control that can still close it, play and open another clip.
TEST(RealOverlayFailure, ABadSecondClipLeavesAControlThatCanCloseAndGoOn) {
    const auto owner = controlShowing();
    Trelvan& control = *owner;
    QString main = control.TVN_videoFileName;
    QString bad = writeFile(testFolder().filePath("not-a-clip.mp4"), QByteArray(4096, 'x'));
    const auto e = errorFrom([&] { control.TVN_Overlay(bad); });
    ASSERT_TRUE(e) << "an unreadable second clip was accepted";
    EXPECT_TRUE(e->description().contains(bad)) << e->description().toStdString();
    EXPECT_TRUE(e->source().startsWith(QStringLiteral("(TVN_Overlay)->"))) << e->source().toStdString();
    QString none;
    EXPECT_NO_THROW(control.TVN_Overlay(none));
    EXPECT_FALSE(ControlProbe(control).state().overlayActive);
    int32_t frame = 7;
    EXPECT_NO_THROW(control.TVN_SetFrame(frame));
    EXPECT_TRUE(waitFor([&] { return frameNumber(control.TVN_GetFrameAsIPic().image()) == 7; }, 3000));
    EXPECT_NO_THROW(control.TVN_Close());
    EXPECT_EQ(control.TVN_OpenFile(main), 30);
}

void send(QWidget* w, QEvent::Type type, QPointF pos, Qt::MouseButton button, Qt::MouseButtons buttons) {
    QMouseEvent event(type, pos, w->mapToGlobal(pos), button, buttons, Qt::NoModifier);
    QCoreApplication::sendEvent(w, &event);
}

int32_t colourAt(QWidget* w, int x, int y) { return Surface::fromQColor(w->grab().toImage().pixelColor(x, y)); }

// True once every point of the widget shows the colour.
bool showsEverywhere(QWidget* w, int32_t colour, std::initializer_list<QPoint> points) {
    return waitFor(
        [&] {
            return std::all_of(points.begin(), points.end(), [&](QPoint p) { return colourAt(w, p.x(), p.y()) == colour; });
        },
        3000);
}

TEST(AnnotateReal, LineDrawnWithThePointerShowsOverTheVideo) {
    Trelvan control(Components::defaults());
    control.resize(320, 240);
    QString name = clip(ClipFormat::H264Mp4, {30});
    ASSERT_EQ(control.TVN_OpenFile(name), 30);
    QList<QPointF> downs, ups;
    QObject::connect(&control, &Trelvan::MouseDown, [&](int16_t&, int16_t&, float& x, float& y) { downs.append({x, y}); });
    QObject::connect(&control, &Trelvan::MouseUp, [&](int16_t&, int16_t&, float& x, float& y) { ups.append({x, y}); });

    control.TVN_drawingTool = QStringLiteral("line");
    QWidget* display = control.visibleVideoWidget();
    ASSERT_NE(display, &control);
    send(display, QEvent::MouseButtonPress, {40, 60}, Qt::LeftButton, Qt::LeftButton);
    send(display, QEvent::MouseMove, {280, 60}, Qt::NoButton, Qt::LeftButton);
    send(display, QEvent::MouseButtonRelease, {280, 60}, Qt::LeftButton, Qt::NoButton);
    ASSERT_EQ(control.lastNotificationError(), nullptr)
        << control.lastNotificationError()->source().toStdString() << ": "
        << control.lastNotificationError()->description().toStdString();

    ControlProbe probe(control);
    const LineObject& line = probe.store().Lines[0];
    EXPECT_TRUE(line.Visible);
    EXPECT_FLOAT_EQ(line.X1, 600);
    EXPECT_FLOAT_EQ(line.Y1, 900);
    EXPECT_FLOAT_EQ(line.X2, 4200);
    EXPECT_EQ(probe.store().nextLineSlot, 1);
    ASSERT_EQ(downs.size(), 1);
    EXPECT_NEAR(downs[0].x(), 40, 0.01);
    EXPECT_NEAR(downs[0].y(), 60, 0.01);
    ASSERT_EQ(ups.size(), 1);
    EXPECT_NEAR(ups[0].x(), 280, 0.01);

    // The user sees the yellow line over the frame, and the frame elsewhere.
    EXPECT_TRUE(waitFor([&] { return colourAt(display, 160, 60) == 0x00FFFF; }, 3000))
        << std::hex << colourAt(display, 160, 60);
    EXPECT_NE(colourAt(display, 160, 150), 0x00FFFF);
    control.TVN_EraseAll();
    EXPECT_TRUE(waitFor([&] { return colourAt(display, 160, 60) != 0x00FFFF; }, 3000));
}

TEST(AnnotateReal, TargetCrossHairAndAngleArmsShowOnTheVideo) {
    const auto owner = controlShowing();
    Trelvan& control = *owner;
    QWidget* display = control.visibleVideoWidget();
    constexpr int32_t kRed = 0x0000FF;
    control.TVN_drawingColor = kRed;
    control.TVN_DisplayTarget = true;
    control.TVN_drawingTool = QStringLiteral("target");
    send(display, QEvent::MouseButtonPress, {100, 80}, Qt::LeftButton, Qt::LeftButton);
    send(display, QEvent::MouseButtonRelease, {100, 80}, Qt::LeftButton, Qt::NoButton);
    EXPECT_TRUE(showsEverywhere(display, kRed, {{20, 80}, {300, 80}, {100, 20}, {100, 220}}));

    // First arm from (40, 160) to the vertex (200, 160); the second from there down.
    control.TVN_drawingTool = QStringLiteral("angle");
    send(display, QEvent::MouseButtonPress, {40, 160}, Qt::LeftButton, Qt::LeftButton);
    send(display, QEvent::MouseMove, {200, 160}, Qt::NoButton, Qt::LeftButton);
    send(display, QEvent::MouseButtonRelease, {200, 160}, Qt::LeftButton, Qt::NoButton);
    send(display, QEvent::MouseButtonPress, {200, 160}, Qt::LeftButton, Qt::LeftButton);
    send(display, QEvent::MouseMove, {200, 230}, Qt::NoButton, Qt::LeftButton);
    EXPECT_TRUE(showsEverywhere(display, kRed, {{120, 160}, {200, 200}})) << "while the second arm is pulled";
    send(display, QEvent::MouseButtonRelease, {200, 230}, Qt::LeftButton, Qt::NoButton);
    EXPECT_TRUE(showsEverywhere(display, kRed, {{120, 160}, {200, 200}})) << "once the angle is placed";
}

// Failures on the components' workers reach the host beside the documented events.
TEST(WorkerFailures, ReachTheHostBesideTheDocumentedEvents) {
    QTemporaryDir dir;
    // Index at the front, a busy picture (half the file is far more than the demuxer
    // reads ahead); the data is cut at half once the clip is open, so play runs until
    // the data stops.
    const QString cut = dir.filePath("cut.mp4");
    ASSERT_EQ(QProcess::execute("ffmpeg", {"-v", "error", "-y", "-f", "lavfi", "-i", "testsrc2=size=640x480:rate=30",
                                           "-frames:v", "90", "-g", "15", "-c:v", "libx264", "-movflags", "+faststart",
                                           cut}),
              0);
    const QString notAFolder = writeFile(dir.filePath("file"), {});

    Trelvan control(Components::defaults());
    std::vector<TvnError> failures;
    int ends = 0, completions = 0;
    QObject::connect(&control, &Trelvan::failed, [&](const TvnError& e) { failures.push_back(e); });
    QObject::connect(&control, &Trelvan::VideoEnd, [&] { ++ends; });
    QObject::connect(&control, &Trelvan::LessonCompressionComplete, [&] { ++completions; });

    QString clipName = cut;
    ASSERT_EQ(control.TVN_OpenFile(clipName), 90);
    ASSERT_TRUE(QFile(cut).resize(QFile(cut).size() / 2));
    control.TVN_Play();
    ASSERT_TRUE(waitFor([&] { return ends > 0; }, 10000));
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(failures[0].number(), err::PlaybackFailed);
    EXPECT_TRUE(failures[0].description().contains(cut)) << failures[0].what();
    ASSERT_NE(control.lastNotificationError(), nullptr);
    EXPECT_EQ(control.lastNotificationError()->description(), failures[0].description());

    // Nothing listens on port 1 of the loopback.
    EXPECT_EQ(control.TVN_UploadFrame("127.0.0.1", "coach", "pw", "", "frame.jpg", 1, 80), 0);
    ASSERT_EQ(failures.size(), 2u);
    EXPECT_EQ(failures[1].number(), err::UploadFailed);
    EXPECT_TRUE(failures[1].description().contains("127.0.0.1")) << failures[1].what();

    control.TVN_CompressLesson(clip(ClipFormat::MjpegAvi, {30}), notAFolder + "/lesson.wmv");
    ASSERT_TRUE(waitFor([&] { return completions > 0; }, 30000));
    tvn::testing::runFor(100);
    EXPECT_EQ(std::tuple(completions, ends), std::tuple(1, 1));
    ASSERT_EQ(failures.size(), 3u);
    EXPECT_EQ(failures[2].number(), err::ConversionFailed);
    EXPECT_TRUE(failures[2].description().contains(notAFolder)) << failures[2].what();
}

// Sets up ALSA with only the devices in text, for the rest of this test's process
// (each test runs in a process of its own).
void useAlsaDevices(const QTemporaryDir& dir, const char* text) {
    qputenv("ALSA_CONFIG_PATH", writeFile(dir.filePath("asound.conf"), text).toUtf8());
}

// No device that plays and one capture device without a mixer: a clip with sound
// plays silently to its end, and selecting that device leaves no line input selected.
TEST(NoSoundCard, ClipsPlaySilentlyAndADeviceWithoutLineInputsLeavesNoneSelected) {
    QTemporaryDir dir;
    useAlsaDevices(dir, "pcm.!default { type hw card 99 }\n"
                        "pcm.tvn_quiet { type null hint { show on description \"Quiet input\" } }\n");
    Trelvan control(Components::defaults());
    int ends = 0;
    QObject::connect(&control, &Trelvan::VideoEnd, [&] { ++ends; });
    QString withSound = clip(ClipFormat::H264Mp4, {.frames = 30, .audio = true});
    ASSERT_EQ(control.TVN_OpenFile(withSound), 30);
    control.TVN_Play();
    ASSERT_TRUE(waitFor([&] { return ends > 0; }, 5000));
    EXPECT_EQ(control.lastNotificationError(), nullptr);

    const int16_t quiet = int16_t(control.TVN_AudioDevices.items().indexOf("Quiet input"));
    ASSERT_GE(quiet, 0) << control.TVN_AudioDevices.items().join(", ").toStdString();
    control.TVN_SelectAudioDevice(quiet);
    EXPECT_EQ(std::tuple(control.TVN_SelectedAudioDevice, control.TVN_AudioLineInputs.Count(),
                         control.TVN_SelectedLineInput),
              std::tuple(quiet, 0, int16_t(-1)));
}

// No capture device at all: an empty list, and a start that fails clearly and writes nothing.
TEST(NoSoundCard, NoCaptureDeviceMeansAnEmptyListAndAFailedStart) {
    QTemporaryDir dir;
    useAlsaDevices(dir, "pcm.null { type null }\nctl.null { type hw card 0 }\n");
    AlsaAudioRecorder recorder;
    EXPECT_EQ(recorder.GetDeviceCount(), 0);
    recorder.SetFileName(dir.filePath("none.wav"));
    const auto e = errorFrom([&] { recorder.StartRecord(2, 44100); });
    ASSERT_TRUE(e) << "recorded without a device";
    EXPECT_EQ(e->number(), err::AudioDeviceFailed);
    EXPECT_FALSE(QFile::exists(dir.filePath("none.wav")));
}

}  // namespace
