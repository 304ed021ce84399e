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
