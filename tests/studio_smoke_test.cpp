// The reference host, offscreen: a clip opens, space plays and pauses, the arrow
// keys step and the frame slider jumps, each seen in the frame on screen.
#include "StudioWindow.h"
#include "control/Trelvan.h"
#include "fakes/EventLoopWait.h"
#include "fakes/TestClips.h"

#include <QSlider>
#include <QTest>
#include <gtest/gtest.h>

using namespace tvn::testclips;
using tvn::testing::waitFor;

namespace {

TEST(StudioSmoke, OpensPlaysPausesStepsAndJumps) {
    studio::StudioWindow window;
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    ASSERT_TRUE(window.openClip(clip(ClipFormat::H264Mp4, {.frames = 60})));
    tvn::Trelvan& control = window.control();
    const auto shows = [&](int frame) {
        return waitFor([&] { return frameNumber(control.TVN_GetFrameAsIPic().image()) == frame; }, 3000);
    };
    EXPECT_TRUE(shows(0));

    QTest::keyClick(&window, Qt::Key_Space);
    EXPECT_TRUE(waitFor([&] { return control.TVN_IsPlaying; }, 3000));
    QTest::keyClick(&window, Qt::Key_Space);
    EXPECT_TRUE(waitFor([&] { return !control.TVN_IsPlaying; }, 3000));

    // The frame slider is the one that spans the clip.
    QSlider* slider = nullptr;
    for (QSlider* s : window.findChildren<QSlider*>())
        if (s->maximum() == 59) slider = s;
    ASSERT_NE(slider, nullptr);
    slider->setSliderDown(true);  // as a drag does: each move jumps
    slider->setSliderPosition(40);
    slider->setSliderDown(false);
    EXPECT_TRUE(shows(40));
    QTest::keyClick(&window, Qt::Key_Right);
    EXPECT_TRUE(shows(41));
    QTest::keyClick(&window, Qt::Key_Left);
    EXPECT_TRUE(shows(40));
}

}  // namespace

// What the studio adds as a host: the clip's proportions (a two-stroke angle of
// 45 degrees on screen reads 45), keys that yield to a text being typed on the
// video, slider moves coalesced into one jump, a bad file that leaves the clip open.
TEST(StudioSmoke, HostsTheClipForACoach) {
    studio::StudioWindow window;
    window.show();
    ASSERT_TRUE(window.openClip(clip(ClipFormat::H264Mp4, {.frames = 40, .width = 180, .height = 320})));
    tvn::Trelvan& control = window.control();
    EXPECT_NEAR(double(control.width()) / control.height(), 180.0 / 320.0, 0.003);
    EXPECT_LE(std::abs(control.geometry().center().x() - control.parentWidget()->rect().center().x()), 1);

    QSlider* slider = nullptr;
    for (QSlider* s : window.findChildren<QSlider*>())
        if (s->maximum() == 39) slider = s;
    ASSERT_NE(slider, nullptr);
    slider->setSliderDown(true);
    for (int frame : {10, 20, 30}) slider->setSliderPosition(frame);
    EXPECT_EQ(control.TVN_CurrentFrame, 0);  // asked, not yet jumped: the last ask wins
    EXPECT_TRUE(waitFor([&] { return frameNumber(control.TVN_GetFrameAsIPic().image()) == 30; }, 3000));
    slider->setSliderDown(false);

    QFile bad(testFolder().filePath(QStringLiteral("not-a-clip.mp4")));
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly) && bad.write("text, not video") > 0);
    bad.close();
    EXPECT_FALSE(window.openClip(bad.fileName()));
    EXPECT_EQ(frameNumber(control.TVN_GetFrameAsIPic().image()), 30);  // the clip studied is still shown

    QWidget* video = control.visibleVideoWidget();
    const QPoint vertex = video->rect().center(), first = vertex + QPoint(60, 0), second = vertex + QPoint(40, -40);
    control.TVN_drawingTool = QStringLiteral("angle");
    for (const auto& [from, to] : {std::pair{first, vertex}, std::pair{vertex, second}}) {
        QTest::mousePress(video, Qt::LeftButton, {}, from);
        QTest::mouseMove(video, to);
        QTest::mouseRelease(video, Qt::LeftButton, {}, to);
    }
    EXPECT_EQ(control.TVN_AngleText, QStringLiteral("45\u00B0"));

    QList<int> typed;
    QObject::connect(&control, &tvn::Trelvan::KeyPress, [&](int16_t& key) { typed << key; });
    control.TVN_drawingTool = QStringLiteral("text");
    QTest::mouseClick(video, Qt::LeftButton, {}, vertex);
    QTest::keyClicks(video, QStringLiteral("a b"));
    EXPECT_EQ(typed, (QList<int>{'a', ' ', 'b'}));
    EXPECT_FALSE(control.TVN_IsPlaying);
}
