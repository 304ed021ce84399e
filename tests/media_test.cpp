// The FFmpeg media components on clips made at test time whose frame n shows
// the number n (fakes/TestClips.h): decoding on every format, the display
// engine, the mixer on its pixels, and frame upload to loopback servers.
#include "core/BitmapTable.h"
#include "core/TvnError.h"
#include "core/Twips.h"
#include "fakes/ErrorFrom.h"
#include "fakes/EventLoopWait.h"
#include "fakes/MediaFiles.h"
#include "fakes/PlanarImage.h"
#include "fakes/TestClips.h"
#include "media/FrameSource.h"
#include "media/ffmpeg/ClipDecoder.h"
#include "media/ffmpeg/ClipSoundPlayer.h"
#include "media/ffmpeg/FfmpegDisplayEngine.h"
#include "media/ffmpeg/LateFrameGate.h"
#include "media/ffmpeg/PlaybackPacer.h"
#include "upload/FrameUploader.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMouseEvent>
#include <QProcess>
#include <QPainter>
#include <QScopeGuard>
#include <QTimer>
#include <QTransform>
#include <gtest/gtest.h>
#include <cmath>
#include <functional>
#include <optional>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using namespace tvn;
using namespace tvn::testclips;
using namespace tvn::testing;

namespace {

const ClipOptions kOptions{};  // 150 frames, 30 fps, 320x240, keyframe every 60

class DecoderFormats : public ::testing::TestWithParam<ClipFormat> {};

// Seeking to a time inside frame n's interval must show n, wherever the decoder stood.
void expectSeekShows(ClipDecoder& d, ClipFormat f, double ms, int n) {
    const VideoFrame v = d.seek(ms);
    ASSERT_FALSE(v.isNull());
    EXPECT_EQ(frameNumber(v.image), n) << "seek to " << ms << " ms";
    EXPECT_NEAR(v.positionMs, frameStartMs(f, kOptions, n), 0.5) << "seek to " << ms << " ms";
}

TEST_P(DecoderFormats, OpensWithTrueCountsAndSeeksAndStepsShowTheFrameAsked) {
    const ClipFormat f = GetParam();
    ClipDecoder d;
    d.open(clip(f));
    const ClipInfo& info = d.info();
    EXPECT_EQ(std::tuple(info.width, info.height, info.frameCount), std::tuple(320, 240, kOptions.frames));
    // A variable-rate clip's last frame lasts what the encoder gave it, one frame at the first rate.
    const double lastFrameMs = f == ClipFormat::H264VfrMp4 ? 1000.0 / kOptions.fps
                                                           : frameStartMs(f, kOptions, kOptions.frames) -
                                                                 frameStartMs(f, kOptions, kOptions.frames - 1);
    EXPECT_NEAR(info.durationMs, frameStartMs(f, kOptions, kOptions.frames - 1) + lastFrameMs, 1.0);
    const VideoFrame first = d.current();
    EXPECT_EQ(std::tuple(first.positionMs, frameNumber(first.image), first.image.format()),
              std::tuple(0.0, 0, QImage::Format_RGB32));
    // A far jump decodes from the keyframe before it, not from the start.
    const int64_t decodedBefore = d.stats().framesDecoded;
    expectSeekShows(d, f, frameStartMs(f, kOptions, 140) + 1.0, 140);
    EXPECT_LE(d.stats().framesDecoded - decodedBefore, 2 * kOptions.keyInterval);

    const int k = kOptions.keyInterval;
    // Across keyframe boundaries, alternating far jumps so each seek starts from somewhere else.
    // The control seeks 1 ms into a frame; the last moment of the interval must show it too.
    for (int n : {k - 1, k, k + 1, 2 * k - 1, 2 * k, 0, 1, kOptions.frames - 1, k + 1, k - 1, 37, 113}) {
        expectSeekShows(d, f, frameStartMs(f, kOptions, n) + 1.0, n);
        const int m = (n + 75) % kOptions.frames;
        expectSeekShows(d, f, frameStartMs(f, kOptions, m + 1) - 0.5, m);
    }
    // Clamped before the start and past the end.
    const int last = kOptions.frames - 1;
    expectSeekShows(d, f, 1e9, last);
    EXPECT_TRUE(d.atLastFrame());
    EXPECT_EQ(frameNumber(d.stepForward().image), last);
    expectSeekShows(d, f, -50, 0);
    EXPECT_EQ(frameNumber(d.stepBackward().image), 0);
    expectSeekShows(d, f, frameStartMs(f, kOptions, kOptions.frames) + 5000, last);

    // Stepping forward decodes on; stepping back over decoded frames comes from the
    // cache; past what was decoded it seeks once and goes on from the cache.
    expectSeekShows(d, f, frameStartMs(f, kOptions, 40) + 1.0, 40);
    const int64_t seeks = d.stats().demuxSeeks;
    for (int n = 41; n <= 70; ++n) ASSERT_EQ(frameNumber(d.stepForward().image), n) << "step forward to " << n;
    for (int n = 69; n >= 40; --n) ASSERT_EQ(frameNumber(d.stepBackward().image), n) << "step back to " << n;
    EXPECT_EQ(d.stats().demuxSeeks, seeks) << "stepping must decode on or use the cache, not seek";
    for (int n = 39; n >= 10; --n) ASSERT_EQ(frameNumber(d.stepBackward().image), n) << "step back to " << n;
}

// A slider dragged over the clip: each quick picture is a real frame at or
// before the frame under the hand, no older than the keyframe interval before,
// and says where it is; while the hand rests, the worker brings the picture to
// the frame itself; the exact jump on release shows it.
TEST_P(DecoderFormats, ScrubPicturesAreFramesAtOrBeforeTheHandAndReachItAtRest) {
    const ClipFormat f = GetParam();
    ClipDecoder d;
    d.open(clip(f));
    d.setDecodeBehind(true);
    const int k = kOptions.keyInterval;
    const auto scrub = [&](int n) {
        const VideoFrame v = d.seekApproximate(frameStartMs(f, kOptions, n) + 1.0);
        const int shown = frameNumber(v.image);
        EXPECT_TRUE(shown <= n && shown >= n - 2 * k) << "frame " << shown << " for " << n;
        EXPECT_NEAR(v.positionMs, frameStartMs(f, kOptions, shown), 0.5) << "frame " << shown;
        return shown;
    };
    for (int n : {10, 50, 59, 61, 100, 130, 5, 149, 90}) scrub(n);
    EXPECT_TRUE(waitFor([&] { return scrub(100) == 100; }, 20000));
    expectSeekShows(d, f, frameStartMs(f, kOptions, 119) + 1.0, 119);
    expectSeekShows(d, f, frameStartMs(f, kOptions, 100) + 1.0, 100);
}

INSTANTIATE_TEST_SUITE_P(AllFormats, DecoderFormats, ::testing::ValuesIn(allClipFormats()),
                         [](const auto& info) { return formatName(info.param).replace('-', '_').toStdString(); });

// Every frame's own reported start, handed back as a seek (play restarting
// from the shown frame, the mixer's play, a deinterlace change do so), shows
// that same frame: on time bases where a frame's start in milliseconds is not
// a whole tick (25 fps in 1/12800, 29.97 fps) and on a variable rate.
TEST(ClipDecoder, ASeekToAShownFramesOwnPositionShowsThatFrame) {
    struct Case {
        const char* name;
        ClipFormat format;
        ClipOptions options;
    };
    const Case cases[] = {
        {"25 fps in 1/12800", ClipFormat::H264Mp4, {.frames = 60, .fps = 25, .keyInterval = 12, .timescale = 12800}},
        {"29.97 fps", ClipFormat::H264Mp4, {.frames = 60, .keyInterval = 12, .rate = "30000/1001"}},
        {"29.97 fps MPEG-TS", ClipFormat::Mpeg2Ts, {.frames = 60, .rate = "30000/1001"}},
        {"variable rate", ClipFormat::H264VfrMp4, {.frames = 60, .keyInterval = 12}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        ClipDecoder d;
        d.open(clip(k.format, k.options));
        ASSERT_EQ(d.info().frameCount, k.options.frames);
        std::vector<double> starts;
        for (int n = 0; n < k.options.frames; ++n) {
            const VideoFrame shown = n == 0 ? d.current() : d.stepForward();
            ASSERT_EQ(frameNumber(shown.image), n);
            starts.push_back(shown.positionMs);
        }
        // Back to each start from far away (a seek through the keyframe) and from the frame before.
        for (int n = 0; n < k.options.frames; ++n) {
            d.seek(starts[(n + 31) % starts.size()]);
            const VideoFrame far = d.seek(starts[n]);
            EXPECT_EQ(std::tuple(frameNumber(far.image), far.positionMs), std::tuple(n, starts[n])) << "frame " << n;
        }
    }
}

// Under a budget too small for anything but one picture the cache still keeps
// the frame being shown, whether it is the newest decoded one or one behind it.
TEST(ClipDecoder, ATightBudgetNeverDropsTheFrameShown) {
    ClipDecoder d;
    d.open(clip(ClipFormat::H264Mp4, {.frames = 90, .keyInterval = 30}));
    d.setDecodeBehind(false);
    ASSERT_EQ(frameNumber(d.seek(frameStartMs(ClipFormat::H264Mp4, {}, 50) + 1).image), 50);
    d.setCacheBudget(1);  // shrunk while the newest frame is shown
    EXPECT_EQ(frameNumber(d.current().image), 50);
    EXPECT_GE(d.stats().cachedFrames, 1);
    EXPECT_EQ(frameNumber(d.stepForward().image), 51);
    EXPECT_EQ(frameNumber(d.stepBackward().image), 50);  // behind the newest now
    d.setCacheBudget(2);
    EXPECT_EQ(frameNumber(d.current().image), 50);
    for (int n = 49; n >= 25; --n) ASSERT_EQ(frameNumber(d.stepBackward().image), n) << "step back to " << n;
    for (int n = 26; n <= 60; ++n) ASSERT_EQ(frameNumber(d.stepForward().image), n) << "step forward to " << n;
    EXPECT_LE(d.stats().cachedFrames, 3) << "the budget holds";
}

// While the picture rests, the frames before the cached run are decoded on a
// worker: stepping back across a keyframe decodes nothing here, stays exact and
// keeps within the cache budget.
TEST(ClipDecoder, DecodeBehindMakesStepsBackFreeWithinTheBudget) {
    for (ClipFormat f : {ClipFormat::H264Mp4, ClipFormat::Mpeg4Avi, ClipFormat::Mpeg2Ts}) {
        SCOPED_TRACE(formatName(f).toStdString());
        ClipDecoder d;
        d.open(clip(f));
        // A few frames behind the run, besides it and 8 pictures; on one format, where the run is long.
        const int64_t budget = f == ClipFormat::H264Mp4 ? 5 * 1024 * 1024 : INT64_MAX;
        if (f == ClipFormat::H264Mp4) d.setCacheBudget(budget);
        d.setDecodeBehind(true);
        ASSERT_EQ(frameNumber(d.seek(frameStartMs(f, kOptions, 121) + 1.0).image), 121);
        ASSERT_TRUE(waitFor([&] { return d.stats().framesReadyBehind > 0; }, 20000));
        const int64_t decoded = d.stats().framesDecoded;
        for (int n = 120; n >= 0; --n) {
            ASSERT_EQ(frameNumber(d.stepBackward().image), n);
            ASSERT_LE(d.stats().cachedBytes + d.stats().behindBytes, budget) << "at frame " << n;
        }
        EXPECT_EQ(d.stats().framesDecoded, decoded) << "the worker's window slides back with the steps";
    }
}

// A recording cut short (its index, written first, lists every frame; the data
// stops midway) opens with the frames that are there and counts the missing.
TEST(ClipDecoder, ClipCutShortOpensWithTheFramesThereAndCountsTheMissing) {
    const ClipFormat f = ClipFormat::H264Mp4;
    const ClipOptions o{.indexFirst = true};
    const QString cut = makeClip(testFolder().path(), f, o, QStringLiteral("cut short"));
    QFile(cut).resize(QFile(cut).size() / 2);
    ClipDecoder d;
    d.open(cut);
    const ClipInfo info = d.info();
    ASSERT_GT(info.missingFrames, 0);
    EXPECT_EQ(info.frameCount + info.missingFrames, o.frames);
    const int last = int(info.frameCount) - 1;
    EXPECT_NEAR(info.durationMs, frameStartMs(f, o, last + 1), 0.5);
    const VideoFrame end = d.seek(1e9);
    EXPECT_EQ(frameNumber(end.image), last);
    EXPECT_NEAR(end.positionMs, frameStartMs(f, o, last), 0.5);
    EXPECT_EQ(frameNumber(d.seek(frameStartMs(f, o, last / 2) + 1.0).image), last / 2);
}

TEST(ClipDecoder, DeinterlacingRemovesCombingAndKeepsFramesExact) {
    // Interlaced MPEG-2 whose two fields differ: even lines dark, odd lines light.
    const QString path = testFolder().filePath("combed.ts");
    ASSERT_TRUE(ffmpeg({"-f", "lavfi", "-i", "color=c=black:s=320x240:r=25", "-vf",
                        "format=yuv420p,geq=lum='if(mod(Y\\,2)\\,200\\,50)':cb=128:cr=128", "-frames:v", "5",
                        "-c:v", "mpeg2video", "-flags", "+ilme+ildct", "-q:v", "2", path}));
    auto combing = [](const QImage& img) {  // mean difference between neighbouring lines
        double sum = 0;
        for (int y = 100; y < 140; ++y) sum += std::abs(qGray(img.pixel(160, y)) - qGray(img.pixel(160, y + 1)));
        return sum / 40;
    };
    ClipDecoder d;
    d.open(path);
    EXPECT_GT(combing(d.seek(81).image), 100);
    d.setDeinterlace(true);
    EXPECT_LT(combing(d.current().image), 20);
    EXPECT_LT(combing(d.seek(121).image), 20);

    ClipDecoder coded;
    coded.setDeinterlace(true);
    coded.open(clip(ClipFormat::H264Mp4));
    for (int n : {17, 16, 90}) EXPECT_EQ(frameNumber(coded.seek(frameStartMs(ClipFormat::H264Mp4, kOptions, n) + 1).image), n);
}

TEST(ClipDecoder, PortraitPhoneFootageIsTurnedUpright) {
    const ClipOptions o{.frames = 40, .keyInterval = 20};
    for (int degrees : {90, 180, 270}) {
        const QString path = makeClip(testFolder().path(), ClipFormat::H264Mp4, o, QStringLiteral("turned-%1").arg(degrees));
        setDisplayRotation(path, degrees);
        ClipDecoder d;
        d.open(path);
        const bool sideways = degrees != 180;
        EXPECT_EQ(std::pair(d.info().width, d.info().height), sideways ? std::pair(240, 320) : std::pair(320, 240));
        // Turned back by hand, every picture reads as its frame again, seeking and stepping.
        auto upright = [&](const VideoFrame& f) { return frameNumber(f.image.transformed(QTransform().rotate(-degrees))); };
        EXPECT_EQ(upright(d.current()), 0) << degrees;
        EXPECT_EQ(upright(d.seek(frameStartMs(ClipFormat::H264Mp4, o, 25) + 1)), 25) << degrees;
        EXPECT_EQ(upright(d.stepForward()), 26) << degrees;
        EXPECT_EQ(upright(d.stepBackward()), 25) << degrees;
        EXPECT_EQ(d.current().image.size(), QSize(d.info().width, d.info().height)) << degrees;
    }
}

TEST(ClipDecoder, ColoursComeOutAsEncodedWhateverRangeAndMatrixTheClipStates) {
    // Phones write full-range and BT.709 footage; MJPEG is full range by definition.
    const std::vector<std::pair<const char*, QStringList>> encodings = {
        {"bt601-tv.mp4", {"-vf", "scale=out_color_matrix=bt601:out_range=tv,format=yuv420p", "-c:v", "libx264"}},
        {"bt709-tv.mp4",
         {"-vf", "scale=out_color_matrix=bt709:out_range=tv,format=yuv420p", "-colorspace", "bt709", "-c:v",
          "libx264"}},
        {"bt709-pc.mp4",
         {"-vf", "scale=out_color_matrix=bt709:out_range=pc,format=yuv420p", "-colorspace", "bt709", "-color_range",
          "pc", "-c:v", "libx264"}},
        {"mjpeg.avi", {"-vf", "scale=out_range=pc,format=yuvj420p", "-c:v", "mjpeg", "-q:v", "2"}},
    };
    for (const auto& [name, args] : encodings) {
        const QString path = testFolder().filePath(name);
        ASSERT_TRUE(ffmpeg(QStringList{"-f", "lavfi", "-i", "color=c=0xC83228:s=320x240:r=25", "-frames:v", "3"} + args +
                           QStringList{path}))
            << name;
        ClipDecoder d;
        d.open(path);
        const QColor got = d.current().image.pixelColor(160, 120);
        EXPECT_TRUE(near(got, QColor(200, 50, 40), 6)) << name << ": " << got.name().toStdString();
    }
}

struct Engine : ::testing::Test {
    QWidget host;
    FfmpegDisplayEngine engine{&host};
    void SetUp() override {
        engine.SetWidth(320 * 15);
        engine.SetHeight(240 * 15);
    }
};

// Each bad file fails clearly and leaves no clip open: the engine then accepts
// every call and answers nothing; a good clip opens right after.
TEST_F(Engine, BadFilesFailClearlyAndAGoodClipOpensRightAfter) {
    const QString dir = testFolder().path();
    const auto write = [&](const QString& name, const QByteArray& bytes) { return writeFile(dir + "/" + name, bytes); };
    const QByteArray mp4 = readFile(clip(ClipFormat::H264Mp4));
    // An AVI whose stream header states 16777216 frames a second.
    QByteArray avi = readFile(clip(ClipFormat::MjpegAvi));
    avi.replace(avi.indexOf("strh") + 32, 4, QByteArray::fromHex("00000001"));
    // A sound file has no picture.
    ffmpeg({"-f", "lavfi", "-i", "sine=duration=1", dir + "/sound.wav"});
    struct Case { QString file; int32_t number; QString cause; };
    std::vector<Case> cases{
        {dir + "/missing.mp4", err::FileNotFound, "file not found"},
        {write("empty.mp4", {}), err::ClipOpenFailed, "empty"},
        {write("truncated.mp4", mp4.left(mp4.size() / 3)), err::ClipOpenFailed, ""},
        {write("text.avi", QByteArray("this is not a video at all\n").repeated(200)), err::ClipOpenFailed, ""},
        {dir + "/sound.wav", err::ClipOpenFailed, "no video stream"},
        {write("rate.avi", avi), err::ClipOpenFailed, "frame rate in its header is damaged"},
        {dir, err::PathFileAccess, "not a file"},
    };
    if (geteuid() != 0) {  // root reads any file
        const QString locked = write("locked.mp4", mp4);
        QFile::setPermissions(locked, QFileDevice::WriteOwner);
        cases.push_back({locked, err::PathFileAccess, "permission denied"});
    }
    for (const Case& c : cases) {
        const auto e = errorFrom([&] { engine.OpenClip(c.file); });
        ASSERT_TRUE(e) << "opened " << c.file.toStdString();
        EXPECT_EQ(e->number(), c.number) << c.file.toStdString();
        EXPECT_TRUE(e->description().contains(c.file)) << e->description().toStdString();
        EXPECT_TRUE(e->description().contains(c.cause)) << e->description().toStdString();
        EXPECT_TRUE(e->source().startsWith("(OpenClip)->")) << e->source().toStdString();
        engine.Play();
        engine.Seek(500);
        engine.SetRate(2);
        engine.Pause();
        engine.Stop();
        int32_t w = -1, h = -1;
        engine.GetVideoSize(w, h);
        EXPECT_EQ(std::tuple(w, h, engine.GetFrameCount(), engine.GetDuration(), engine.GetPosition(),
                             engine.GetFrameBitmap(), engine.CurrentFramePicture().isNothing()),
                  std::tuple(0, 0, 0, 0, 0, 0, true));
        EXPECT_FALSE(engine.SaveFrameJpeg(dir + "/none.jpg", 80) || QFile::exists(dir + "/none.jpg"));
        engine.OpenClip(clip(ClipFormat::H264Mp4));
        EXPECT_EQ(frameNumber(engine.CurrentFramePicture().image()), 0) << "after " << c.file.toStdString();
        engine.Stop();
    }
}

// Clips open under any name and report their measures, the duration from the
// first frame (a transport stream starts near 1.4 s); large ones are shown at
// most 1920 pixels on the larger side. Stop closes the clip.
TEST_F(Engine, OpensAnyNameAndShowsLargeClipsAtMost1920PixelsOnTheLargerSide) {
    std::vector<int32_t> states;
    int opened = 0;
    QObject::connect(&engine, &VideoEngine::StateChange, [&](int32_t s) { states.push_back(s); });
    QObject::connect(&engine, &VideoEngine::Event1, [&] { ++opened; });
    struct Case { const char* name; int width, height, shownWidth, shownHeight; };
    for (const Case& c : {Case{"Übung Nr 1 – ñandú", 320, 240, 320, 240}, Case{"large", 3840, 2160, 1920, 1080},
                          Case{"tall", 1080, 2400, 864, 1920}, Case{"just under", 2160, 1216, 2160, 1216}}) {
        SCOPED_TRACE(c.name);
        states.clear();
        opened = 0;
        const ClipOptions o{.frames = 3, .width = c.width, .height = c.height};
        engine.OpenClip(makeClip(testFolder().path(), ClipFormat::Mpeg2Ts, o, QString::fromUtf8(c.name)));
        engine.Seek(frameStartMs(ClipFormat::Mpeg2Ts, o, 2) + 1);
        const QImage shown = engine.CurrentFramePicture().image();
        int32_t w = 0, h = 0;
        engine.GetVideoSize(w, h);
        EXPECT_EQ(std::tuple(w, h, shown.size(), frameNumber(shown), engine.GetFrameCount(), engine.GetDuration()),
                  std::tuple(c.shownWidth, c.shownHeight, QSize(c.shownWidth, c.shownHeight), 2, 3, 100));
        engine.Stop();
        EXPECT_EQ(std::tuple(opened, states, engine.GetFrameCount()), std::tuple(1, (std::vector<int32_t>{1, 0}), 0));
    }
}

TEST_F(Engine, OverlayBitmapAndCaptionAreComposedOverTheMirroredFrame) {
    engine.OpenClip(clip(ClipFormat::H264Mp4));
    engine.Seek(frameStartMs(ClipFormat::H264Mp4, {}, 37) + 1);
    const QImage frame = engine.CurrentFramePicture().image();
    ASSERT_EQ(frameNumber(frame), 37);

    // A white (key colour) bitmap of half the video's size with a red square,
    // stretched over the whole video: the square lands at twice its size.
    QImage bitmap(160, 120, QImage::Format_RGB32);
    bitmap.fill(Qt::white);
    QPainter(&bitmap).fillRect(10, 10, 20, 20, Qt::red);
    const int32_t handle = BitmapTable::instance().add(bitmap);
    int32_t key = 0xFFFFFF;
    engine.SetOverlayBitmap(0, handle, 0, 0, 320, 240, key, -1);
    QImage shown = engine.CurrentFramePicture().image();
    EXPECT_EQ(shown.pixel(40, 40), qRgb(255, 0, 0));
    EXPECT_EQ(shown.pixel(300, 200), frame.pixel(300, 200));  // key colour: the frame shows through
    EXPECT_EQ(shown.pixel(120, 120), frame.pixel(120, 120));

    // Half transparent: red over the frame's cell.
    engine.SetOverlayBitmap(0, handle, 0, 0, 320, 240, key, 128);
    shown = engine.CurrentFramePicture().image();
    EXPECT_NEAR(qRed(shown.pixel(40, 40)), (255 + qRed(frame.pixel(40, 40))) / 2, 3);
    EXPECT_NEAR(qGreen(shown.pixel(40, 40)), qGreen(frame.pixel(40, 40)) / 2, 3);

    // Mirrored: the frame flips, the overlay stays where it was.
    engine.SetOverlayBitmap(0, handle, 0, 0, 320, 240, key, -1);
    engine.SetFlipMode(101);
    shown = engine.CurrentFramePicture().image();
    EXPECT_EQ(std::tuple(shown.pixel(40, 40), shown.pixel(120, 120), shown.pixel(300, 200)),
              std::tuple(qRgb(255, 0, 0), frame.pixel(199, 120), frame.pixel(19, 200)));

    // A caption with a background box is drawn where asked.
    engine.SetTextOverlay(1, "REC", 200, 150, "Arial", 12, 0x00FF00, 0xFF0000);  // green on blue
    shown = engine.CurrentFramePicture().image();
    EXPECT_EQ(shown.pixel(201, 151), qRgb(0, 0, 255));

    // The display paints the same picture the frame operations hand out.
    engine.SetFlipMode(0);
    engine.SetOverlayBitmap(0, 0, 0, 0, 0, 0, key, -1);
    engine.SetTextOverlay(1, "", 0, 0, "Arial", 12, 0, -1);
    EXPECT_EQ(engine.CurrentFramePicture().image(), frame);
    const QImage grabbed = engine.Display()->grab().toImage();
    EXPECT_EQ(frameNumber(grabbed), 37);
    BitmapTable::instance().release(handle);
}

TEST_F(Engine, PointerAndKeysBecomeEngineNotificationsInTwips) {
    using Row = std::tuple<char, int, int, float, float>;  // kind, button, shift, x, y
    std::vector<Row> seen;
    auto log = [&](char kind) {
        return [&, kind](int16_t& b, int16_t& s, float& x, float& y) { seen.emplace_back(kind, b, s, x, y); };
    };
    QObject::connect(&engine, &VideoEngine::EngineMouseDown, log('D'));
    QObject::connect(&engine, &VideoEngine::EngineMouseMove, log('M'));
    QObject::connect(&engine, &VideoEngine::EngineMouseUp, log('U'));
    std::vector<int16_t> keys;
    QObject::connect(&engine, &VideoEngine::EngineKeyPress, [&](int16_t& k) { keys.push_back(k); });
    QWidget* display = engine.Display();
    const double tx = twipsPerPixelX(display);
    const double ty = twipsPerPixelY(display);
    auto send = [&](QEvent::Type type, QPointF at, Qt::MouseButton button, Qt::MouseButtons buttons,
                    Qt::KeyboardModifiers mods) {
        QMouseEvent e(type, at, display->mapToGlobal(at), button, buttons, mods);
        QCoreApplication::sendEvent(display, &e);
    };
    send(QEvent::MouseButtonPress, {10, 20}, Qt::LeftButton, Qt::LeftButton, Qt::ShiftModifier);
    send(QEvent::MouseMove, {30, 40}, Qt::NoButton, Qt::LeftButton, Qt::ControlModifier | Qt::AltModifier);
    send(QEvent::MouseButtonRelease, {30, 40}, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    send(QEvent::MouseButtonPress, {5, 6}, Qt::RightButton, Qt::RightButton, Qt::NoModifier);
    send(QEvent::MouseButtonPress, {5, 6}, Qt::MiddleButton, Qt::MiddleButton | Qt::RightButton, Qt::NoModifier);
    const std::vector<Row> expected{
        {'D', 1, 1, float(10 * tx), float(20 * ty)}, {'M', 1, 6, float(30 * tx), float(40 * ty)},
        {'U', 1, 0, float(30 * tx), float(40 * ty)}, {'D', 2, 0, float(5 * tx), float(6 * ty)},
        {'D', 4, 0, float(5 * tx), float(6 * ty)}};
    EXPECT_EQ(seen, expected);

    for (auto [key, text] : {std::pair{Qt::Key_A, QString("a")}, {Qt::Key_Return, QString("\r")},
                             {Qt::Key_Left, QString()}}) {
        QKeyEvent e(QEvent::KeyPress, key, Qt::NoModifier, text);
        QCoreApplication::sendEvent(display, &e);
    }
    EXPECT_EQ(keys, (std::vector<int16_t>{'a', 13}));
}

TEST_F(Engine, FullScreenEndsOnEscapeWithOneNotification) {
    engine.OpenClip(clip(ClipFormat::H264Mp4));
    int lost = 0;
    QObject::connect(&engine, &VideoEngine::EngineFullScreenLost, [&] { ++lost; });
    engine.FullScreen(1);
    ASSERT_TRUE(engine.isFullScreen());
    QWidget* full = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w != &host && w->isVisible() && w->isFullScreen()) full = w;
    ASSERT_NE(full, nullptr);
    QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier, QString(QChar(27)));
    QCoreApplication::sendEvent(full, &esc);
    EXPECT_EQ(std::tuple(bool(engine.isFullScreen()), lost), std::tuple(false, 1));
}

TEST_F(Engine, PlaysToTheEndWithStateAndOneEndNotification) {
    const ClipOptions o{.frames = 30};
    const QString path = makeClip(testFolder().path(), ClipFormat::H264Mp4, o, "short");
    engine.OpenClip(path);
    std::vector<int32_t> states;
    int ended = 0;
    QObject::connect(&engine, &VideoEngine::StateChange, [&](int32_t s) { states.push_back(s); });
    QObject::connect(&engine, &VideoEngine::PlaybackEnded, [&] { ++ended; });
    engine.SetRate(4.0);
    engine.Play();
    EXPECT_TRUE(engine.isPlaying());
    ASSERT_TRUE(waitFor([&] { return ended > 0; }, 10000));
    runFor(100);  // let stray notifications arrive
    EXPECT_EQ(std::tuple(ended, states), std::tuple(1, (std::vector<int32_t>{2, 1})));
    EXPECT_EQ(frameNumber(engine.CurrentFramePicture().image()), 29);
    EXPECT_EQ(engine.GetPosition(), std::round(frameStartMs(ClipFormat::H264Mp4, o, 29)));

    // Pausing mid-clip leaves the frame on screen as the position.
    engine.SetRate(1.0);
    engine.Play();  // from the start again
    ASSERT_TRUE(waitFor([&] { return engine.GetPosition() >= 200; }, 10000));
    engine.Pause();
    const int n = frameNumber(engine.CurrentFramePicture().image());
    EXPECT_NEAR(engine.GetPosition(), frameStartMs(ClipFormat::H264Mp4, o, n), 1.0);
    engine.Seek(engine.GetPosition() + 1.0);
    EXPECT_EQ(frameNumber(engine.CurrentFramePicture().image()), n);
}

// A frame more than one frame period late is dropped, but never more than
// kMaxDroppedInARow in a row; a frame on time is always shown.
TEST(LateFrameGate, DropsLateFramesButNeverFreezesThePicture) {
    using std::chrono::milliseconds;
    LateFrameGate gate;
    const LateFrameGate::Clock::time_point due{};
    EXPECT_FALSE(gate.drop(due, 33.3, due - milliseconds(20)));  // due in the future
    EXPECT_FALSE(gate.drop(due, 33.3, due + milliseconds(33)));  // late, but by less than a frame
    for (int i = 0; i < LateFrameGate::kMaxDroppedInARow; ++i) EXPECT_TRUE(gate.drop(due, 33.3, due + milliseconds(34))) << i;
    EXPECT_FALSE(gate.drop(due, 33.3, due + milliseconds(100))) << "the picture must move on";
    EXPECT_TRUE(gate.drop(due, 33.3, due + milliseconds(100))) << "a shown frame starts a new count";
    EXPECT_EQ(gate.dropped(), LateFrameGate::kMaxDroppedInARow + 1);
}

// Twenty minutes at 60 frames a second against a sound clock that runs 0.3 %
// fast or slow and reports with a few milliseconds of jitter: every frame is
// shown within one frame of the sound heard at that moment.
TEST(PlaybackPacer, PictureFollowsADriftingSoundClockWithinAFrame) {
    using Clock = std::chrono::steady_clock;
    const double frameMs = 1000.0 / 60;
    for (double drift : {0.003, -0.003}) {
        SCOPED_TRACE(drift);
        const Clock::time_point t0{};
        const auto heardAt = [&](Clock::time_point t) {
            return std::chrono::duration<double, std::milli>(t - t0).count() * (1 + drift);
        };
        int jitter = 0;
        PlaybackPacer pacer(t0, 0, 1.0, [&](Clock::time_point t) -> std::optional<double> {
            jitter = (jitter * 7 + 3) % 9;  // -4 .. +4 ms
            return heardAt(t) + jitter - 4;
        });
        Clock::time_point now = t0;
        double worst = 0;
        for (int k = 1; k < 20 * 60 * 60; ++k) {
            const double position = k * frameMs;
            now = std::max(now, pacer.due(position, now));
            if (k > 60) worst = std::max(worst, std::abs(position - heardAt(now)));
        }
        EXPECT_LT(worst, frameMs);
    }
}

constexpr int kW = 320;
constexpr int kH = 240;

// The frame n of a clip as the decoder gives it, for pixel comparisons.
QImage referenceFrame(const QString& file, int n) {
    ClipDecoder d;
    d.open(file);
    return d.seek(d.info().durationMs / d.info().frameCount * n + 1.0).image.convertToFormat(QImage::Format_RGB32);
}

int maxChannelDifference(const QImage& a, const QImage& b) {
    int worst = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            worst = std::max({worst, std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                              std::abs(qBlue(p) - qBlue(q))});
        }
    return worst;
}

// over drawn on under at opacity alpha.
QImage blend(const QImage& under, const QImage& over, double alpha) {
    QImage out = under.convertToFormat(QImage::Format_RGB32);
    QPainter painter(&out);
    painter.setOpacity(alpha);
    painter.drawImage(0, 0, over);
    return out;
}

// Files that do not open fail AddSource naming the file and add nothing;
// identifiers never given, or removed, are rejected by every operation naming it.
TEST(MixerSource, BadFilesAndUnknownIdentifiersAreRejected) {
    MixerOnWidget m;
    // What each bad file raises is the decoder's, checked on the engine above.
    const QString text = writeFile(testFolder().path() + "/notes.mp4", "this is not a video, only some words\n");
    struct Case { QString file; int32_t number; };
    for (const Case& c : {Case{testFolder().path() + "/no such clip.mp4", err::FileNotFound},
                          Case{text, err::ClipOpenFailed}, Case{QString(), err::FileNotFound}}) {
        const auto e = errorFrom([&] { m.mixer.AddSource(c.file, 0); });
        ASSERT_TRUE(e) << "AddSource accepted " << c.file.toStdString();
        EXPECT_EQ(e->number(), c.number) << c.file.toStdString();
        EXPECT_TRUE(e->description().contains(QStringLiteral("'%1'").arg(c.file))) << e->description().toStdString();
        EXPECT_TRUE(e->source().startsWith(QStringLiteral("(AddSource)->"))) << e->source().toStdString();
        EXPECT_EQ(m.mixer.sourceCount(), 0);
    }
    const int32_t kept = m.mixer.AddSource(clip(ClipFormat::H264Mp4), 0);
    const int32_t removed = m.mixer.AddSource(clip(ClipFormat::H264Mp4), 0);
    m.mixer.RemoveSource(removed);
    int32_t w = 0, h = 0;
    const std::vector<std::pair<const char*, std::function<void(int32_t)>>> operations = {
        {"GetSourceSize", [&](int32_t id) { m.mixer.GetSourceSize(id, w, h); }},
        {"GetSourceDuration", [&](int32_t id) { m.mixer.GetSourceDuration(id); }},
        {"GetSourceFrameCount", [&](int32_t id) { m.mixer.GetSourceFrameCount(id); }},
        {"SetSourceDeinterlace", [&](int32_t id) { m.mixer.SetSourceDeinterlace(id, 1); }},
        {"SetSourceAlpha", [&](int32_t id) { m.mixer.SetSourceAlpha(id, 0.5f); }},
        {"SetSourceRect", [&](int32_t id) { m.mixer.SetSourceRect(id, 0, 0, kW, kH); }},
        {"SeekSource", [&](int32_t id) { m.mixer.SeekSource(id, 0); }},
        {"PlaySource", [&](int32_t id) { m.mixer.PlaySource(id); }},
        {"PauseSource", [&](int32_t id) { m.mixer.PauseSource(id); }},
        {"MixedFramePicture", [&](int32_t id) { m.mixer.MixedFramePicture(id); }},
    };
    for (const auto& [name, call] : operations) {
        for (int32_t id : {-1, 0, removed, kept + 100}) {
            if (id == -1 && std::string(name) == "MixedFramePicture") continue;  // -1 is the mixed picture
            const auto e = errorFrom([&] { call(id); });
            ASSERT_TRUE(e) << name << " accepted source " << id;
            EXPECT_EQ(e->number(), err::MixerSourceUnknown) << name << " " << id;
            EXPECT_TRUE(e->description().contains(QLatin1String(name))) << e->description().toStdString();
        }
    }
    // Removing what is not there takes nothing away and raises nothing.
    for (int32_t id : {-1, 0, removed, kept + 100}) EXPECT_NO_THROW(m.mixer.RemoveSource(id)) << id;
    EXPECT_EQ(m.mixer.sourceCount(), 1);
}

TEST(MixerSource, ReportsSizeDurationAndFrameCountAndSeeksShowFrameN) {
    MixerOnWidget m;
    const ClipOptions big{.frames = 50, .fps = 25, .width = 480, .height = 272};
    const QString bigClip = makeClip(testFolder().path(), ClipFormat::Vp9Mkv, big, QStringLiteral("big"));
    const int32_t a = m.mixer.AddSource(clip(ClipFormat::H264Mp4), 0);
    const int32_t b = m.mixer.AddSource(bigClip, 0);
    int32_t w = 0, h = 0;
    m.mixer.GetSourceSize(a, w, h);
    EXPECT_EQ(std::make_pair(w, h), std::make_pair(kW, kH));
    m.mixer.GetSourceSize(b, w, h);
    EXPECT_EQ(std::tuple(std::make_pair(w, h), m.mixer.GetSourceFrameCount(a), m.mixer.GetSourceFrameCount(b)),
              std::tuple(std::make_pair(480, 272), 150, 50));
    EXPECT_NEAR(m.mixer.GetSourceDuration(a), 5000.0, 1.0);
    EXPECT_NEAR(m.mixer.GetSourceDuration(b), 2000.0, 1.0);
    // A new identifier after a removal is never one given before.
    m.mixer.RemoveSource(a);
    const int32_t c = m.mixer.AddSource(clip(ClipFormat::H264Mp4), 0);
    EXPECT_NE(c, a);
    EXPECT_NE(c, b);

    // Duration / count * n shows frame n (the decoder under it is checked on every
    // format above); clamped at both ends, and a millisecond early is the frame before.
    const double frameMs = m.mixer.GetSourceDuration(c) / m.mixer.GetSourceFrameCount(c);
    EXPECT_EQ(frameNumber(m.picture()), 0) << "a new source shows its first frame";
    const std::vector<std::pair<double, int>> seeks = {
        {37 * frameMs, 37}, {60 * frameMs, 60}, {149 * frameMs, 149}, {2 * frameMs, 2}, {0, 0},
        {90 * frameMs - 0.0009, 90}, {90 * frameMs - 1.0, 89}, {150 * frameMs, 149}, {-500, 0}, {77 * frameMs, 77}};
    for (const auto& [ms, n] : seeks) {
        m.mixer.SeekSource(c, ms);
        EXPECT_EQ(frameNumber(m.picture()), n) << "at " << ms << " ms";
    }
    // Turning the deinterlacer on decodes the same frame again, not another.
    m.mixer.SetSourceDeinterlace(c, 1);
    EXPECT_EQ(frameNumber(m.picture()), 77);
    m.mixer.SetSourceDeinterlace(c, 0);
    EXPECT_EQ(frameNumber(m.picture()), 77);
}

TEST(MixerSource, RectanglesPlaceScaleMirrorAndCutOffOnThePixels) {
    const QString file = clip(ClipFormat::H264Mp4);
    constexpr int k = 83;
    const QImage frame = referenceFrame(file, k);
    ASSERT_EQ(frameNumber(frame), k);
    ASSERT_NE(frameNumber(frame.mirrored(true, false)), k);
    const QRgb black = qRgb(0, 0, 0);
    struct Case {
        const char* name;
        QRectF rect;
        std::function<void(const QImage&)> check;
    };
    const std::vector<Case> cases = {
        {"whole display", QRectF(0, 0, kW, kH), [&](const QImage& p) { EXPECT_LE(maxChannelDifference(p, frame), 2); }},
        {"mirrored by a negative width", QRectF(kW, 0, -kW, kH),
         [&](const QImage& p) {
             EXPECT_LE(maxChannelDifference(p, frame.mirrored(true, false)), 2);
             EXPECT_EQ(frameNumber(p.mirrored(true, false)), k);
         }},
        {"scaled into the top-left quarter", QRectF(0, 0, kW / 2, kH / 2),
         [&](const QImage& p) {
             EXPECT_EQ(std::tuple(frameNumber(p.copy(0, 0, kW / 2, kH / 2)), p.pixel(kW - 5, kH - 5)),
                       std::tuple(k, black));
             EXPECT_EQ(p.pixel(kW / 2 + 3, 5), black);
         }},
        {"half outside to the right", QRectF(kW / 2, 0, kW, kH),
         [&](const QImage& p) {
             EXPECT_EQ(p.pixel(5, 5), black);
             EXPECT_LE(maxChannelDifference(p.copy(kW / 2, 0, kW / 2, kH), frame.copy(0, 0, kW / 2, kH)), 2);
         }},
        {"moved up and left past the corner", QRectF(-100, -60, kW, kH),
         [&](const QImage& p) {
             EXPECT_LE(maxChannelDifference(p.copy(0, 0, kW - 100, kH - 60), frame.copy(100, 60, kW - 100, kH - 60)), 2);
             EXPECT_EQ(p.pixel(kW - 5, kH - 5), black);
         }},
        {"entirely outside", QRectF(kW + 10, 0, kW, kH),
         [&](const QImage& p) { EXPECT_EQ(maxChannelDifference(p, solid(kW, kH, Qt::black)), 0); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MixerOnWidget m;
        const int32_t id = m.mixer.AddSource(file, 0);
        m.seekFrame(id, k);
        m.mixer.SetSourceRect(id, c.rect.x(), c.rect.y(), c.rect.width(), c.rect.height());
        const QImage p = m.picture();
        ASSERT_EQ(p.size(), QSize(kW, kH));
        c.check(p);
    }
}

TEST(MixerSource, LaterSourcesBlendOverEarlierOnesAtTheirOpacity) {
    const QString file = clip(ClipFormat::H264Mp4);
    const QImage under = referenceFrame(file, 21);
    const QImage over = referenceFrame(file, 106);
    MixerOnWidget m;
    const int32_t a = m.mixer.AddSource(file, 0);
    const int32_t b = m.mixer.AddSource(file, 0);
    m.seekFrame(a, 21);
    m.seekFrame(b, 106);
    EXPECT_EQ(frameNumber(m.picture()), 106) << "a new source is opaque and drawn over the earlier one";
    for (float alpha : {0.5f, 0.3f, 0.0f, 1.0f}) {
        m.mixer.SetSourceAlpha(b, alpha);
        EXPECT_LE(maxChannelDifference(m.picture(), blend(under, over, alpha)), 3) << "alpha " << alpha;
    }
    m.mixer.SetSourceAlpha(b, 7.0f);  // clamped to opaque
    EXPECT_EQ(frameNumber(m.picture()), 106);
    m.mixer.SetSourceAlpha(a, 0.5f);  // the earlier source's opacity blends it with the background
    m.mixer.SetSourceAlpha(b, 0.0f);
    EXPECT_LE(maxChannelDifference(m.picture(), blend(solid(kW, kH, Qt::black), under, 0.5)), 3);
    m.mixer.RemoveSource(b);
    m.mixer.SetSourceAlpha(a, 1.0f);
    EXPECT_EQ(frameNumber(m.picture()), 21);
    // MixerSetting2 is the background colour where no source covers the display.
    m.mixer.SetMixerSetting2(0x0000FF);  // red, 0x00BBGGRR
    m.mixer.SetSourceRect(a, 0, 0, kW / 2, kH);
    EXPECT_EQ(m.picture().pixel(kW - 3, 3), qRgb(255, 0, 0));
    EXPECT_EQ(frameNumber(m.picture().copy(0, 0, kW / 2, kH)), 21);
}

TEST(MixerSource, ComposesOncePerShownFrameNotPerPaintAndPaintsThatPicture) {
    MixerOnWidget m;
    m.host.show();
    const int32_t id = m.mixer.AddSource(clip(ClipFormat::H264Mp4), 0);
    m.seekFrame(id, 44);
    const int64_t before = m.mixer.compositionCount();
    QImage grabbed;
    for (int i = 0; i < 5; ++i) {
        m.mixer.Display()->repaint();
        grabbed = m.mixer.Display()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    }
    EXPECT_EQ(m.mixer.compositionCount(), before);
    EXPECT_EQ(grabbed, m.picture()) << "the widget shows exactly the composed picture";
    // Call9 holds composition until Call11: sources added in between are composed once.
    m.mixer.Call9();
    const int32_t second = m.mixer.AddSource(clip(ClipFormat::H264Mp4), 0);
    m.mixer.SetSourceAlpha(second, 0.5f);
    m.mixer.SeekSource(second, 0);
    EXPECT_EQ(m.mixer.compositionCount(), before);
    EXPECT_EQ(frameNumber(m.picture()), 44);
    m.mixer.Call11();
    EXPECT_EQ(m.mixer.compositionCount(), before + 1);
    EXPECT_EQ(frameNumber(m.picture()), -1) << "frames 44 and 0 blended read as no code";
    // A resize composes at the new size.
    m.mixer.Display()->resize(200, 150);
    EXPECT_EQ(m.picture().size(), QSize(200, 150));
}

// A Python server script run on a free loopback port: the script gets the
// folder it serves as its argument and prints the port it listens on.
struct LoopbackServer {
    explicit LoopbackServer(const QString& script) {
        // The system interpreter carries the packaged pyftpdlib.
        process.start(QFile::exists("/usr/bin/python3") ? "/usr/bin/python3" : "python3",
                      {QStringLiteral(TEST_SOURCE_DIR "/fakes/%1").arg(script), root.path()});
        if (process.waitForReadyRead(10000)) port = process.readLine().trimmed().toInt();
    }
    ~LoopbackServer() {
        process.kill();
        process.waitForFinished(5000);
    }
    QTemporaryDir root;
    QProcess process;
    int port = 0;
};


// The shown frame saves as a JPEG file whose size follows the quality, and
// reaches an FTP server (a host, the port apart) and an HTTP server (a URL with
// the port in it) byte for byte, in folders made on the way. A wrong password
// is refused by the server: False, nothing written, and the failure passed on
// never shows the password.
TEST_F(Engine, ShownFrameSavesAsJpegAndUploadsByteIdentical) {
    engine.OpenClip(clip(ClipFormat::H264Mp4));
    engine.Seek(frameStartMs(ClipFormat::H264Mp4, {}, 12) + 1);
    qint64 smaller = 0;  // the size at the quality before
    for (int q : {10, 90}) {
        const QString file = testFolder().filePath(QStringLiteral("frame-%1.jpg").arg(q));
        ASSERT_TRUE(engine.SaveFrameJpeg(file, q));
        EXPECT_EQ(frameNumber(QImage(file)), 12) << q;
        EXPECT_LT(std::exchange(smaller, QFileInfo(file).size()), QFileInfo(file).size()) << q;
    }
    EXPECT_FALSE(engine.SaveFrameJpeg(testFolder().filePath("no/such/folder/x.jpg"), 80));

    QString failure;
    QObject::connect(&engine, &VideoEngine::Failed, [&](const TvnError& e) { failure = e.description(); });
    for (const QString script : {"loopback_ftp.py", "loopback_http.py"}) {
        SCOPED_TRACE(script.toStdString());
        LoopbackServer server(script);
        ASSERT_GT(server.port, 0) << "the loopback server could not be started";
        const bool ftp = script.contains("ftp");
        const QString address = ftp ? "127.0.0.1" : QStringLiteral("http://127.0.0.1:%1/uploads").arg(server.port);
        const int port = ftp ? server.port : 0;
        const QString folder = QDir(server.root.path()).filePath(ftp ? "lessons/week 2" : "uploads/lessons/week 2");
        EXPECT_TRUE(engine.UploadFrame(address, "coach", "s3cret-Pw", "lessons/week 2", "frame 12.jpg", port, 75))
            << failure.toStdString();
        const QByteArray bytes = readFile(folder + "/frame 12.jpg");
        EXPECT_EQ(std::tuple(bytes, frameNumber(QImage::fromData(bytes, "JPG"))),
                  std::tuple(engine.jpegOfShownFrame(75), 12));
        EXPECT_FALSE(engine.UploadFrame(address, "coach", "wrong-Pw-123", "lessons/week 2", "bad.jpg", port, 75));
        EXPECT_FALSE(QFile::exists(folder + "/bad.jpg"));
        EXPECT_FALSE(failure.isEmpty() || failure.contains("wrong-Pw-123")) << failure.toStdString();
    }
}

// Every False answer says why, through Failed: nothing to send or save, a
// name that cannot be written, a port that is none.
TEST_F(Engine, FalseAnswersOfSavesAndUploadsSayWhy) {
    QString failure;
    QObject::connect(&engine, &VideoEngine::Failed, [&](const TvnError& e) { failure = e.description(); });
    const QString noFolder = testFolder().filePath("no/such/folder/x.jpg");
    struct Case { const char* name; std::function<bool()> call; QString says; };
    const Case cases[] = {
        {"no clip, save", [&] { return engine.SaveFrameJpeg(noFolder, 80); }, "no clip is open"},
        {"no clip, upload", [&] { return engine.UploadFrame("127.0.0.1", "", "", "", "f.jpg", 21, 80); }, "no clip is open"},
        {"open", [&] { engine.OpenClip(clip(ClipFormat::H264Mp4)); return true; }, ""},
        {"no folder", [&] { return engine.SaveFrameJpeg(noFolder, 80); }, noFolder},
        {"port 70000", [&] { return engine.UploadFrame("127.0.0.1", "", "", "", "f.jpg", 70000, 80); }, "70000 is not a port"},
        {"no server", [&] { return engine.UploadFrame(" ", "", "", "", "f.jpg", 21, 80); }, "no server"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        failure.clear();
        EXPECT_EQ(c.call(), c.says.isEmpty());
        EXPECT_TRUE(c.says.isEmpty() ? failure.isEmpty() : failure.contains(c.says)) << failure.toStdString();
    }
}

// A server that accepts and never answers: the transfer waits on the upload
// worker while the UI thread goes on with its events (a timer here ticks
// during the call), and it gives up once nothing has moved for the idle time.
TEST_F(Engine, AStalledServerNeverFreezesTheWindowAndIsGivenUp) {
    engine.OpenClip(clip(ClipFormat::H264Mp4));
    engine.setUploadTimeouts(1, 1);
    // Listening, never accepting: the system completes each connection, and nothing answers.
    const int stalled = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(bind(stalled, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(listen(stalled, 8), 0);
    getsockname(stalled, reinterpret_cast<sockaddr*>(&address), &length);
    const int port = ntohs(address.sin_port);
    const auto closed = qScopeGuard([&] { close(stalled); });
    QString failure;
    QObject::connect(&engine, &VideoEngine::Failed, [&](const TvnError& e) { failure = e.description(); });
    for (const QString& server : {QStringLiteral("127.0.0.1"), QStringLiteral("http://127.0.0.1:%1/up").arg(port)}) {
        SCOPED_TRACE(server.toStdString());
        int ticksDuringTheCall = 0;
        bool inCall = true;
        QTimer ticker;
        QObject::connect(&ticker, &QTimer::timeout, [&] { ticksDuringTheCall += inCall; });
        ticker.start(10);
        failure.clear();
        const bool sent = engine.UploadFrame(server, "coach", "pw", "", "f.jpg", server.startsWith("http") ? 0 : port, 75);
        inCall = false;
        EXPECT_FALSE(sent);
        EXPECT_GT(ticksDuringTheCall, 0) << "the UI thread sat in the transfer";
        EXPECT_TRUE(failure.contains("127.0.0.1")) << failure.toStdString();
    }
}

TEST(EngineUpload, TargetUrlsFollowTheServerForm) {
    struct Case { const char *server, *path, *file, *url; };
    for (const Case& c : {Case{"example.org", "a/b", "f.jpg", "ftp://example.org/a/b/f.jpg"},
                          Case{"sftp://host/", "/up/", "x y.jpg", "sftp://host/up/x%20y.jpg"},
                          Case{"https://h.example/put", "", "ü.jpg", "https://h.example/put/%C3%BC.jpg"}})
        EXPECT_EQ(FrameUploader::targetUrl(c.server, c.path, QString::fromUtf8(c.file)), c.url) << c.server;
    // A password written into the URL is never shown, whatever characters it holds.
    for (const Case& c : {Case{"ftp://coach:pw@h/", "", "f.jpg", "ftp://coach:***@h/f.jpg"},
                          Case{"sftp://coach:p@ss:w@h:22/in", "", "f.jpg", "sftp://coach:***@h:22/in/f.jpg"},
                          Case{"https://h/put", "", "f.jpg", "https://h/put/f.jpg"}})
        EXPECT_EQ(FrameUploader::shownUrl(FrameUploader::targetUrl(c.server, c.path, c.file)), c.url) << c.server;
}

// A device that keeps every frame at once; or that goes away after some
// writes; or that takes nothing, its write waiting until it is interrupted.
struct KeptSound : SoundOutput {
    enum class Kind { Keeps, GoesAway, Stalls } kind = Kind::Keeps;
    std::vector<int16_t>* kept = nullptr;
    std::atomic<bool>* stalled = nullptr;
    bool there = true;
    int writes = 0;
    bool open() override { return true; }
    bool isOpen() const override { return there; }
    int write(const int16_t* samples, int frames, const std::atomic<bool>& interrupted) override {
        if (kind == Kind::Stalls) {
            *stalled = true;
            while (!interrupted) std::this_thread::sleep_for(std::chrono::milliseconds(1));
            return 0;
        }
        if (kind == Kind::GoesAway && ++writes > 3) return there = false, 0;
        kept->insert(kept->end(), samples, samples + size_t(frames) * kChannels);
        return frames;
    }
    long delayFrames() override { return 0; }
    void discard() override {}
};

// Frames of 48 kHz stereo the ffmpeg tool makes of a whole sound file at a tempo,
// resampled before the tempo filter as the player does (left to itself, FFmpeg 7
// runs the filter at the file's own rate, which ends a few samples apart).
int64_t framesTheToolMakes(const QString& file, double tempo) {
    QProcess tool;
    QStringList args{"-v", "error", "-i", file};
    if (tempo != 1.0) args << "-af" << QStringLiteral("aresample=48000,atempo=%1").arg(tempo);
    tool.start("ffmpeg", args << "-f" << "s16le" << "-ar" << "48000" << "-ac" << "2" << "-");
    tool.waitForFinished(-1);
    return tool.readAllStandardOutput().size() / 4;
}

// A one-second sound played at every rate gives as many samples as the ffmpeg
// tool makes of it: its last ones included (the decoder, the resampler and the
// tempo filter hold some back until they are told the sound ends).
TEST(ClipSound, PlaysTheTrackToItsLastSampleAtEveryRate) {
    struct Case { const char* file; QStringList encode; double rate; };
    const Case cases[] = {
        {"tone-44k.m4a", {"-ar", "44100", "-c:a", "aac"}, 1.0},
        {"tone-48k.wav", {"-ar", "48000", "-c:a", "pcm_s16le"}, 1.0},
        {"tone-22k.wav", {"-ar", "22050", "-c:a", "pcm_s16le"}, 1.0},
        {"tone-44k.m4a", {"-ar", "44100", "-c:a", "aac"}, 0.5},
        {"tone-48k.wav", {"-ar", "48000", "-c:a", "pcm_s16le"}, 2.0},
        {"tone-48k.wav", {"-ar", "48000", "-c:a", "pcm_s16le"}, 0.5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.file) + " at " + std::to_string(c.rate));
        const QString file = testFolder().filePath(c.file);
        ASSERT_TRUE(QFile::exists(file) || ffmpeg(QStringList{"-f", "lavfi", "-i", "sine=frequency=440:duration=1"} + c.encode + QStringList{file}));
        std::vector<int16_t> kept;
        ClipSoundPlayer player([&] {
            auto out = std::make_unique<KeptSound>();
            out->kept = &kept;
            return out;
        });
        std::optional<TvnError> failure;
        player.setFailureSink([&](const TvnError& e) { failure = e; });
        player.start(file, 0, 0, 100, c.rate);
        ASSERT_TRUE(waitFor([&] { return player.finished(); }, 20000));
        player.stop();
        EXPECT_FALSE(failure) << failure->what();
        EXPECT_NEAR(double(kept.size() / SoundOutput::kChannels), double(framesTheToolMakes(file, c.rate)),
                    SoundOutput::kRate / 1000.0);  // within a millisecond
    }
}

// A track that cannot be played, or a device that goes away, ends the sound
// once with the reason; a stop never waits on a device that takes nothing.
TEST(ClipSound, FailuresSayWhyAndAStopNeverWaitsOnTheDevice) {
    const QString tone = testFolder().filePath("tone-48k.wav");
    ASSERT_TRUE(QFile::exists(tone) || ffmpeg({"-f", "lavfi", "-i", "sine=frequency=440:duration=1", "-ar", "48000", tone}));
    const QString text = writeFile(testFolder().filePath("not-sound.wav"), "no sound in here");
    struct Case { QString file; KeptSound::Kind kind; QString says; };
    const Case cases[] = {
        {testFolder().filePath("missing.wav"), KeptSound::Kind::Keeps, "cannot open it"},
        {text, KeptSound::Kind::Keeps, "cannot open it"},
        {tone, KeptSound::Kind::GoesAway, "the sound device went away"},
        {tone, KeptSound::Kind::Stalls, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.says.toStdString());
        std::vector<int16_t> kept;
        std::atomic<bool> stalled{false};
        ClipSoundPlayer player([&] {
            auto out = std::make_unique<KeptSound>();
            out->kind = c.kind;
            out->kept = &kept;
            out->stalled = &stalled;
            return out;
        });
        std::vector<TvnError> failures;
        player.setFailureSink([&](const TvnError& e) { failures.push_back(e); });
        player.start(c.file, 0, 0, 100);
        if (c.kind == KeptSound::Kind::Stalls) {
            ASSERT_TRUE(waitFor([&] { return stalled.load(); }, 10000));
            player.stop();  // returns: the write looks at the stop
            EXPECT_TRUE(failures.empty());
            continue;
        }
        ASSERT_TRUE(waitFor([&] { return player.finished(); }, 10000));
        player.stop();
        ASSERT_EQ(failures.size(), 1u);
        EXPECT_EQ(failures[0].number(), err::PlaybackFailed);
        EXPECT_TRUE(failures[0].description().contains(c.says) && failures[0].description().contains(c.file))
            << failures[0].what();
    }
}

}  // namespace

// Planar pictures (what a video export draws on, as the decoder gives them)
// against the RGB pictures the display shows, on colourful clips: a matrix
// taken wrongly (BT.601 for BT.709), a range left full or a chroma plane out
// of place shows as a difference of several levels on testsrc2's colours.
struct PlanarRow {
    const char* name;
    QStringList encoder;  // ffmpeg's output options
    std::optional<PlanarPicture::Matrix> matrix;  // none: only RGB shows the clip's colours
    // What 4:2:0 in limited range must lose: nothing for a clip already so, a
    // level's rounding for full range or 10 bits, half the chroma for 4:4:4
    // and RGB (2.3 with FFmpeg 5's swscale, 3.1 with FFmpeg 7's, which filters
    // chroma down otherwise); a wrong matrix costs 8 or more.
    double tolerance;
};

QString colourClip(const PlanarRow& row, const QString& size) {
    const QString path = QDir(testFolder().path()).filePath(QStringLiteral("colour-%1.mkv").arg(row.name));
    QProcess ffmpeg;
    ffmpeg.start("ffmpeg", QStringList{"-v", "error", "-y", "-f", "lavfi", "-i", "testsrc2=s=" + size + ":r=25", "-frames:v",
                                       "4"} + row.encoder + QStringList{path});
    ffmpeg.waitForFinished(60000);
    return ffmpeg.exitCode() == 0 ? path : QString();
}

TEST(PlanarPictures, ShowTheClipsColoursAsTheRgbPicturesDo) {
    using M = PlanarPicture::Matrix;
    const PlanarRow rows[] = {
        {"untagged", {"-c:v", "libx264", "-pix_fmt", "yuv420p"}, M::Bt601, 0.2},
        {"bt709", {"-c:v", "libx264", "-pix_fmt", "yuv420p", "-colorspace", "bt709", "-color_primaries", "bt709", "-color_trc", "bt709"}, M::Bt709, 0.2},
        {"smpte170m", {"-c:v", "libx264", "-pix_fmt", "yuv420p", "-colorspace", "smpte170m"}, M::Bt601, 0.2},
        {"full_range", {"-c:v", "libx264", "-pix_fmt", "yuvj420p"}, M::Bt601, 2.0},
        {"yuv444p_709", {"-c:v", "libx264", "-pix_fmt", "yuv444p", "-colorspace", "bt709"}, M::Bt709, 4.0},
        {"hevc_10bit_709", {"-c:v", "libx265", "-pix_fmt", "yuv420p10le", "-colorspace", "bt709", "-x265-params", "log-level=error"}, M::Bt709, 1.5},
        {"rgb_ffv1", {"-c:v", "ffv1", "-pix_fmt", "gbrp"}, M::Bt709, 4.0},
        {"bt2020_hdr", {"-c:v", "libx265", "-pix_fmt", "yuv420p10le", "-colorspace", "bt2020nc", "-color_primaries", "bt2020", "-color_trc", "arib-std-b67", "-x265-params", "log-level=error"}, std::nullopt, 0},
    };
    for (const PlanarRow& row : rows) {
        SCOPED_TRACE(row.name);
        const QString path = colourClip(row, "322x182");
        ASSERT_FALSE(path.isEmpty());
        FrameSource::Options rgb;
        rgb.keepFramesAround = false;
        FrameSource::Options planar = rgb;
        planar.planar = true;
        auto a = FrameSource::open(path, rgb), b = FrameSource::open(path, planar);
        const VideoFrame shown = a->seek(81), drawnOn = b->seek(81);
        ASSERT_EQ(shown.image.size(), QSize(322, 182));
        if (!row.matrix) {
            EXPECT_TRUE(drawnOn.planar.isNull());
            EXPECT_EQ(drawnOn.image, shown.image) << "the RGB picture, as shown";
            continue;
        }
        ASSERT_FALSE(drawnOn.planar.isNull());
        EXPECT_TRUE(drawnOn.image.isNull());
        EXPECT_EQ(drawnOn.planar.matrix(), *row.matrix);
        EXPECT_LT(meanDifference(rgbOf(drawnOn.planar), shown.image), row.tolerance);
        EXPECT_LT(meanDifference(rgbOf(b->stepForward().planar), a->stepForward().image), row.tolerance) << "a step";
    }
}

TEST(PlanarPictures, TurnMirrorAndBlendAsTheRgbPictureWould) {
    // Odd sides: the chroma planes' last column and row cover one pixel.
    const QString path =
        colourClip({"blend", {"-vf", "format=rgb24,crop=201:117:0:0", "-c:v", "ffv1", "-pix_fmt", "yuv420p"}, {}, 0}, "202x118");
    ASSERT_FALSE(path.isEmpty());
    FrameSource::Options options;
    options.planar = true;
    const PlanarPicture picture = FrameSource::open(path, options)->seek(41).planar;
    ASSERT_FALSE(picture.isNull());
    const QImage rgb = rgbOf(picture);
    // Luma turns exactly; chroma keeps its cells (with odd sides a cell may
    // move by a pixel): a turn the wrong way differs by tens of levels.
    for (int turns : {1, 2, 3}) {
        SCOPED_TRACE(turns);
        const PlanarPicture turned = picture.turned(turns);
        ASSERT_EQ(QSize(turned.width(), turned.height()), turns % 2 ? QSize(117, 201) : QSize(201, 117));
        EXPECT_EQ(lumaOf(turned), lumaOf(picture).transformed(QTransform().rotate(90.0 * turns)));
        EXPECT_LT(meanDifference(rgbOf(turned), rgb.transformed(QTransform().rotate(90.0 * turns))), 4.0);
    }
    PlanarPicture mirrored = picture;
    mirrored.mirror();
    EXPECT_EQ(lumaOf(mirrored), lumaOf(picture).mirrored(true, false));
    EXPECT_LT(meanDifference(rgbOf(mirrored), rgb.mirrored(true, false)), 4.0);
    EXPECT_EQ(rgbOf(picture), rgb) << "the copy mirrored, not the picture it came from";

    // An overlay with opaque, half-transparent, anti-aliased and transparent
    // parts, at an odd place and partly outside the picture.
    QImage overlay(90, 70, QImage::Format_ARGB32_Premultiplied);
    overlay.fill(Qt::transparent);
    {
        QPainter p(&overlay);
        p.setRenderHint(QPainter::Antialiasing);
        p.fillRect(5, 5, 30, 20, QColor(255, 0, 0));
        p.setBrush(QColor(0, 255, 0, 128));
        p.setPen(QPen(QColor(255, 255, 0), 3));
        p.drawEllipse(20, 15, 60, 50);
    }
    for (const QPoint at : {QPoint(33, 21), QPoint(151, 80), QPoint(-20, -9)}) {
        SCOPED_TRACE(at.x());
        PlanarPicture blended = picture;
        blended.blend(overlay, at);
        QImage expected = rgb.copy();
        QPainter(&expected).drawImage(at, overlay);
        const QRect part = QRect(at, overlay.size()) & rgb.rect();
        // Luma as the RGB picture blended; chroma, where a 2 x 2 cell is all
        // red, the red's; and nothing changes beyond the cells it touches.
        EXPECT_LT(meanDifference(lumaOf(blended).copy(part), lumaOf(planarOf(expected, picture.matrix())).copy(part)), 1.0);
        const QPoint red = at + QPoint(20, 14);
        if (rgb.rect().contains(red)) {
            QImage redCell(2, 2, QImage::Format_RGB32);
            redCell.fill(QColor(255, 0, 0));
            const PlanarPicture redYuv = planarOf(redCell, picture.matrix());
            for (int plane : {1, 2})
                EXPECT_NEAR(blended.plane(plane)[(red.y() / 2) * blended.stride(plane) + red.x() / 2], redYuv.plane(plane)[0], 1);
        }
        const QImage after = rgbOf(blended);
        const QRect touched = part.adjusted(-3, -3, 3, 3);
        int changedOutside = 0;
        for (int y = 0; y < rgb.height(); ++y)
            for (int x = 0; x < rgb.width(); ++x)
                if (!touched.contains(x, y) && after.pixel(x, y) != rgb.pixel(x, y)) ++changedOutside;
        EXPECT_EQ(changedOutside, 0);
        EXPECT_GT(meanDifference(rgb.copy(part), expected.copy(part)), 20.0) << "the overlay shows";
        EXPECT_EQ(rgbOf(picture), rgb) << "a copy is blended, not the decoder's picture";
    }
}
