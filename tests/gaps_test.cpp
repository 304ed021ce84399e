// What the user sees on the real components where nothing else looks: the picture's
// speed at a fast rate, a mirrored clip carried into the overlay, and the target
// cross-hair and angle arms on the screen.
#include "control/Trelvan.h"
#include "fakes/EventLoopWait.h"
#include "fakes/TestClips.h"
#include "media/Components.h"
#include "platform/Surface.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <gtest/gtest.h>

using namespace tvn;
using namespace tvn::testclips;
using tvn::testing::waitFor;

namespace {

constexpr int32_t kRed = 0x0000FF;

// 150 frames at 30 fps, 320 x 240, each showing its number.
QString clip() {
    static const QString path = makeClip(testFolder().path(), ClipFormat::H264Mp4);
    return path;
}

struct Gaps : ::testing::Test {
    void SetUp() override {
        control.resize(320, 240);
        control.show();
        ASSERT_EQ(control.TVN_OpenFile(name), 150);
    }
    // A pointer event on the display, in its pixels.
    void pointer(QEvent::Type type, QPointF at) {
        QWidget* w = control.visibleVideoWidget();
        const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
        QMouseEvent event(type, at, w->mapToGlobal(at), type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton,
                          held, Qt::NoModifier);
        QCoreApplication::sendEvent(w, &event);
    }
    void drag(QPointF from, QPointF to, bool release = true) {
        pointer(QEvent::MouseButtonPress, from);
        pointer(QEvent::MouseMove, to);
        if (release) pointer(QEvent::MouseButtonRelease, to);
    }
    // True once every point of the display shows the colour.
    bool showsEverywhere(int32_t colour, std::initializer_list<QPoint> points) {
        return waitFor(
            [&] {
                const QImage shown = control.visibleVideoWidget()->grab().toImage();
                for (QPoint p : points)
                    if (Surface::fromQColor(shown.pixelColor(p)) != colour) return false;
                return true;
            },
            3000);
    }

    QString name = clip();
    Trelvan control{Components::defaults()};
};

TEST_F(Gaps, PictureKeepsPaceWithRateFour) {
    double rate = 4;
    control.TVN_SetRate(rate);
    control.TVN_Play();
    ASSERT_TRUE(waitFor([&] { return control.TVN_GetPosLive() >= 500; }, 5000));
    const double from = control.TVN_GetPosLive();
    QElapsedTimer wall;
    wall.start();
    ASSERT_TRUE(waitFor([&] { return control.TVN_GetPosLive() >= 3500; }, 10000));
    // Clip time over wall time, both measured here: 4 when the pictures follow the rate.
    const double speed = (control.TVN_GetPosLive() - from) / double(wall.elapsed());
    EXPECT_GT(speed, 3.0);
    EXPECT_LT(speed, 5.0);
}

TEST_F(Gaps, MirroredMainClipStaysMirroredUnderTheOverlay) {
    control.TVN_FlipVideo(1);
    control.TVN_Overlay(name);  // the same clip, half transparent, both on frame 0
    // Frame 0 shows only its marker, the bottom-right cell; mirrored, the main clip's
    // marker is bottom left, so each corner shows one marker at half strength.
    const auto greyAt = [&](int col) {
        const QImage mixed = control.TVN_GetFrameAsIPic().image();
        return mixed.isNull() ? -1 : qGray(mixed.pixel(mixed.width() * (2 * col + 1) / 8, mixed.height() * 5 / 6));
    };
    const auto half = [](int grey) { return grey > 50 && grey < 200; };
    EXPECT_TRUE(waitFor([&] { return half(greyAt(0)) && half(greyAt(3)); }, 3000))
        << "bottom left " << greyAt(0) << ", bottom right " << greyAt(3);
}

TEST_F(Gaps, TargetCrossHairAndAngleArmsShowOnTheVideo) {
    control.TVN_drawingColor = kRed;
    control.TVN_DisplayTarget = true;
    control.TVN_drawingTool = QStringLiteral("target");
    drag({100, 80}, {100, 80});
    EXPECT_TRUE(showsEverywhere(kRed, {{20, 80}, {300, 80}, {100, 20}, {100, 220}}));

    // First arm from (40, 160) to the vertex (200, 160); the second from there down.
    control.TVN_drawingTool = QStringLiteral("angle");
    drag({40, 160}, {200, 160});
    drag({200, 160}, {200, 230}, false);
    EXPECT_TRUE(showsEverywhere(kRed, {{120, 160}, {200, 200}})) << "while the second arm is pulled";
    pointer(QEvent::MouseButtonRelease, {200, 230});
    EXPECT_TRUE(showsEverywhere(kRed, {{120, 160}, {200, 200}})) << "once the angle is placed";
}

}  // namespace
