#include "fakes/ControlHarness.h"

#include <gtest/gtest.h>

using namespace tvn;
using namespace tvn::testing;

namespace {

TEST(ControlLifecycle, InitialisationDrivesComponentsInOrder) {
    ControlHarness h({"A", "B", "C"});
    const QStringList expected = {
        "VideoCapX1.Option38 = 2",
        "VideoCapX1.BackColor = 0",
        // TVN_EraseAll redraws; with no clip the redraw stops after reading Option43.
        "VideoCapX1.Option43",
        "VideoCapX1.Option42 = True",
        "VideoCapX1.Option32 = -1",
        "VideoCapX1.SetVolume(85)",
        "audioRecorder.GetDeviceCount()",
        "audioRecorder.GetDeviceName(0)",
        "audioRecorder.GetDeviceName(1)",
        "audioRecorder.GetDeviceName(2)",
    };
    EXPECT_EQ(h.log.entries(), expected);
    EXPECT_EQ(h.c().TVN_AudioDevices.items(), QStringList({"A", "B", "C"}));
    EXPECT_EQ(h.c().TVN_SelectedAudioDevice, -1);
    EXPECT_EQ(h.c().TVN_SelectedLineInput, -1);
}

TEST(ControlLifecycle, NoAudioDevicesLeavesEmptyListAndNoSelection) {
    ControlHarness h;
    EXPECT_EQ(h.c().TVN_AudioDevices.Count(), 0);
    EXPECT_EQ(h.c().TVN_SelectedAudioDevice, -1);
    EXPECT_EQ(h.c().TVN_SelectedLineInput, -1);
}

TEST(ControlLifecycle, DefaultsAfterInitialisation) {
    ControlHarness h;
    Trelvan& c = h.c();
    EXPECT_EQ(c.TVN_drawingTool, "none");
    EXPECT_EQ(c.TVN_drawingWidth, 5);
    EXPECT_EQ(c.TVN_FontSize, 8);
    EXPECT_EQ(c.TVN_FontName, "Arial");
    EXPECT_EQ(c.TVN_TextColor, 0x00FFFF);
    EXPECT_EQ(c.TVN_drawingColor, 0x00FFFF);
    EXPECT_EQ(c.TVN_TransparentColor, 0xFFFFFF);
    EXPECT_EQ(c.TVN_AlphaLevel, -1);
    EXPECT_EQ(c.TVN_VolumeLevel, 0);
    EXPECT_EQ(c.TVN_PlayRate, 0);
    EXPECT_TRUE(c.TVN_Version.isEmpty());
    EXPECT_FALSE(c.TVN_UseVMR9);
    EXPECT_FALSE(h.probe().picture(1).isVisible());
    EXPECT_EQ(h.probe().state().mainMixerSource, -1);
    EXPECT_EQ(h.probe().store().circlineShape, -1);
}

}  // namespace
