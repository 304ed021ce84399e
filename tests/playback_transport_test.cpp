// Opening a clip, the transport and the display engine's notifications on
// recording fakes: the exact engine calls in order, the measures and positions
// they leave, and which procedures prefix, ignore or pass failures.
//
// Most tests run in raw player mode (Option43 = 0), where a redraw of the
// annotations reads Option43 and stops: that read marks every redraw in the
// log without depending on what the renderer draws.
#include "annotate/AnnotationStore.h"
#include "fakes/ControlHarness.h"
#include "fakes/ErrorFrom.h"

#include <gtest/gtest.h>

using namespace tvn;
using namespace tvn::testing;

// Readable QString values in failure messages.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace {

const TvnError kEngineFailure(-2147219000, "engine refused", "VideoCapX");
const QString kRedraw = "VideoCapX1.Option43";  // a redraw's first engine call

struct Playback {
    Playback() {
        h.c().resize(320, 240);
        h.c().TVN_RawPlayerMode = true;
    }
    // A 300-frame, 10 s clip of 320 x 240 pixels.
    int32_t open(const QString& name = "clip.avi", double frames = 300, int32_t ms = 10000) {
        const int32_t n = h.openClip(name, frames, ms, 320, 240);
        h.log.clear();
        return n;
    }
    Trelvan& c() { return h.c(); }
    ControlHarness h;
};

TEST(PlaybackOpen, DrivesTheEngineInOrder) {
    Playback p;
    p.h.log.clear();
    EXPECT_EQ(p.h.openClip("clip.avi", 300, 10000, 320, 240), 300);
    const QStringList expected = {
        "VideoCapX1.Call154(True)",
        "VideoCapX1.Stop()",  // TVN_Close
        "VideoCapX1.Option43 = 0",
        "VideoCapX1.VideoRenderer = 2",
        "VideoCapX1.Deinterlace = 0",
        "VideoCapX1.OpenClip(\"clip.avi\")",
        "VideoCapX1.Option30 = 1",
        "VideoCapX1.SetVolume(0)",  // TVN_VolumeLevel, not the 85 of start-up
        "VideoCapX1.Play()",
        "VideoCapX1.Pause()",
        "VideoCapX1.Seek(0)",
        "VideoCapX1.GetFrameCount()",
        "VideoCapX1.GetDuration()",
        "VideoCapX1.GetVideoSize()",
        // The resize handling: a 320 x 240 pixel control is 4800 x 3600 twips.
        "VideoCapX1.Width = 4800",
        "VideoCapX1.Height = 3600",
        "VideoCapX1.Height",
        "VideoMixerX1.Height = 3600",
        "VideoCapX1.Width",
        "VideoMixerX1.Width = 4800",
        kRedraw,  // the resize handling's redraw
        kRedraw,  // the open's own redraw
    };
    EXPECT_EQ(p.h.log.entries(), expected);
    EXPECT_EQ(p.c().TVN_videoFileName, "clip.avi");
    EXPECT_EQ(p.c().TVN_VideoWidth, 320);
    EXPECT_EQ(p.c().TVN_VideoHeight, 240);
    EXPECT_EQ(p.h.probe().state().videoWidthTwips, 4800);
    EXPECT_EQ(p.h.probe().state().videoHeightTwips, 3600);
    EXPECT_DOUBLE_EQ(p.h.probe().picture(1).width(), 4800);
    EXPECT_DOUBLE_EQ(p.h.probe().picture(1).height(), 3600);
    EXPECT_DOUBLE_EQ(p.h.probe().picture(2).width(), 4800);
    EXPECT_DOUBLE_EQ(p.h.probe().picture(2).height(), 3600);
    EXPECT_DOUBLE_EQ(p.h.probe().state().pointerScaleX, 1.0);
}

TEST(PlaybackOpen, FrameMeasuresFromEngineCounts) {
    struct Case {
        double frames;
        int32_t ms;
        int32_t numFrames;
        double frameLen;
    };
    const Case cases[] = {
        {300, 10000, 300, 1000.0 / 30},
        {50000, 10000, 300, 1000.0 / 30},  // more frames than ms: 10000 / 33.362 = 299.74
        {10001, 10000, 300, 1000.0 / 30},
        {10000, 10000, 10000, 1.0},        // as many frames as ms is still a frame count
        {250, 10000, 250, 40.0},
        {299.5, 10000, 300, 10000 / 299.5},  // halves to even
        {300.5, 10000, 300, 10000 / 300.5},
        {0, 10000, 0, 0},
        {300, 0, 0, 0},
        {-5, 10000, 0, 0},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(::testing::Message() << k.frames << " frames, " << k.ms << " ms");
        Playback p;
        EXPECT_EQ(p.open("clip.avi", k.frames, k.ms), k.numFrames);
        EXPECT_EQ(p.c().TVN_NumFrames, k.numFrames);
        EXPECT_DOUBLE_EQ(p.c().TVN_FrameLenMS, k.frameLen);
        EXPECT_DOUBLE_EQ(p.c().TVN_TotalLenMS, k.numFrames * k.frameLen);
        // The clip is open whatever the counts were.
        EXPECT_EQ(p.c().TVN_videoFileName, "clip.avi");
        EXPECT_EQ(p.c().TVN_VideoWidth, 320);
        EXPECT_EQ(p.c().TVN_CurrentFrame, 0);
    }
}

TEST(PlaybackOpen, EngineSettingsFollowTheProperties) {
    struct Case {
        bool raw, vmr9, deinterlace;
        QString option43, renderer, deint;
    };
    const Case cases[] = {
        {true, false, false, "VideoCapX1.Option43 = 0", "VideoCapX1.VideoRenderer = 2", "VideoCapX1.Deinterlace = 0"},
        {true, true, true, "VideoCapX1.Option43 = 0", "VideoCapX1.VideoRenderer = 1", "VideoCapX1.Deinterlace = 1"},
    };
    for (const Case& k : cases) {
        Playback p;
        p.c().TVN_RawPlayerMode = k.raw;
        p.c().TVN_UseVMR9 = k.vmr9;
        p.c().TVN_DoDeinterlace = k.deinterlace;
        p.h.log.clear();
        p.h.openClip("x.avi", 10, 1000);
        const QStringList& e = p.h.log.entries();
        ASSERT_GE(e.size(), 5);
        EXPECT_EQ(e[2], k.option43);
        EXPECT_EQ(e[3], k.renderer);
        EXPECT_EQ(e[4], k.deint);
    }
}

TEST(PlaybackOpen, EmptyNameClosesAndOpensNothing) {
    for (bool raw : {false, true}) {
        Playback p;
        p.open("first.avi");
        p.c().TVN_RawPlayerMode = raw;
        QString empty;
        EXPECT_EQ(p.c().TVN_OpenFile(empty), 0);
        const QStringList expected = {"VideoCapX1.Call154(True)", "VideoCapX1.Stop()",
                                      raw ? "VideoCapX1.Option43 = 0" : "VideoCapX1.Option43 = 1"};
        EXPECT_EQ(p.h.log.entries(), expected);
        EXPECT_TRUE(p.c().TVN_videoFileName.isEmpty());
        EXPECT_EQ(p.c().TVN_NumFrames, 0);
        EXPECT_EQ(p.c().TVN_FrameLenMS, 0);
        EXPECT_EQ(p.c().TVN_VideoWidth, 0);
    }
}

TEST(PlaybackOpen, VolumeLevelIsHandedToTheEngineOnEveryOpen) {
    Playback p;
    int32_t volume = 40;
    p.c().TVN_SetVolume(volume);
    p.h.log.clear();
    p.h.openClip("clip.avi", 300, 10000);
    EXPECT_EQ(p.h.log.count("VideoCapX1.SetVolume(40)"), 1);
}

TEST(PlaybackOpen, SixteenBitSizeLimitsFailAfterTheEngineOpened) {
    struct Case {
        int32_t width;
        bool fails;
    };
    // 32767 pixels do not fit in twips; 2185 pixels are 32775 twips; 2184 are 32760.
    const Case cases[] = {{32768, true}, {32767, true}, {2185, true}, {2184, false}};
    for (const Case& k : cases) {
        SCOPED_TRACE(k.width);
        Playback p;
        p.h.log.clear();
        try {
            p.h.openClip("wide.avi", 300, 10000, k.width, 240);
            EXPECT_FALSE(k.fails);
            EXPECT_EQ(p.h.probe().state().videoWidthTwips, k.width * 15);
        } catch (const TvnError& e) {
            EXPECT_TRUE(k.fails);
            EXPECT_EQ(e.number(), err::Overflow);
            EXPECT_TRUE(e.source().startsWith("(TVN_OpenFile)->")) << e.source().toStdString();
            // The engine holds the clip and the measures are set; nothing after the size ran.
            EXPECT_TRUE(p.h.log.contains("VideoCapX1.OpenClip(\"wide.avi\")"));
            EXPECT_EQ(p.c().TVN_NumFrames, 300);
            EXPECT_FALSE(p.h.log.contains("VideoCapX1.Width = 4800"));
        }
    }
}

TEST(PlaybackOpen, EngineFailureIsPrefixedAndLeavesNoClip) {
    Playback p;
    p.open("first.avi");
    p.h.engine1->failOn("OpenClip", TvnError(err::ClipOpenFailed, "Cannot open clip 'bad.avi'", "VideoCapX"));
    QString name = "bad.avi";
    const auto e = errorFrom([&] { p.c().TVN_OpenFile(name); });
    ASSERT_TRUE(e) << "no error";
    EXPECT_EQ(e->number(), err::ClipOpenFailed);
    EXPECT_EQ(e->source(), "(TVN_OpenFile)->VideoCapX");
    EXPECT_TRUE(p.c().TVN_videoFileName.isEmpty());
    EXPECT_EQ(p.c().TVN_NumFrames, 0);
}

TEST(PlaybackOpen, OpeningWhileOverlaidEndsTheOverlayFirst) {
    Playback p;
    p.open("first.avi");
    ControlState& s = p.h.probe().state();
    s.overlayActive = true;
    s.mainMixerSource = 1;
    s.overlayMixerSource = 2;
    p.h.engine1->Display()->hide();
    p.h.mixer->Display()->show();
    p.h.log.clear();
    p.h.openClip("second.avi", 300, 10000);
    const QStringList head = p.h.log.entries().mid(0, 8);
    const QStringList expected = {"VideoCapX1.Call154(True)",    "VideoMixerX1.RemoveSource(1)",
                                  "VideoMixerX1.RemoveSource(2)", "VideoMixerX1.StopAll()",
                                  "VideoCapX1.Visible = True",    "VideoMixerX1.Visible = False",
                                  "VideoCapX1.Stop()",            "VideoCapX1.Option43 = 0"};
    EXPECT_EQ(head, expected);
    EXPECT_FALSE(s.overlayActive);
    EXPECT_EQ(s.mainMixerSource, -1);
}

// --- Transport ---

TEST(PlaybackTransport, SetFrameClampsTheCallersVariableAndSeeksPlusOneMs) {
    struct Case {
        int32_t asked, clamped;
        double pos;
        QString seek;
    };
    const Case cases[] = {
        {10, 10, 10000.0 / 30, "VideoCapX1.Seek(334.333)"},
        {500, 300, 10000, "VideoCapX1.Seek(10001)"},
        {300, 300, 10000, "VideoCapX1.Seek(10001)"},
        {0, 0, 0, "VideoCapX1.Seek(1)"},
        {-5, -5, -5 * 1000.0 / 30, "VideoCapX1.Seek(-165.667)"},  // below 0 is not clamped
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.asked);
        Playback p;
        p.open();
        int32_t frame = k.asked;
        p.c().TVN_SetFrame(frame);
        EXPECT_EQ(frame, k.clamped);
        EXPECT_EQ(p.c().TVN_CurrentFrame, k.clamped);
        EXPECT_DOUBLE_EQ(p.c().TVN_CurrentPos, k.pos);
        // No tracking and no clock: no redraw; SyncPositionViews asks the mixer.
        const QStringList expected = {"VideoCapX1.Pause()", k.seek, "VideoMixerX1.Visible"};
        EXPECT_EQ(p.h.log.entries(), expected);
    }
}

TEST(PlaybackTransport, SetPosSeeksPlusOneMsAndDoesNotClamp) {
    struct Case {
        double pos;
        int32_t frame;
        QString seek;
    };
    const Case cases[] = {
        {1000.0, 30, "VideoCapX1.Seek(1001)"},
        {20000.0, 600, "VideoCapX1.Seek(20001)"},
        {50.0, 2, "VideoCapX1.Seek(51)"},  // 1.5 frames: half to even
        {83.3333333333, 2, "VideoCapX1.Seek(84.3333)"},  // 2.5 frames: half to even
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.pos);
        Playback p;
        p.open();
        double pos = k.pos;
        p.c().TVN_SetPos(pos);
        EXPECT_DOUBLE_EQ(p.c().TVN_CurrentPos, k.pos);
        EXPECT_EQ(p.c().TVN_CurrentFrame, k.frame);
        const QStringList expected = {"VideoCapX1.Pause()", k.seek, "VideoMixerX1.Visible"};
        EXPECT_EQ(p.h.log.entries(), expected);
    }
}

TEST(PlaybackTransport, StepOneFrameMovesOnUntilTheEnd) {
    Playback p;
    p.open();
    p.c().TVN_StepOneFrame();
    EXPECT_EQ(p.h.log.entries(), QStringList({"VideoCapX1.Pause()", "VideoCapX1.Seek(34.3333)", "VideoMixerX1.Visible"}));
    EXPECT_EQ(p.c().TVN_CurrentFrame, 1);
    EXPECT_DOUBLE_EQ(p.c().TVN_CurrentPos, 1000.0 / 30);

    // At the end only the engine is paused.
    double end = p.c().TVN_TotalLenMS;
    p.c().TVN_SetPos(end);
    p.h.log.clear();
    p.c().TVN_StepOneFrame();
    EXPECT_EQ(p.h.log.entries(), QStringList({"VideoCapX1.Pause()"}));
    EXPECT_EQ(p.c().TVN_CurrentFrame, 300);
    EXPECT_DOUBLE_EQ(p.c().TVN_CurrentPos, end);
}

TEST(PlaybackTransport, RedrawTestAfterEveryMove) {
    struct Case {
        int32_t tracking;
        bool clock;
        bool redraws;
    };
    const Case cases[] = {{0, false, false}, {1, false, true}, {-1, false, true}, {0, true, true}, {1, true, true}};
    using Move = std::function<void(Trelvan&)>;
    const std::pair<const char*, Move> moves[] = {
        {"SetFrame", [](Trelvan& c) { int32_t f = 10; c.TVN_SetFrame(f); }},
        {"SetPos", [](Trelvan& c) { double pos = 500; c.TVN_SetPos(pos); }},
        {"StepOneFrame", [](Trelvan& c) { c.TVN_StepOneFrame(); }},
    };
    for (const Case& k : cases) {
        for (const auto& [name, move] : moves) {
            SCOPED_TRACE(::testing::Message() << name << " tracking " << k.tracking << " clock " << k.clock);
            Playback p;
            p.open();
            p.c().TVN_TrackingActive = k.tracking;
            p.c().TVN_DisplayClock = k.clock;
            move(p.c());
            const QStringList& e = p.h.log.entries();
            ASSERT_GE(e.size(), 3);
            EXPECT_EQ(e.contains(kRedraw), k.redraws);
            // The redraw comes before the other position views follow.
            EXPECT_EQ(e.last(), "VideoMixerX1.Visible");
        }
    }
}

TEST(PlaybackTransport, MovesDoNothingWithoutAFrameLength) {
    Playback p;
    int32_t frame = 500;
    double pos = 1000;
    p.h.log.clear();
    p.c().TVN_SetFrame(frame);
    p.c().TVN_SetPos(pos);
    p.c().TVN_StepOneFrame();
    EXPECT_TRUE(p.h.log.entries().isEmpty()) << p.h.log.entries().join(", ").toStdString();
    EXPECT_EQ(frame, 500);
    EXPECT_EQ(p.c().TVN_CurrentFrame, 0);
    EXPECT_EQ(p.c().TVN_CurrentPos, 0);
}

TEST(PlaybackTransport, PositionQueries) {
    Playback p;
    // After close: 0 ms and frame -1, without asking the engine.
    p.c().TVN_Close();
    p.h.log.clear();
    EXPECT_EQ(p.c().TVN_GetPos(), 0);
    EXPECT_EQ(p.c().TVN_CurrentFrame, -1);
    EXPECT_TRUE(p.h.log.entries().isEmpty());
    // TVN_GetFrame without a frame length: position -1, the frame clamped to no frames.
    p.c().TVN_CurrentFrame = 7;
    EXPECT_EQ(p.c().TVN_GetFrame(), 0);
    EXPECT_EQ(p.c().TVN_CurrentPos, -1);

    p.open();
    p.h.engine1->position = 1234.5;
    EXPECT_DOUBLE_EQ(p.c().TVN_GetPosLive(), 1234.5);
    EXPECT_EQ(p.c().TVN_CurrentFrame, 37);
    EXPECT_EQ(p.h.log.entries(), QStringList({"VideoCapX1.GetPosition()"}));

    // TVN_GetFrame recomputes the position from the frame and clamps both.
    p.c().TVN_CurrentFrame = 500;
    EXPECT_EQ(p.c().TVN_GetFrame(), 300);
    EXPECT_DOUBLE_EQ(p.c().TVN_CurrentPos, p.c().TVN_TotalLenMS);
    p.c().TVN_CurrentFrame = 45;
    EXPECT_EQ(p.c().TVN_GetFrame(), 45);
    EXPECT_DOUBLE_EQ(p.c().TVN_CurrentPos, 1500);
    p.c().TVN_CurrentPos = 1000;
    EXPECT_EQ(p.c().TVN_GetPos(), 1000);
    EXPECT_EQ(p.c().TVN_CurrentFrame, 30);
}

TEST(PlaybackTransport, PauseReadsWholeMillisecondsFromTheEngine) {
    Playback p;
    p.open();
    p.h.engine1->position = 1000.6;
    p.c().TVN_Pause();
    EXPECT_EQ(p.h.log.entries(), QStringList({"VideoCapX1.Pause()", "VideoCapX1.GetPosition()"}));
    EXPECT_EQ(p.c().TVN_CurrentPos, 1001);
    EXPECT_EQ(p.c().TVN_CurrentFrame, 30);
}

TEST(PlaybackTransport, UpperCaseMovClipIsDrivenByTimer1) {
    Playback p;
    p.open("C:/clips/SWING.MOV");
    FakeTimer& timer1 = p.h.platform->timer(0);
    p.c().TVN_Play();
    EXPECT_EQ(p.h.log.entries(), QStringList({"VideoCapX1.Play()"}));
    EXPECT_TRUE(timer1.isEnabled());
    EXPECT_TRUE(timer1.fire());
    EXPECT_TRUE(timer1.fire());
    EXPECT_DOUBLE_EQ(p.c().TVN_CurrentPos, 1000);
    EXPECT_EQ(p.c().TVN_CurrentFrame, 30);
    EXPECT_EQ(p.h.log.entries().size(), 1);  // ticks neither redraw nor ask the engine

    p.h.log.clear();
    p.c().TVN_StepOneFrame();  // only stops the timer
    EXPECT_EQ(p.h.log.entries(), QStringList({"VideoCapX1.Pause()"}));
    EXPECT_FALSE(timer1.isEnabled());
    EXPECT_EQ(p.c().TVN_CurrentFrame, 30);

    // Pausing a timer-driven clip keeps the counted position.
    p.c().TVN_Play();
    p.h.log.clear();
    p.c().TVN_Pause();
    EXPECT_EQ(p.h.log.entries(), QStringList({"VideoCapX1.Pause()"}));
    EXPECT_FALSE(timer1.isEnabled());
    EXPECT_EQ(p.c().TVN_CurrentFrame, 30);

    // Jumps stop the timer too, and still move.
    p.c().TVN_Play();
    int32_t frame = 60;
    p.c().TVN_SetFrame(frame);
    EXPECT_FALSE(timer1.isEnabled());
    EXPECT_EQ(p.c().TVN_CurrentFrame, 60);
}

TEST(PlaybackTransport, Timer1StopsItselfForOtherClips) {
    Playback p;
    p.open("clip.mp4");
    FakeTimer& timer1 = p.h.platform->timer(0);
    p.c().TVN_Play();
    EXPECT_FALSE(timer1.isEnabled());
    timer1.setEnabled(true);
    EXPECT_TRUE(timer1.fire());
    EXPECT_FALSE(timer1.isEnabled());
    EXPECT_EQ(p.c().TVN_CurrentPos, 0);
}

TEST(PlaybackTransport, OverlayDrivesTheMixerSources) {
    Playback p;
    p.open();
    ControlState& s = p.h.probe().state();
    s.overlayActive = true;
    s.mainMixerSource = 1;
    s.overlayMixerSource = 2;
    p.c().TVN_Play();
    EXPECT_EQ(p.h.log.entries(), QStringList({"VideoMixerX1.PlaySource(1)", "VideoMixerX1.PlaySource(2)"}));
    p.h.log.clear();
    p.h.engine1->position = 500;
    // A failing mixer pause is ignored.
    p.h.mixer->failOn("PauseSource", kEngineFailure);
    EXPECT_NO_THROW(p.c().TVN_Pause());
    EXPECT_EQ(p.h.log.entries(), QStringList({"VideoCapX1.Pause()", "VideoCapX1.GetPosition()",
                                              "VideoMixerX1.PauseSource(1)", "VideoMixerX1.PauseSource(2)"}));
    EXPECT_EQ(p.c().TVN_CurrentFrame, 15);
}

TEST(PlaybackTransport, RateAndVolume) {
    Playback p;
    double rate = 0.25;
    int32_t volume = -300;  // no limits: the engine decides
    p.c().TVN_SetRate(rate);
    p.c().TVN_SetVolume(volume);
    EXPECT_EQ(p.h.log.entries().mid(p.h.log.entries().size() - 2),
              QStringList({"VideoCapX1.SetRate(0.25)", "VideoCapX1.SetVolume(-300)"}));
    EXPECT_EQ(p.c().TVN_PlayRate, 0.25);
    EXPECT_EQ(p.c().TVN_VolumeLevel, -300);
}

TEST(PlaybackTransport, FailuresArePrefixedIgnoredOrPassedAsDocumented) {
    using Call = std::function<void(Trelvan&)>;
    struct Case {
        const char* name;
        const char* failing;
        Call call;
        QString source;  // "" : no failure reaches the caller
    };
    const Case cases[] = {
        {"Play", "Play", [](Trelvan& c) { c.TVN_Play(); }, "(TVN_Play)->VideoCapX"},
        {"Pause", "GetPosition", [](Trelvan& c) { c.TVN_Pause(); }, "(TVN_Pause)->VideoCapX"},
        {"Step", "Seek", [](Trelvan& c) { c.TVN_StepOneFrame(); }, "(TVN_StepOneFrame)->VideoCapX"},
        {"GetPosLive", "GetPosition", [](Trelvan& c) { c.TVN_GetPosLive(); }, "(TVN_GetPosLive)->VideoCapX"},
        {"SetRate", "SetRate", [](Trelvan& c) { double r = 2; c.TVN_SetRate(r); }, "(TVN_SetRate)->VideoCapX"},
        {"SetVolume", "SetVolume", [](Trelvan& c) { int32_t v = 2; c.TVN_SetVolume(v); }, "(TVN_SetVolume)->VideoCapX"},
        {"SetFrame", "Seek", [](Trelvan& c) { int32_t f = 10; c.TVN_SetFrame(f); }, ""},
        {"SetFrame pause", "Pause", [](Trelvan& c) { int32_t f = 10; c.TVN_SetFrame(f); }, ""},
        {"SetPos", "Seek", [](Trelvan& c) { double pos = 1000; c.TVN_SetPos(pos); }, ""},
        {"SetPos pause", "Pause", [](Trelvan& c) { double pos = 1000; c.TVN_SetPos(pos); }, ""},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        Playback p;
        p.open();
        p.h.engine1->failOn(k.failing, kEngineFailure);
        QString source;
        try {
            k.call(p.c());
        } catch (const TvnError& e) {
            source = e.source();
            EXPECT_EQ(e.number(), kEngineFailure.number());
            EXPECT_EQ(e.description(), kEngineFailure.description());
        }
        EXPECT_EQ(source, k.source);
    }
    // Ignored failures skip only the failing step: the jump still moves and the views follow.
    Playback p;
    p.open();
    p.h.engine1->failOn("Pause", kEngineFailure);
    p.h.engine1->failOn("Seek", kEngineFailure);
    int32_t frame = 10;
    p.c().TVN_SetFrame(frame);
    EXPECT_EQ(p.c().TVN_CurrentFrame, 10);
    EXPECT_EQ(p.h.log.entries().last(), "VideoMixerX1.Visible");
    // A failed step does not move the position.
    p.c().TVN_CurrentPos = 0;
    p.c().TVN_CurrentFrame = 0;
    EXPECT_THROW(p.c().TVN_StepOneFrame(), TvnError);
    EXPECT_EQ(p.c().TVN_CurrentFrame, 0);
}

TEST(PlaybackTransport, FrameCounterOverflowOnStep) {
    Playback p;
    p.open();
    p.c().TVN_CurrentFrame = INT32_MAX;
    const auto e = errorFrom([&] { p.c().TVN_StepOneFrame(); });
    ASSERT_TRUE(e) << "no overflow";
    EXPECT_EQ(e->number(), err::Overflow);
    EXPECT_TRUE(e->source().startsWith("(TVN_StepOneFrame)->"));
}

// --- Notifications ---

TEST(PlaybackNotifications, EngineStateEndAndFullScreen) {
    Playback p;
    p.open();
    int ended = 0;
    int lost = 0;
    QObject::connect(&p.c(), &Trelvan::VideoEnd, &p.c(), [&] { ++ended; });
    QObject::connect(&p.c(), &Trelvan::FullScreenLost, &p.c(), [&] { ++lost; });
    emit p.h.engine1->StateChange(2);
    EXPECT_TRUE(p.c().TVN_IsPlaying);
    emit p.h.engine1->StateChange(1);
    EXPECT_FALSE(p.c().TVN_IsPlaying);
    emit p.h.engine1->StateChange(2);
    emit p.h.engine1->StateChange(0);
    EXPECT_FALSE(p.c().TVN_IsPlaying);
    emit p.h.engine1->PlaybackEnded();
    EXPECT_EQ(ended, 1);
    emit p.h.engine1->EngineFullScreenLost();
    EXPECT_EQ(lost, 1);
    p.h.platform->timer(1).setEnabled(true);
    emit p.h.engine1->Event1();
    EXPECT_FALSE(p.h.platform->timer(1).isEnabled());
    EXPECT_EQ(p.c().lastNotificationError(), nullptr);
    // TVN_Play and TVN_Pause leave TVN_IsPlaying to the engine.
    p.c().TVN_Play();
    EXPECT_FALSE(p.c().TVN_IsPlaying);
}

TEST(PlaybackNotifications, TypedKeyGoesToHostThenToTheTextAsTheHostLeftIt) {
    struct Case {
        QString tool;
        bool typing;
        int16_t engineKey, hostKey;
        QString text;  // the note's text afterwards
        bool stillTyping;
    };
    const Case cases[] = {
        {"text", true, 99, 67, "ABC_", true},   // the host turned 'c' into 'C'
        {"text", true, 67, 8, "A_", true},      // ... or into backspace
        {"text", true, 67, 13, "AB", false},    // ... or into Enter
        {"text", true, 67, 67, "ABC_", true},
        {"text", false, 67, 67, "AB_", false},  // not typing: the note stays
        {"line", true, 67, 67, "AB_", true},    // another tool: the note stays
        {"Text", true, 67, 67, "AB_", true},    // tool names are matched exactly
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(::testing::Message() << k.tool.toStdString() << " " << k.engineKey << "->" << k.hostKey);
        Playback p;
        p.open();
        AnnotationStore& st = p.h.probe().store();
        st.textSlot = 1;
        st.textNotes[1].text = "AB_";
        st.textTyping = k.typing;
        p.c().TVN_drawingTool = k.tool;
        int16_t seen = 0;
        const int16_t hostKey = k.hostKey;
        QObject::connect(&p.c(), &Trelvan::KeyPress, &p.c(), [&seen, hostKey](int16_t& key) {
            seen = key;
            key = hostKey;
        });
        int16_t key = k.engineKey;
        emit p.h.engine1->EngineKeyPress(key);
        EXPECT_EQ(seen, k.engineKey);
        EXPECT_EQ(key, k.hostKey);  // the engine's variable carries the host's change
        EXPECT_EQ(st.textNotes[1].text, k.text);
        EXPECT_EQ(st.textTyping, k.stillTyping);
        EXPECT_EQ(p.c().lastNotificationError(), nullptr)
            << p.c().lastNotificationError()->source().toStdString();
    }
}

}  // namespace
