#include "control/TrelvanListener.h"
#include "fakes/ControlHarness.h"
#include "fakes/ErrorFrom.h"

#include <QMetaMethod>
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

namespace {

struct CloseObservation {
    QString fileName;
    double frameLen, totalLen, pos;
    int32_t frame, numFrames;
    bool playing, clock;
    int16_t width, height;
    int32_t tracking;
    bool flipped, overlay;
};

CloseObservation observe(ControlHarness& h) {
    Trelvan& c = h.c();
    return {c.TVN_videoFileName, c.TVN_FrameLenMS, c.TVN_TotalLenMS, c.TVN_CurrentPos, c.TVN_CurrentFrame,
            c.TVN_NumFrames, c.TVN_IsPlaying, c.TVN_DisplayClock, c.TVN_VideoWidth, c.TVN_VideoHeight,
            c.TVN_TrackingActive, h.probe().state().videoFlipped, h.probe().state().overlayActive};
}

TEST(ControlLifecycle, CloseResetsClipStateOnlyAndRepeatsCleanly) {
    ControlHarness h({"Mic"});
    Trelvan& c = h.c();
    // A clip state, drawings and settings as a session would leave them.
    c.TVN_videoFileName = "clip.mp4";
    c.TVN_FrameLenMS = 40;
    c.TVN_TotalLenMS = 4000;
    c.TVN_CurrentPos = 120;
    c.TVN_CurrentFrame = 3;
    c.TVN_NumFrames = 100;
    c.TVN_IsPlaying = true;
    c.TVN_DisplayClock = true;
    c.TVN_VideoWidth = 320;
    c.TVN_VideoHeight = 240;
    c.TVN_TrackingActive = 1;
    c.TVN_VolumeLevel = 40;
    c.TVN_PlayRate = 2;
    c.TVN_drawingColor = 0xFF0000;
    c.TVN_SelectedAudioDevice = 0;
    h.probe().state().videoFlipped = true;
    h.probe().store().Lines[0].Visible = true;
    h.probe().store().nextLineSlot = 1;

    h.log.clear();
    c.TVN_Close();
    EXPECT_EQ(h.log.entries(), QStringList({"VideoCapX1.Stop()"}));
    const CloseObservation once = observe(h);
    EXPECT_TRUE(once.fileName.isEmpty());
    EXPECT_EQ(once.frameLen, 0);
    EXPECT_EQ(once.totalLen, 0);
    EXPECT_EQ(once.pos, 0);
    EXPECT_EQ(once.frame, 0);
    EXPECT_EQ(once.numFrames, 0);
    EXPECT_FALSE(once.playing);
    EXPECT_FALSE(once.clock);
    EXPECT_EQ(once.width, 0);
    EXPECT_EQ(once.height, 0);
    EXPECT_EQ(once.tracking, 0);
    EXPECT_FALSE(once.flipped);
    // The engine's mirror setting is not touched by a close.
    EXPECT_FALSE(h.log.contains("VideoCapX1.FlipMode = 0"));

    h.log.clear();
    c.TVN_Close();
    EXPECT_EQ(h.log.entries(), QStringList({"VideoCapX1.Stop()"}));
    const CloseObservation twice = observe(h);
    EXPECT_EQ(twice.fileName, once.fileName);
    EXPECT_EQ(twice.frame, once.frame);
    EXPECT_EQ(twice.frameLen, once.frameLen);

    // Left alone: drawings, drawing settings, volume, rate, audio selection.
    EXPECT_TRUE(h.probe().store().Lines[0].Visible);
    EXPECT_EQ(h.probe().store().nextLineSlot, 1);
    EXPECT_EQ(c.TVN_drawingColor, 0xFF0000);
    EXPECT_EQ(c.TVN_VolumeLevel, 40);
    EXPECT_EQ(c.TVN_PlayRate, 2);
    EXPECT_EQ(c.TVN_SelectedAudioDevice, 0);
}

TEST(ControlLifecycle, CloseWithOverlayRemovesBothSourcesThenStops) {
    ControlHarness h;
    ControlState& s = h.probe().state();
    s.overlayActive = true;
    s.mainMixerSource = 7;
    s.overlayMixerSource = 8;
    h.engine1->Display()->hide();
    h.mixer->Display()->show();
    h.log.clear();
    h.c().TVN_Close();
    EXPECT_EQ(h.log.entries(), QStringList({
                                   "VideoMixerX1.RemoveSource(7)",
                                   "VideoMixerX1.RemoveSource(8)",
                                   "VideoMixerX1.StopAll()",
                                   "VideoCapX1.Visible = True",
                                   "VideoMixerX1.Visible = False",
                                   "VideoCapX1.Stop()",
                               }));
    EXPECT_FALSE(s.overlayActive);
    EXPECT_EQ(s.mainMixerSource, -1);
    EXPECT_EQ(s.overlayMixerSource, -1);
    EXPECT_FALSE(h.engine1->Display()->isHidden());
    EXPECT_TRUE(h.mixer->Display()->isHidden());
}

TEST(ControlLifecycle, CloseLetsAMixerFailurePassUnchangedAndStopsThere) {
    ControlHarness h;
    h.probe().state().overlayActive = true;
    h.mixer->failOn("StopAll", TvnError(err::ObjectErrorBase + 5, "mixer gone", "VideoMixerX1"));
    h.log.clear();
    const auto e = errorFrom([&] { h.c().TVN_Close(); });
    ASSERT_TRUE(e) << "TVN_Close should fail";
    EXPECT_EQ(e->number(), err::ObjectErrorBase + 5);
    EXPECT_EQ(e->source(), "VideoMixerX1");  // no handler, no prefix
    EXPECT_FALSE(h.log.contains("VideoCapX1.Stop()"));
    // The clip state was already cleared before the overlay was closed.
    EXPECT_TRUE(h.c().TVN_videoFileName.isEmpty());
}

TEST(ControlLifecycle, FailureThreeProceduresDeepCarriesThreePrefixes) {
    ControlHarness h;
    h.c().TVN_videoFileName = "clip.mp4";
    h.engine1->failOn("Option43", TvnError(err::ObjectErrorBase + 9, "Option43 unreadable", "VideoCapX1"));
    const auto e = errorFrom([&] { h.c().TVN_FlipVideo(1); });
    ASSERT_TRUE(e) << "TVN_FlipVideo should fail";
    EXPECT_EQ(e->number(), err::ObjectErrorBase + 9);
    EXPECT_EQ(e->description(), "Option43 unreadable");
    EXPECT_EQ(e->source(), "(TVN_FlipVideo)->(TVN_ReDraw)->(RedrawAnnotations)->VideoCapX1");
}

TEST(ControlLifecycle, EraseAllEmptiesTheStoreButKeepsTrailTargetAndHistoryCodes) {
    ControlHarness h;
    AnnotationStore& st = h.probe().store();
    for (int i = 0; i < AnnotationStore::kPoolSize; ++i) {
        st.Lines[i] = LineObject{1, 2, 3, 4, 0xFF, true};
        st.Shape1[i].Visible = true;
        st.Shape1[i].Width = 10;
        st.Shape1[i].Height = 20;
        st.angleNotes[i].shown = true;
        st.textNotes[i].text = "note";
        st.recordHistory(HistoryLine);
    }
    st.Angle1.Visible = st.Angle2.Visible = true;
    h.c().TVN_AngleText = "45°";
    st.nextLineSlot = 5;
    st.nextShapeSlot = 6;
    st.nextAngleSlot = 7;
    st.textSlot = 8;
    st.circlineShape = 3;
    st.lightMouseShown = true;
    st.targetX = 11;
    st.trackTrail.append(KiteTail{1, 2, 3, 4, 5});
    h.probe().picture(2).setSize(150, 150);
    h.probe().picture(2).line(0, 0, 150, 150, 0);

    h.c().TVN_EraseAll();

    for (int i = 0; i < AnnotationStore::kPoolSize; ++i) {
        SCOPED_TRACE(i);
        EXPECT_FALSE(st.Lines[i].Visible);
        EXPECT_EQ(st.Lines[i].X1 + st.Lines[i].Y1 + st.Lines[i].X2 + st.Lines[i].Y2, 0);
        EXPECT_EQ(st.Lines[i].BorderColor, 0xFF);  // colours stay in the pool objects
        EXPECT_FALSE(st.Shape1[i].Visible);
        EXPECT_EQ(st.Shape1[i].Width, 0);
        EXPECT_FALSE(st.angleNotes[i].shown);
        EXPECT_TRUE(st.textNotes[i].text.isEmpty());
    }
    EXPECT_FALSE(st.Angle1.Visible);
    EXPECT_FALSE(st.Angle2.Visible);
    EXPECT_TRUE(h.c().TVN_AngleText.isEmpty());
    EXPECT_EQ(st.historyPos, 0);
    EXPECT_EQ(st.nextLineSlot + st.nextShapeSlot + st.nextAngleSlot + st.textSlot, 0);
    EXPECT_EQ(st.circlineShape, -1);
    EXPECT_FALSE(st.lightMouseShown);
    EXPECT_EQ(st.historyKinds[20], HistoryLine);  // the ring's codes are not cleared
    EXPECT_EQ(st.targetX, 11);
    EXPECT_EQ(st.trackTrail.size(), 1);
    // The free-hand layer is white again.
    const QImage freeHand = h.probe().picture(2).image();
    EXPECT_EQ(freeHand.pixel(5, 5) & 0xFFFFFF, 0xFFFFFFu);
}

// The dispatch interface: names, order and kinds, as hosts bind to them.
TEST(ControlInterface, MembersAppearInInterfaceOrder) {
    const QStringList members = {
        "TVN_videoFileName", "TVN_VideoWidth", "TVN_VideoHeight", "TVN_drawingTool", "TVN_DisplayGrid",
        "TVN_GridColor", "TVN_drawingColor", "TVN_drawingWidth", "TVN_NumFrames", "TVN_IsPlaying",
        "TVN_VolumeLevel", "TVN_FrameLenMS", "TVN_CurrentPos", "TVN_TotalLenMS", "TVN_DoDeinterlace",
        "TVN_AngleText", "TVN_TextColor", "TVN_Text", "TVN_FontSize", "TVN_CurrentFrame", "TVN_Version",
        "TVN_RawPlayerMode", "TVN_UseVMR9", "TVN_OverlayImage", "TVN_Close", "TVN_OpenFile", "TVN_Pause",
        "TVN_Play", "TVN_SetVolume", "TVN_StepOneFrame", "TVN_GetFrame", "TVN_SetFrame", "TVN_GetPos",
        "TVN_SetPos", "TVN_SaveFrameJpg", "TVN_ReDraw", "TVN_EraseFreeHand", "TVN_EraseAll", "TVN_Undo",
        "TVN_Redo", "TVN_GetFrameAsBitmap", "TVN_FullScreen", "TVN_MouseDown", "TVN_MouseMove", "TVN_MouseUp",
        "TVN_PlayRate", "TVN_SetRate", "TVN_GridSpacing", "TVN_GetFrameAsIPic", "TVN_LessonInProgress",
        "TVN_StartLesson", "TVN_PauseLesson", "TVN_ResumeLesson", "TVN_StopLesson", "TVN_CompressLesson",
        "TVN_SetLogo", "TVN_LessonCompressionProgress", "TVN_Overlay", "TVN_AdjustOverlay",
        "TVN_SetOverlay2Pos", "TVN_SetOverlay2Frame", "TVN_FlipVideo", "TVN_ShowFilmStrip", "TVN_FlipOverlay",
        "TVN_TrackingActive", "TVN_TrackingLength", "TVN_SetTracking", "TVN_DisplayClock",
        "tvn_ClockStartTimeMS", "TVN_GetPosLive", "TVN_SetSecondIPic", "TVN_UploadFrame",
        "TVN_DisplayLaunchMonitor", "TVN_LessonProfile", "TVN_DisplayTarget", "TVN_FontName",
        "TVN_TransparentColor", "TVN_SetBitmapOverlay", "TVN_AudioDevices", "TVN_AudioLineInputs",
        "TVN_SelectedAudioDevice", "TVN_SelectedLineInput", "TVN_SelectAudioDevice",
        "TVN_SelectAudioLineInput", "TVN_AlphaLevel"};
    const QMetaObject& meta = Trelvan::staticMetaObject;
    const int info = meta.indexOfClassInfo("Members");
    ASSERT_GE(info, 0);
    EXPECT_EQ(QString::fromLatin1(meta.classInfo(info).value()).split(','), members);

    QStringList properties, methods, events;
    for (int i = meta.propertyOffset(); i < meta.propertyCount(); ++i)
        properties.append(QString::fromLatin1(meta.property(i).name()));
    for (int i = meta.methodOffset(); i < meta.methodCount(); ++i) {
        const QMetaMethod m = meta.method(i);
        (m.methodType() == QMetaMethod::Signal ? events : methods).append(QString::fromLatin1(m.name()));
    }
    QStringList expectedProperties, expectedMethods;
    for (const QString& name : members) (properties.contains(name) ? expectedProperties : expectedMethods).append(name);
    EXPECT_EQ(properties, expectedProperties);
    EXPECT_EQ(methods, expectedMethods);
    EXPECT_EQ(properties.size(), 41);
    EXPECT_EQ(methods.size(), 44);
    EXPECT_EQ(events, QStringList({"VideoEnd", "MouseDown", "MouseUp", "MouseMove", "KeyPress", "FullScreenLost",
                                   "LessonCompressionComplete", "LessonCompressionProgress"}));
}

TEST(ControlInterface, EventsLetAHandlerChangeByReferenceArgumentsAndReachTheListener) {
    struct Listener : TrelvanListener {
        int16_t seen = 0;
        void KeyPress(int16_t& key) override { seen = key; key = 66; }
    } listener;
    ControlHarness h;
    h.c().setListener(&listener);
    QObject::connect(&h.c(), &Trelvan::KeyPress, [](int16_t& key) { key = 65; });
    int16_t key = 97;
    emit h.engine1->EngineKeyPress(key);
    EXPECT_EQ(listener.seen, 65);  // the signal's handler ran first and changed the key
    EXPECT_EQ(key, 66);
    EXPECT_EQ(h.c().lastNotificationError(), nullptr);
}

}  // namespace
