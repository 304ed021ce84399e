// The control side of the second-clip overlay and the bitmap overlay on
// recording fakes: the exact mixer and engine calls, the state left behind, and
// the failure prefixes.
#include "core/BitmapTable.h"
#include "fakes/ControlHarness.h"
#include "fakes/ErrorFrom.h"

#include <QImage>
#include <gtest/gtest.h>

using namespace tvn;
using namespace tvn::testing;

namespace {

const TvnError kMixerFailure(-2147219501, "unknown source", "VideoMixerX");

// A control with a clip "open" on a 320 x 240 pixel display (4800 x 3600 twips),
// and a mixer that reports a second clip of 2000 ms and 50 frames.
struct OverlayFixture {
    OverlayFixture() {
        h.c().TVN_videoFileName = "main.mp4";
        h.c().TVN_NumFrames = 100;
        h.engine1->width = 4800;
        h.engine1->height = 3600;
        h.mixer->sourceDuration = 2000;
        h.mixer->sourceFrameCount = 50;
        h.log.clear();
    }
    void open(const QString& second = "second.mp4") {
        QString name = second;
        h.c().TVN_Overlay(name);
    }
    ControlHarness h;
    ControlState& state() { return h.probe().state(); }
};

TEST(Overlay, OpensBothSourcesPausedOverTheDisplay) {
    OverlayFixture f;
    f.open();
    const QStringList expected = {
        "VideoMixerX1.Top = 0",
        "VideoMixerX1.Left = 0",
        "VideoCapX1.Width",
        "VideoMixerX1.Width = 4800",
        "VideoCapX1.Height",
        "VideoMixerX1.Height = 3600",
        "VideoCapX1.Visible = False",
        "VideoMixerX1.Visible = True",
        "DoEvents",
        "VideoMixerX1.Call9()",
        "DoEvents",
        "VideoMixerX1.MixerSetting2 = 0",
        "VideoMixerX1.AddSource(\"main.mp4\", 0)",
        "VideoMixerX1.AddSource(\"second.mp4\", 0)",
        "VideoMixerX1.Call11()",
        "VideoMixerX1.GetSourceSize(1)",
        "VideoMixerX1.GetSourceSize(2)",
        "VideoMixerX1.GetSourceDuration(2)",
        "VideoMixerX1.PlaySource(1)",
        "VideoMixerX1.PlaySource(2)",
        "VideoMixerX1.SetSourceDeinterlace(2, 0)",
        "VideoMixerX1.SetSourceDeinterlace(1, 0)",
        "VideoMixerX1.PauseSource(1)",
        "VideoMixerX1.PauseSource(2)",
        "VideoMixerX1.SetSourceAlpha(2, 0.5)",
        "VideoCapX1.Width",
        "VideoCapX1.Height",
        "VideoMixerX1.SetSourceRect(1, 0, 0, 320, 240)",
    };
    EXPECT_EQ(f.h.log.entries(), expected);
    EXPECT_TRUE(f.state().overlayActive);
    EXPECT_EQ(f.state().mainMixerSource, 1);
    EXPECT_EQ(f.state().overlayMixerSource, 2);
    EXPECT_EQ(f.h.probe().overlay().overlayDuration(), 2000);
    EXPECT_TRUE(f.h.engine1->Display()->isHidden());
    EXPECT_FALSE(f.h.mixer->Display()->isHidden());
}

TEST(Overlay, MirroredMainClipAndDeinterlaceCarryOver) {
    OverlayFixture f;
    f.state().videoFlipped = true;
    f.h.c().TVN_DoDeinterlace = true;
    f.open();
    EXPECT_EQ(f.h.log.withPrefix("VideoMixerX1.SetSourceRect"),
              QStringList{"VideoMixerX1.SetSourceRect(1, 320, 0, -320, 240)"});  // the second is not mirrored
    EXPECT_EQ(f.h.log.withPrefix("VideoMixerX1.SetSourceDeinterlace"),
              QStringList({"VideoMixerX1.SetSourceDeinterlace(2, -1)", "VideoMixerX1.SetSourceDeinterlace(1, -1)"}));
}

TEST(Overlay, WithoutAClipOrAFileNameItOnlyCloses) {
    struct Case {
        const char* name;
        QString clip;
        int32_t frames;
        QString second;
    };
    const Case cases[] = {{"no clip", "", 0, "second.mp4"},
                          {"no frames", "main.mp4", 0, "second.mp4"},
                          {"empty name", "main.mp4", 100, ""}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        OverlayFixture f;
        f.state().overlayActive = true;
        f.state().mainMixerSource = 5;
        f.state().overlayMixerSource = 6;
        f.h.c().TVN_videoFileName = c.clip;
        f.h.c().TVN_NumFrames = c.frames;
        f.open(c.second);
        EXPECT_EQ(f.h.log.entries(),
                  QStringList({"VideoMixerX1.RemoveSource(5)", "VideoMixerX1.RemoveSource(6)", "VideoMixerX1.StopAll()",
                               "VideoCapX1.Visible = True", "VideoMixerX1.Visible = False"}));
        EXPECT_FALSE(f.state().overlayActive);
        EXPECT_EQ(f.state().overlayMixerSource, -1);
    }
}

TEST(Overlay, ASecondOverlayRemovesTheOldSourcesFirst) {
    OverlayFixture f;
    f.open("first.mp4");
    f.h.log.clear();
    f.open("other.mp4");
    const QStringList& log = f.h.log.entries();
    ASSERT_GE(log.size(), 4);
    EXPECT_EQ(log.mid(0, 3), QStringList({"VideoMixerX1.RemoveSource(1)", "VideoMixerX1.RemoveSource(2)",
                                          "VideoMixerX1.StopAll()"}));
    EXPECT_LT(log.indexOf("VideoMixerX1.StopAll()"), log.indexOf("VideoMixerX1.AddSource(\"main.mp4\", 0)"));
    EXPECT_EQ(f.state().mainMixerSource, 3);
    EXPECT_EQ(f.state().overlayMixerSource, 4);
    EXPECT_TRUE(f.state().overlayActive);
}

TEST(Overlay, PendingEventsRunBeforeTheOverlayCountsAsActive) {
    OverlayFixture f;
    QList<bool> activeDuringEvents;
    f.h.platform->onProcessEvents = [&] { activeDuringEvents << f.state().overlayActive; };
    f.open();
    EXPECT_EQ(activeDuringEvents, QList<bool>({false, false}));
}

TEST(Overlay, FailingSecondSourceLeavesTheOverlayActive) {
    OverlayFixture f;
    f.h.mixer->failOnCall("AddSource", 2, kMixerFailure);
    const auto e = errorFrom([&] { f.open("broken.mp4"); });
    ASSERT_TRUE(e) << "no failure";
    EXPECT_EQ(e->number(), kMixerFailure.number());
    EXPECT_EQ(e->description(), "unknown source");
    EXPECT_EQ(e->source(), "(TVN_Overlay)->VideoMixerX");
    EXPECT_TRUE(f.state().overlayActive);
    EXPECT_EQ(f.state().mainMixerSource, 1);
    EXPECT_EQ(f.state().overlayMixerSource, -1);
    EXPECT_FALSE(f.h.mixer->Display()->isHidden());
    EXPECT_FALSE(f.h.log.contains("VideoMixerX1.Call11()"));
}

TEST(Overlay, FlipPlacesTheSecondSourceMirroredOrNot) {
    OverlayFixture f;
    f.open();
    f.h.log.clear();
    f.h.c().TVN_FlipOverlay(true);
    f.h.c().TVN_FlipOverlay(false);
    EXPECT_EQ(f.h.log.withPrefix("VideoMixerX1."),
              QStringList({"VideoMixerX1.SetSourceRect(2, 320, 0, -320, 240)",
                           "VideoMixerX1.SetSourceRect(2, 0, 0, 320, 240)"}));
}

TEST(Overlay, FlipWithoutOverlayFailsWithTheMixersError) {
    OverlayFixture f;
    f.h.mixer->failOn("SetSourceRect", kMixerFailure);
    const auto e = errorFrom([&] { f.h.c().TVN_FlipOverlay(true); });
    ASSERT_TRUE(e) << "no failure";
    EXPECT_EQ(e->source(), "(TVN_FlipOverlay)->VideoMixerX");
    EXPECT_TRUE(f.h.log.contains("VideoMixerX1.SetSourceRect(-1, 320, 0, -320, 240)"));
}

TEST(Overlay, AdjustMovesMainAndCountersTheSecond) {
    OverlayFixture f;
    f.open();
    f.h.log.clear();
    f.h.c().TVN_AdjustOverlay(10, 20, 240, 320, 30);
    EXPECT_EQ(f.h.log.entries(),
              QStringList({"VideoMixerX1.SetSourceRect(1, 10, 20, 320, 240)", "VideoCapX1.Width", "VideoCapX1.Height",
                           "VideoMixerX1.SetSourceRect(2, -10, -20, 320, 240)", "VideoMixerX1.SetSourceAlpha(2, 0.3)",
                           "VideoMixerX1.PauseSource(1)", "VideoMixerX1.PauseSource(2)"}));
}

TEST(Overlay, AdjustDoesNothingWithoutOverlayAndIgnoresMixerErrors) {
    OverlayFixture f;
    f.h.c().TVN_AdjustOverlay(10, 20, 240, 320, 30);
    EXPECT_TRUE(f.h.log.entries().isEmpty());

    f.open();
    f.h.mixer->failOn("SetSourceRect", kMixerFailure);
    f.h.mixer->failOn("PauseSource", kMixerFailure);
    f.h.log.clear();
    EXPECT_NO_THROW(f.h.c().TVN_AdjustOverlay(0, 0, 100, 100, 100));
    EXPECT_EQ(f.h.log.withPrefix("VideoMixerX1.Set"),
              QStringList({"VideoMixerX1.SetSourceRect(1, 0, 0, 100, 100)",
                           "VideoMixerX1.SetSourceRect(2, 0, 0, 320, 240)", "VideoMixerX1.SetSourceAlpha(2, 1)"}));
    EXPECT_EQ(f.h.log.count("VideoMixerX1.PauseSource(2)"), 1);
}

TEST(Overlay, SecondClipPositionAndFrame) {
    struct Case {
        const char* name;
        bool byFrame;
        double value;
        double duration;      // what the mixer reports now
        QStringList expected;  // mixer calls after the duration query
    };
    const Case cases[] = {
        {"position at the length", false, 2000, 2000,
         {"VideoMixerX1.SeekSource(2, 2000)", "VideoMixerX1.PauseSource(2)"}},
        {"position just above the length", false, 2000.001, 2000, {}},
        {"negative position", false, -0.5, 2000, {}},
        {"second clip of no length", false, 100, 0, {}},
        {"frame 0", true, 0, 2000,
         {"VideoMixerX1.GetSourceFrameCount(2)", "VideoMixerX1.SeekSource(2, 0)", "VideoMixerX1.PauseSource(2)"}},
        {"frame 25", true, 25, 2000,
         {"VideoMixerX1.GetSourceFrameCount(2)", "VideoMixerX1.SeekSource(2, 1000)", "VideoMixerX1.PauseSource(2)"}},
        {"last frame start", true, 50, 2000,
         {"VideoMixerX1.GetSourceFrameCount(2)", "VideoMixerX1.SeekSource(2, 2000)", "VideoMixerX1.PauseSource(2)"}},
        {"past the end", true, 51, 2000, {"VideoMixerX1.GetSourceFrameCount(2)"}},
        {"negative frame", true, -1, 2000, {"VideoMixerX1.GetSourceFrameCount(2)"}},
        {"frame of no length", true, 3, -1, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        OverlayFixture f;
        f.open();
        f.h.mixer->sourceDuration = c.duration;
        f.h.log.clear();
        if (c.byFrame)
            f.h.c().TVN_SetOverlay2Frame(static_cast<int32_t>(c.value));
        else
            f.h.c().TVN_SetOverlay2Pos(c.value);
        EXPECT_EQ(f.h.log.entries(), QStringList{"VideoMixerX1.GetSourceDuration(2)"} + c.expected);
    }
}

TEST(Overlay, FrameCountOfZeroFailsTheDivision) {
    OverlayFixture f;
    f.open();
    f.h.mixer->sourceFrameCount = 0;
    const auto e = errorFrom([&] { f.h.c().TVN_SetOverlay2Frame(0); });
    ASSERT_TRUE(e) << "no failure";
    EXPECT_EQ(e->number(), err::DivisionByZero);
    EXPECT_TRUE(e->source().startsWith("(TVN_SetOverlay2Frame)->"));
    EXPECT_TRUE(f.h.log.withPrefix("VideoMixerX1.SeekSource").isEmpty());
}

TEST(Overlay, PositionWithoutOverlayAsksTheMixerForSourceMinusOne) {
    OverlayFixture f;
    f.h.mixer->failOn("GetSourceDuration", kMixerFailure);
    const auto e = errorFrom([&] { f.h.c().TVN_SetOverlay2Pos(10); });
    ASSERT_TRUE(e) << "no failure";
    EXPECT_EQ(e->source(), "(TVN_SetOverlay2Pos)->VideoMixerX");
    EXPECT_EQ(f.h.log.entries(), QStringList{"VideoMixerX1.GetSourceDuration(-1)"});
}

TEST(BitmapOverlay, HandsTheBitmapToTheEngineAndRefreshesWhenPaused) {
    QImage image(8, 8, QImage::Format_RGB32);
    image.fill(Qt::white);
    const int32_t handle = BitmapTable::instance().add(image);
    for (bool playing : {false, true}) {
        SCOPED_TRACE(playing);
        OverlayFixture f;
        Trelvan& c = f.h.c();
        c.TVN_VideoWidth = 320;
        c.TVN_VideoHeight = 240;
        c.TVN_TransparentColor = 0x00FF00;
        c.TVN_AlphaLevel = 128;
        c.TVN_CurrentPos = 400;
        c.TVN_IsPlaying = playing;
        int32_t h = handle;
        c.TVN_SetBitmapOverlay(h);
        EXPECT_EQ(c.TVN_OverlayImage, handle);
        QStringList expected = {"VideoCapX1.SetOverlayBitmap(0, handle, 0, 0, 320, 240, 65280, 128)"};
        if (!playing) expected << "VideoCapX1.Seek(401)";
        EXPECT_EQ(f.h.log.entries(), expected);
    }
    BitmapTable::instance().release(handle);
}

TEST(BitmapOverlay, EngineFailureIsPrefixedAndTheHandleKept) {
    OverlayFixture f;
    f.h.engine1->failOn("Seek", kMixerFailure);
    int32_t handle = 77;
    const auto e = errorFrom([&] { f.h.c().TVN_SetBitmapOverlay(handle); });
    ASSERT_TRUE(e) << "no failure";
    EXPECT_EQ(e->source(), "(TVN_SetBitmapOverlay)->VideoMixerX");
    EXPECT_EQ(f.h.c().TVN_OverlayImage, 77);
}

}  // namespace
