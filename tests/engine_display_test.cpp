// The display engine on real clips: opening (good and bad files), queries,
// exact seeking, the picture as shown (overlay, caption, mirroring), input,
// playback notifications and JPEG export.

#include "core/BitmapTable.h"
#include "core/TvnError.h"
#include "core/Twips.h"
#include "fakes/ErrorFrom.h"
#include "fakes/EventLoopWait.h"
#include "fakes/TestClips.h"
#include "media/ffmpeg/FfmpegDisplayEngine.h"
#include "media/ffmpeg/LateFrameGate.h"

#include <QApplication>
#include <QEventLoop>
#include <QFile>
#include <QImageReader>
#include <QMouseEvent>
#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>
#include <gtest/gtest.h>
#include <map>
#include <unistd.h>

using namespace tvn;
using tvn::testing::errorFrom;
using namespace tvn::testclips;
using tvn::testing::waitFor;

namespace {

QString goodClip() {
    static const QString path = makeClip(testFolder().path(), ClipFormat::H264Mp4);
    return path;
}

struct EngineFixture : ::testing::Test {
    QWidget host;
    FfmpegDisplayEngine engine{&host};
    void SetUp() override {
        engine.SetWidth(320 * 15);
        engine.SetHeight(240 * 15);
    }
};

using Engine = EngineFixture;

}  // namespace

TEST_F(Engine, WithNoClipAcceptsEverythingAndAnswersNothing) {
    engine.Play();
    engine.Seek(500);
    engine.SetRate(2);
    engine.Pause();
    engine.Stop();
    int32_t w = -1, h = -1;
    engine.GetVideoSize(w, h);
    EXPECT_EQ(w, 0);
    EXPECT_EQ(h, 0);
    EXPECT_EQ(engine.GetFrameCount(), 0);
    EXPECT_EQ(engine.GetDuration(), 0);
    EXPECT_EQ(engine.GetPosition(), 0);
    EXPECT_TRUE(engine.CurrentFramePicture().isNothing());
    EXPECT_EQ(engine.GetFrameBitmap(), 0);
    EXPECT_FALSE(engine.SaveFrameJpeg(testFolder().filePath("none.jpg"), 80));
    EXPECT_FALSE(QFile::exists(testFolder().filePath("none.jpg")));
}

TEST_F(Engine, BadFilesFailClearlyAndAGoodClipOpensRightAfter) {
    const QString dir = testFolder().path();
    auto write = [&](const QString& name, const QByteArray& bytes) {
        QFile f(dir + "/" + name);
        f.open(QIODevice::WriteOnly);
        f.write(bytes);
        return f.fileName();
    };
    auto read = [](const QString& path) {
        QFile f(path);
        f.open(QIODevice::ReadOnly);
        return f.readAll();
    };
    const QByteArray mp4 = read(goodClip());
    // An AVI whose stream header states 16777216 frames a second.
    QByteArray avi = read(makeClip(dir, ClipFormat::MjpegAvi));
    avi.replace(avi.indexOf("strh") + 32, 4, QByteArray::fromHex("00000001"));
    // A sound file has no picture.
    QProcess::execute("ffmpeg", {"-v", "error", "-y", "-f", "lavfi", "-i", "sine=duration=1", dir + "/sound.wav"});
    struct Case {
        QString file;
        int32_t number;
        QString cause;
    };
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
        EXPECT_EQ(engine.GetFrameCount(), 0);
        engine.OpenClip(goodClip());
        EXPECT_EQ(frameNumber(engine.CurrentFramePicture().image()), 0) << "after " << c.file.toStdString();
        engine.Stop();
    }
}

TEST_F(Engine, OpensNamesWithSpacesAndNonAsciiAndReportsTheClip) {
    const QString path = makeClip(testFolder().path(), ClipFormat::Mpeg2Ts, {}, QString::fromUtf8("Übung Nr 1 – ñandú"));
    std::vector<int32_t> states;
    int opened = 0;
    QObject::connect(&engine, &VideoEngine::StateChange, [&](int32_t s) { states.push_back(s); });
    QObject::connect(&engine, &VideoEngine::Event1, [&] { ++opened; });
    engine.OpenClip(path);
    EXPECT_EQ(opened, 1);
    EXPECT_EQ(engine.GetFrameCount(), 150);
    EXPECT_EQ(engine.GetDuration(), 5000);  // from the first frame, though the stream starts near 1.4 s
    int32_t w = 0, h = 0;
    engine.GetVideoSize(w, h);
    EXPECT_EQ(w, 320);
    EXPECT_EQ(h, 240);
    EXPECT_EQ(engine.VideoWidth(), 320);
    EXPECT_EQ(engine.VideoHeight(), 240);
    for (int n : {37, 36, 100, 149, 3}) {
        engine.Seek(frameStartMs(ClipFormat::Mpeg2Ts, {}, n) + 1.0);
        EXPECT_EQ(frameNumber(engine.CurrentFramePicture().image()), n);
        EXPECT_EQ(engine.GetPosition(), std::round(frameStartMs(ClipFormat::Mpeg2Ts, {}, n)));
    }
    engine.Stop();
    EXPECT_EQ(engine.GetFrameCount(), 0);
    EXPECT_EQ(states, (std::vector<int32_t>{1, 0}));
}

TEST_F(Engine, LargeClipsAreShownAtMost1920PixelsOnTheLargerSide) {
    struct Case {
        int width, height, shownWidth, shownHeight;
    };
    for (const Case& c : {Case{3840, 2160, 1920, 1080}, Case{1080, 2400, 864, 1920}, Case{2160, 1216, 2160, 1216}}) {
        ClipOptions o;
        o.frames = 3;
        o.width = c.width;
        o.height = c.height;
        const QString path =
            makeClip(testFolder().path(), ClipFormat::Mpeg2Ts, o, QStringLiteral("large-%1x%2").arg(c.width).arg(c.height));
        engine.OpenClip(path);
        EXPECT_EQ(engine.VideoWidth(), c.shownWidth) << c.width << "x" << c.height;
        EXPECT_EQ(engine.VideoHeight(), c.shownHeight) << c.width << "x" << c.height;
        const QImage shown = engine.CurrentFramePicture().image();
        EXPECT_EQ(shown.size(), QSize(c.shownWidth, c.shownHeight));
        engine.Seek(frameStartMs(ClipFormat::Mpeg2Ts, o, 2) + 1);
        EXPECT_EQ(frameNumber(engine.CurrentFramePicture().image()), 2);
    }
}

TEST_F(Engine, OverlayBitmapAndCaptionAreComposedOverTheMirroredFrame) {
    engine.OpenClip(goodClip());
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
    const QColor under = frame.pixelColor(40, 40);
    const QColor blended = shown.pixelColor(40, 40);
    EXPECT_NEAR(blended.red(), (255 + under.red()) / 2, 3);
    EXPECT_NEAR(blended.green(), under.green() / 2, 3);

    // Mirrored: the frame flips, the overlay stays where it was.
    engine.SetOverlayBitmap(0, handle, 0, 0, 320, 240, key, -1);
    engine.SetFlipMode(101);
    EXPECT_EQ(engine.FlipMode(), 101);
    shown = engine.CurrentFramePicture().image();
    EXPECT_EQ(shown.pixel(40, 40), qRgb(255, 0, 0));
    EXPECT_EQ(shown.pixel(120, 120), frame.pixel(199, 120));
    EXPECT_EQ(shown.pixel(300, 200), frame.pixel(19, 200));

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
    std::vector<std::tuple<char, int, int, float, float>> seen;
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
    using Row = std::tuple<char, int, int, float, float>;
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
    engine.OpenClip(goodClip());
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
    EXPECT_FALSE(engine.isFullScreen());
    EXPECT_EQ(lost, 1);
}

TEST_F(Engine, PlaysToTheEndWithStateAndOneEndNotification) {
    ClipOptions o;
    o.frames = 30;
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
    EXPECT_TRUE(waitFor([&] { return false; }, 100) == false);  // let stray notifications arrive
    EXPECT_EQ(ended, 1);
    EXPECT_EQ(states, (std::vector<int32_t>{2, 1}));
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

TEST_F(Engine, SavesTheShownFrameAsJpegWhoseSizeFollowsTheQuality) {
    engine.OpenClip(makeClip(testFolder().path(), ClipFormat::H264Mp4, {}, "jpeg-source"));
    engine.Seek(frameStartMs(ClipFormat::H264Mp4, {}, 77) + 1);
    std::map<int, qint64> sizes;
    for (int q : {10, 90}) {
        const QString file = testFolder().filePath(QStringLiteral("frame-%1.jpg").arg(q));
        ASSERT_TRUE(engine.SaveFrameJpeg(file, q));
        sizes[q] = QFileInfo(file).size();
        QImage back(file);
        EXPECT_EQ(frameNumber(back), 77) << q;
    }
    EXPECT_LT(sizes[10], sizes[90]);
    EXPECT_FALSE(engine.SaveFrameJpeg(testFolder().filePath("no/such/folder/x.jpg"), 80));
    EXPECT_FALSE(engine.SaveFrameJpeg("/proc/forbidden.jpg", 80));
}

// A frame more than one frame period late is dropped, but never more than
// kMaxDroppedInARow in a row; a frame on time is always shown.
TEST(LateFrameGate, DropsLateFramesButNeverFreezesThePicture) {
    using Clock = LateFrameGate::Clock;
    LateFrameGate gate;
    const auto now = Clock::now();
    EXPECT_FALSE(gate.drop(now + std::chrono::milliseconds(20), 33.3));  // due in the future
    EXPECT_FALSE(gate.drop(now - std::chrono::milliseconds(10), 33.3));  // late, but by less than a frame
    for (int i = 0; i < LateFrameGate::kMaxDroppedInARow; ++i)
        EXPECT_TRUE(gate.drop(now - std::chrono::milliseconds(100), 33.3)) << i;
    EXPECT_FALSE(gate.drop(now - std::chrono::milliseconds(100), 33.3)) << "the picture must move on";
    EXPECT_TRUE(gate.drop(now - std::chrono::milliseconds(100), 33.3)) << "a shown frame starts a new count";
    EXPECT_EQ(gate.dropped(), LateFrameGate::kMaxDroppedInARow + 1);
}
