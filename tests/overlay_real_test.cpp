// The second-clip overlay and the bitmap overlay through a control built with
// the real components (Components::defaults()), checked on pixels: exact blend
// levels against the decoder's own frames, playback in step, and the bitmap's
// key colour. Clips are made at test time; frame n of a coded clip shows n.
#include "control/Trelvan.h"
#include "core/BitmapTable.h"
#include "fakes/ControlProbe.h"
#include "fakes/EventLoopWait.h"
#include "fakes/TestClips.h"
#include "media/Components.h"
#include "media/ffmpeg/ClipDecoder.h"

#include <QProcess>
#include <QTemporaryDir>
#include <cmath>
#include <gtest/gtest.h>
#include <memory>

using namespace tvn;
using namespace tvn::testclips;

namespace {

QString codedClip(const char* name, int fps, int frames) {
    ClipOptions o;
    o.frames = frames;
    o.fps = fps;
    o.keyInterval = 15;
    return makeClip(testFolder().path(), ClipFormat::H264Mp4, o, QLatin1String(name));
}

// A clip of one flat colour: blended with a coded clip, every pixel's expected
// value is known exactly.
const QColor kFlat(32, 128, 224);
QString flatClip() {
    static QString made;
    if (!made.isEmpty()) return made;
    const QString file = testFolder().path() + "/flat.mp4";
    QProcess ff;
    ff.start(QStringLiteral("ffmpeg"),
             {"-v", "error", "-y", "-f", "lavfi", "-i", "color=c=0x2080E0:s=320x240:r=25", "-frames:v", "25",
              "-pix_fmt", "yuv444p", "-c:v", "libx264", "-qp", "0", file});
    if (!ff.waitForFinished(60000) || ff.exitCode() != 0)
        throw std::runtime_error(ff.readAllStandardError().toStdString());
    return made = file;
}

// Lets the workers' queued frames reach the mixer for ms of real time.
void runEventsFor(int ms) { tvn::testing::waitFor([] { return false; }, ms); }

QImage decodedFrame(const QString& file, int n) {
    ClipDecoder d;
    d.open(file);
    return d.seek(d.info().durationMs / d.info().frameCount * n + 1.0).image.convertToFormat(QImage::Format_RGB32);
}

// Largest channel difference between the picture and want(x, y) over a region.
int worstDifference(const QImage& p, const QRect& region, const std::function<QRgb(int, int)>& want) {
    int worst = 0;
    for (int y = region.top(); y <= region.bottom(); ++y)
        for (int x = region.left(); x <= region.right(); ++x) {
            const QRgb a = p.pixel(x, y), b = want(x, y);
            worst = std::max({worst, std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                              std::abs(qBlue(a) - qBlue(b))});
        }
    return worst;
}

QRgb mix(QRgb under, QColor over, double alpha) {
    auto m = [&](int u, int o) { return static_cast<int>(std::lround(u * (1 - alpha) + o * alpha)); };
    return qRgb(m(qRed(under), over.red()), m(qGreen(under), over.green()), m(qBlue(under), over.blue()));
}

struct RealControl {
    RealControl(const QString& mainClip) {
        control = std::make_unique<Trelvan>(Components::defaults());
        control->resize(320, 240);
        control->show();
        QString name = mainClip;
        opened = control->TVN_OpenFile(name);
    }
    QImage shown() { return control->TVN_GetFrameAsIPic().image().convertToFormat(QImage::Format_RGB32); }
    std::unique_ptr<Trelvan> control;
    int32_t opened = 0;
};

}  // namespace

TEST(OverlayReal, StartsAsTheExactHalfBlendAndAdjustMovesMainAndSetsOpacity) {
    const QString main = codedClip("main", 30, 30);
    RealControl r(main);
    ASSERT_EQ(r.opened, 30);
    QString second = flatClip();
    r.control->TVN_Overlay(second);
    ASSERT_TRUE(ControlProbe(*r.control).state().overlayActive);
    const QImage start = r.shown();
    ASSERT_FALSE(start.isNull());
    const int w = start.width(), h = start.height();
    const QImage main0 = decodedFrame(main, 0).scaled(w, h);
    // Frame 0 of the main clip under the flat clip at opacity 0.5.
    EXPECT_LE(worstDifference(start, start.rect(), [&](int x, int y) { return mix(main0.pixel(x, y), kFlat, 0.5); }), 4);

    // TVN_AdjustOverlay(10, 20, 240, 320, 30): main into (10, 20, 320, 240),
    // second at (-10, -20, w, h) with opacity 0.3.
    int32_t frame = 9;
    r.control->TVN_SetFrame(frame);
    r.control->TVN_AdjustOverlay(10, 20, 240, 320, 30);
    const QImage main9 = decodedFrame(main, 9).scaled(320, 240);
    const QImage p = r.shown();
    auto mainAt = [&](int x, int y) -> QRgb {
        const int u = x - 10, v = y - 20;
        return u >= 0 && v >= 0 && u < 320 && v < 240 ? main9.pixel(u, v) : qRgb(0, 0, 0);
    };
    // Where the second clip covers the display (x < w - 10, y < h - 20): blended at 0.3.
    const QRect covered(0, 0, w - 10, h - 20);
    EXPECT_LE(worstDifference(p, covered, [&](int x, int y) { return mix(mainAt(x, y), kFlat, 0.3); }), 4);
    // The strips the moved second clip no longer reaches show the main clip alone.
    EXPECT_LE(worstDifference(p, QRect(w - 10, 20, 10, h - 20), mainAt), 4);
    EXPECT_LE(worstDifference(p, QRect(10, h - 20, w - 20, 20), mainAt), 4);
}

TEST(OverlayReal, PlayingBothClipsForASecondKeepsThemWithinOneFrame) {
    RealControl r(codedClip("main30", 30, 75));
    QString second = codedClip("second25", 25, 63);
    r.control->TVN_Overlay(second);
    ASSERT_TRUE(ControlProbe(*r.control).state().overlayActive);
    const int w = r.shown().width(), h = r.shown().height();
    r.control->TVN_Play();
    runEventsFor(1000);
    r.control->TVN_Pause();
    // Both sources are paused now: show each alone by the opacity and read its frame.
    r.control->TVN_AdjustOverlay(0, 0, h, w, 100);
    const int second25 = frameNumber(r.shown());
    r.control->TVN_AdjustOverlay(0, 0, h, w, 0);
    const int main30 = frameNumber(r.shown());
    ASSERT_GE(main30, 20);
    ASSERT_GE(second25, 16);
    EXPECT_LE(std::abs(main30 * 1000.0 / 30 - second25 * 1000.0 / 25), 40.0 + 1.0) << main30 << " vs " << second25;
    // Paused, both stay where they are.
    runEventsFor(200);
    EXPECT_EQ(frameNumber(r.shown()), main30);
}

TEST(OverlayReal, BitmapOverlayLeavesTheVideoVisibleWhereItHasTheKeyColour) {
    const QString main = codedClip("keyed", 30, 30);
    RealControl r(main);
    ASSERT_EQ(r.opened, 30);
    int32_t frame = 13;
    r.control->TVN_SetFrame(frame);
    // Left half magenta (the key colour), right half green.
    QImage bitmap(320, 240, QImage::Format_RGB32);
    bitmap.fill(QColor(255, 0, 255));
    for (int y = 0; y < 240; ++y)
        for (int x = 160; x < 320; ++x) bitmap.setPixel(x, y, qRgb(0, 200, 0));
    int32_t handle = BitmapTable::instance().add(bitmap);
    r.control->TVN_TransparentColor = 0xFF00FF;  // 0x00BBGGRR magenta
    r.control->TVN_AlphaLevel = -1;
    r.control->TVN_SetBitmapOverlay(handle);
    runEventsFor(100);
    const QImage p = r.shown();
    ASSERT_EQ(p.size(), QSize(320, 240));
    const QImage video = decodedFrame(main, 13);
    EXPECT_LE(worstDifference(p, QRect(0, 0, 160, 240), [&](int x, int y) { return video.pixel(x, y); }), 4);
    EXPECT_LE(worstDifference(p, QRect(160, 0, 160, 240), [](int, int) { return qRgb(0, 200, 0); }), 4);
    BitmapTable::instance().release(handle);
}
