// The control on fakes: initialisation and close, opening a clip, the transport,
// frame export, layout, the film strip and the second-clip overlay. Checks are
// on the state the fakes end in, the control's properties and its pictures.
#include "control/TrelvanListener.h"
#include "fakes/ControlHarness.h"

#include <gtest/gtest.h>
#include <cmath>

using namespace tvn;
using namespace tvn::testing;

inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace {

const TvnError kFailure(-2147219000, "engine refused", "VideoCapX");
constexpr QRgb kThumb = 0xff2040c0;

// A control of 320 x 240 pixels in raw player mode with a 300-frame, 10 s clip open.
struct Clip {
    explicit Clip(int width = 320, int height = 240, double frames = 300, int32_t ms = 10000) {
        h.c().resize(width, height);
        h.c().TVN_RawPlayerMode = true;
        h.openClip("clip.avi", frames, ms);
        h.engine1->currentPicture = Picture(solid(32, 24, kThumb));
    }
    Trelvan& c() { return h.c(); }
    ControlState& state() { return h.probe().state(); }
    Surface& strip() { return h.probe().picture(5); }
    QRgb stripPixel(int x, int y) { return strip().image().pixel(x, y) | 0xff000000u; }
    void setFrame(int32_t n) { c().TVN_SetFrame(n); }
    // The second clip over the first: mixer sources 1 (main) and 2 (second).
    void overlay(const QString& second = "second.mp4") {
        h.mixer->sourceDuration = 2000;
        h.mixer->sourceFrameCount = 50;
        QString name = second;
        c().TVN_Overlay(name);
    }
    ControlHarness h;
};

TEST(Control, CloseResetsTheClipOnlyAndAnEmptyNameOpensNothing) {
    Clip k;
    Trelvan& c = k.c();
    c.TVN_IsPlaying = c.TVN_DisplayClock = true;
    c.TVN_TrackingActive = 1;
    c.TVN_VolumeLevel = 40;
    c.TVN_drawingColor = 0xFF0000;
    c.TVN_FlipVideo(5);  // any value but 0 mirrors
    k.h.probe().store().Lines[0].Visible = true;
    ASSERT_TRUE(k.state().clipPicture.videoFlipped);
    c.TVN_Close();
    EXPECT_EQ(k.h.engine1->stops, 2);  // the open closed too
    EXPECT_EQ(std::tuple(c.TVN_videoFileName, c.TVN_TotalLenMS + c.TVN_CurrentPos, c.TVN_NumFrames + c.TVN_VideoWidth),
              std::tuple("", 0, 0));
    EXPECT_FALSE(c.TVN_IsPlaying || c.TVN_DisplayClock || k.state().clipPicture.videoFlipped || c.TVN_TrackingActive);
    // The engine keeps its mirror setting; drawings and settings stay.
    EXPECT_EQ(std::tuple(k.h.engine1->BasicVideoEngine::FlipMode(), bool(k.h.probe().store().Lines[0].Visible),
                         c.TVN_drawingColor, c.TVN_VolumeLevel),
              std::tuple(101, true, 0xFF0000, 40));
    QString empty;  // the engine still reports a clip: an empty name must not measure it
    EXPECT_EQ(std::tuple(c.TVN_OpenFile(empty), c.TVN_NumFrames, c.TVN_FrameLenMS), std::tuple(0, 0, 0.0));
    c.TVN_FlipVideo(0);
    EXPECT_EQ(k.h.engine1->BasicVideoEngine::FlipMode(), 0);
}

TEST(Control, OpeningOrClosingEndsAnOverlayAndCloseReturnsAMixerFailureUnchanged) {
    Clip k;
    k.overlay();
    k.h.openClip("third.avi", 300, 10000);
    EXPECT_EQ(std::tuple(bool(k.h.mixer->sources.isEmpty()), bool(k.state().overlaySources.overlayActive), k.state().overlaySources.mainMixerSource),
              std::tuple(true, false, -1));
    EXPECT_EQ(std::tuple(bool(k.h.engine1->Display()->isHidden()), bool(k.h.mixer->Display()->isHidden()),
                         k.h.engine1->openedClip),
              std::tuple(false, true, "third.avi"));
    k.overlay();
    k.h.mixer->failOn("StopAll", kFailure);
    const auto e = errorFrom([&] { k.c().TVN_Close(); });
    EXPECT_EQ(e ? e->source() : "no failure", kFailure.source());  // no handler, no prefix
}

TEST(Control, EraseAllEmptiesTheStoreButKeepsTrailAndTarget) {
    ControlHarness h;
    AnnotationStore& st = h.probe().store();
    const int last = AnnotationStore::kPoolSize - 1;
    st.historyPos = 5;
    st.Lines[last] = LineObject{1, 2, 3, 4, 0xFF, true};
    st.Shape1[last] = ShapeObject{ShapeObject::Oval, 1, 2, 10, 10, 0xFF, true};
    st.angleNotes[last].shown = st.Angle1.Visible = st.lightMouseShown = true;
    st.textNotes[last].text = "note";
    h.c().TVN_AngleText = "45°";
    st.nextLineSlot = st.textSlot = st.circlineShape = 3;
    st.targetX = 11;
    st.trackTrail.append(KiteTail{1, 2, 3, 4, 5});
    h.probe().picture(2).setSize(150, 150);
    h.probe().picture(2).line(0, 0, 150, 150, 0);
    h.c().TVN_EraseAll();
    EXPECT_FALSE(st.Lines[last].Visible || st.Shape1[last].Visible || st.angleNotes[last].shown || st.Angle1.Visible ||
                 st.lightMouseShown);
    EXPECT_EQ(std::tuple(st.Lines[last].X2, st.Lines[last].BorderColor, st.Shape1[last].Width), std::tuple(0, 0xFF, 0));
    EXPECT_EQ(std::tuple(st.textNotes[last].text, h.c().TVN_AngleText, st.historyPos), std::tuple("", "", 0));
    EXPECT_EQ(std::tuple(st.nextLineSlot + st.textSlot, st.circlineShape), std::tuple(0, -1));
    EXPECT_EQ(std::tuple(st.targetX, st.trackTrail.size()), std::tuple(11, 1));
    EXPECT_EQ(h.probe().picture(2).image().pixel(5, 5) & 0xFFFFFF, 0xFFFFFFu);  // free-hand layer white again
}

// A typed key goes to the event handlers, then the listener, then into the text being typed.
TEST(Control, EventHandlersChangeByReferenceArgumentsBeforeTheListenerAndTheText) {
    struct Listener : TrelvanListener {
        int16_t seen = 0;
        void KeyPress(int16_t& key) override { seen = key; key = 66; }
    } listener;
    ControlHarness h;
    AnnotationStore& st = h.probe().store();
    st.textNotes[st.textSlot].text = "A_";
    st.textTyping = true;
    h.c().TVN_drawingTool = "text";
    h.c().setListener(&listener);
    QObject::connect(&h.c(), &Trelvan::KeyPress, [](int16_t& key) { key = 65; });
    int16_t key = 97;
    emit h.engine1->EngineKeyPress(key);
    EXPECT_EQ(std::tuple(listener.seen, key, st.textNotes[st.textSlot].text), std::tuple(65, 66, "AB_"));
}

// --- Opening a clip ---

TEST(PlaybackOpen, SetsUpTheEngineFromThePropertiesMeasuresAndLayout) {
    struct Case { bool raw, deinterlace; int32_t option43, deint; };
    for (const Case& k : {Case{true, false, 0, 0}, Case{false, true, 1, 1}}) {
        ControlHarness h;
        h.c().resize(320, 240);
        h.c().TVN_RawPlayerMode = k.raw;
        h.c().TVN_DoDeinterlace = k.deinterlace;
        int32_t volume = 40;
        h.c().TVN_SetVolume(volume);
        EXPECT_EQ(h.openClip("clip.avi", 300, 10000), 300);
        FakeVideoEngine& e = *h.engine1;
        EXPECT_EQ(std::tuple(e.openedClip, e.volume, e.BasicVideoEngine::Option43(), e.Deinterlace()),
                  std::tuple("clip.avi", 40, k.option43, k.deint));
        // Paused on the first frame; outside raw player mode the open draws the annotations, which
        // refreshes the paused picture one ms in.
        EXPECT_EQ(std::tuple(e.lastSeek, e.pauses, e.overlaysSet > 0), std::tuple(k.raw ? 0.0 : 1.0, 1, !k.raw));
        EXPECT_EQ(std::tuple(h.probe().state().clipPicture.videoWidthTwips, h.probe().state().clipPicture.videoHeightTwips, h.mixer->Width()),
                  std::tuple(4800, 3600, 4800));
        EXPECT_EQ(std::tuple(h.probe().picture(2).width(), h.probe().picture(1).height()), std::tuple(4800.0, 3600.0));
    }
}

TEST(PlaybackOpen, FrameMeasuresFromEngineCounts) {
    struct Case { double frames; int32_t ms, numFrames; double frameLen; };
    const Case cases[] = {
        {50000, 10000, 300, 1000.0 / 30},  // more frames than ms
        {10000, 10000, 10000, 1.0},        {299.5, 10000, 300, 10000 / 299.5},  // halves to even
        {300.5, 10000, 300, 10000 / 300.5}, {300, 0, 0, 0}, {-5, 10000, 0, 0},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(::testing::Message() << k.frames << " frames, " << k.ms << " ms");
        Clip p(320, 240, k.frames, k.ms);
        EXPECT_EQ(p.c().TVN_NumFrames, k.numFrames);
        EXPECT_DOUBLE_EQ(p.c().TVN_FrameLenMS, k.frameLen);
        EXPECT_DOUBLE_EQ(p.c().TVN_TotalLenMS, k.numFrames * k.frameLen);
        EXPECT_EQ(p.c().TVN_videoFileName, "clip.avi");  // open whatever the counts were
    }
}

TEST(PlaybackOpen, SixteenBitSizeLimitsFailAfterTheEngineOpened) {
    // 2185 pixels are 32775 twips, more than 16 bits hold; 2184 are 32760.
    for (int32_t width : {2185, 2184}) {
        ControlHarness h;
        const auto e = errorFrom([&] { h.openClip("wide.avi", 300, 10000, width, 240); });
        EXPECT_EQ(std::tuple(e ? e->number() : 0, e ? e->source().left(16) : "", h.engine1->openedClip,
                             h.c().TVN_NumFrames),
                  width == 2185 ? std::tuple(err::Overflow, QString("(TVN_OpenFile)->"), "wide.avi", 300)
                                : std::tuple(0, QString(), "wide.avi", 300));
        if (width == 2184) EXPECT_EQ(h.probe().state().clipPicture.videoWidthTwips, 2184 * 15);
    }
}

// --- Transport ---

// A jump lands on the clip (frames 0 to 300, 0 to 10000 ms): what the host
// reads is what the engine was sent to. The caller's frame variable is clamped
// above only; a time that is no time moves nothing.
TEST(PlaybackTransport, JumpsSeekOneMsIntoTheFrameAndLandOnTheClip) {
    struct Case { const char* name; double arg; int32_t frame; double pos, seek; double argAfter; };
    const double f = 1000.0 / 30;
    const double nan = std::nan(""), inf = HUGE_VAL;
    const Case frames[] = {
        {"frame 10", 10, 10, 10 * f, 10 * f + 1, 10},
        {"frame 500 clamps", 500, 300, 10000, 10001, 300},
        {"frame 0", 0, 0, 0, 1, 0},
        {"frame -5", -5, 0, 0, 1, -5},
        {"frame most negative", -2147483648.0, 0, 0, 1, -2147483648.0},
    };
    const Case positions[] = {
        {"pos 20000", 20000, 300, 10000, 10001, 20000},
        {"pos -500", -500, 0, 0, 1, -500},
        {"pos of 1.5 frames", 50, 2, 50, 51, 50},  // half to even
        {"pos of 2.5 frames", 2.5 * f, 2, 2.5 * f, 2.5 * f + 1, 2.5 * f},
        {"pos NaN", nan, -1, -1, -1, nan},  // -1: nothing moved
        {"pos inf", inf, -1, -1, -1, inf},
        {"pos -inf", -inf, -1, -1, -1, -inf},
    };
    const auto check = [](const Case& k, bool isFrame) {
        SCOPED_TRACE(k.name);
        Clip p;
        double start = 123;
        p.c().TVN_SetPos(start);  // frame 4
        const int pauses = p.h.engine1->pauses;
        double after = 0;
        if (isFrame) {
            int32_t n = int32_t(k.arg);
            p.c().TVN_SetFrame(n);
            after = n;
        } else {
            double pos = k.arg;
            p.c().TVN_SetPos(pos);
            after = pos;
        }
        const bool moves = k.frame >= 0;
        EXPECT_EQ(p.c().TVN_CurrentFrame, moves ? k.frame : 4);
        EXPECT_DOUBLE_EQ(p.c().TVN_CurrentPos, moves ? k.pos : 123);
        EXPECT_DOUBLE_EQ(*p.h.engine1->lastSeek, moves ? k.seek : 124);
        EXPECT_EQ(p.h.engine1->pauses, pauses + (moves ? 1 : 0));
        if (std::isnan(k.argAfter)) EXPECT_TRUE(std::isnan(after));
        else EXPECT_EQ(after, k.argAfter);  // the caller's variable
        // Stepping goes on from there, except at the end.
        const int32_t shown = p.c().TVN_CurrentFrame;
        p.c().TVN_StepOneFrame();
        EXPECT_EQ(p.c().TVN_CurrentFrame, shown == 300 ? 300 : shown + 1);
    };
    for (const Case& k : frames) check(k, true);
    for (const Case& k : positions) check(k, false);
    Clip p;
    p.c().TVN_StepOneFrame();
    EXPECT_EQ(std::tuple(p.c().TVN_CurrentFrame, *p.h.engine1->lastSeek), std::tuple(1, f + 1));
}

// A drag on a host's slider: the engine shows its cheap picture near the frame,
// and that picture's frame becomes the position; no exact seek is asked.
TEST(PlaybackTransport, AScrubShowsTheEnginesCheapPictureAndMakesItThePosition) {
    struct Case { int32_t asked; double keyEveryFrames; double scrub; int32_t shown; };
    const double f = 1000.0 / 30;
    const Case cases[] = {
        {37, 0, 37 * f + 1, 37}, {37, 10, 37 * f + 1, 30}, {500, 0, 299 * f + 1, 299}, {-3, 0, 1, 0}};
    for (const Case& k : cases) {
        SCOPED_TRACE(::testing::Message() << "frame " << k.asked << " key every " << k.keyEveryFrames);
        Clip p;
        p.h.engine1->keyframeEveryMs = k.keyEveryFrames * f;
        const int pauses = p.h.engine1->pauses, seeks = p.h.engine1->seeks;
        EXPECT_EQ(p.c().scrubToFrame(k.asked), k.shown);
        EXPECT_EQ(p.c().TVN_CurrentFrame, k.shown);
        EXPECT_NEAR(p.c().TVN_CurrentPos, k.shown * f, 1e-9);
        EXPECT_DOUBLE_EQ(*p.h.engine1->lastScrub, k.scrub);
        EXPECT_EQ(std::tuple(p.h.engine1->pauses, p.h.engine1->seeks), std::tuple(pauses + 1, seeks));
    }
}

TEST(PlaybackTransport, StepAtTheEndOnlyPauses) {
    Clip p;
    double end = p.c().TVN_TotalLenMS;
    p.c().TVN_SetPos(end);
    p.c().TVN_StepOneFrame();
    EXPECT_EQ(std::tuple(*p.h.engine1->lastSeek, p.c().TVN_CurrentFrame), std::tuple(end + 1, 300));
}

TEST(PlaybackTransport, MovesRedrawOnlyWithTrackingOrTheClock) {
    struct Case { int32_t tracking; bool clock, redraws; };
    const Case cases[] = {{0, false, false}, {1, false, true}, {-1, false, true}, {0, true, true}};
    for (const Case& k : cases) {
        SCOPED_TRACE(::testing::Message() << "tracking " << k.tracking << " clock " << k.clock);
        Clip p;
        p.c().TVN_RawPlayerMode = false;
        p.h.openClip("clip.avi", 300, 10000);  // annotation mode: a redraw hands the engine a bitmap
        p.c().TVN_TrackingActive = k.tracking;
        p.c().TVN_DisplayClock = k.clock;
        const int before = p.h.engine1->overlaysSet;
        int32_t frame = 10;
        p.c().TVN_SetFrame(frame);
        double pos = 500;
        p.c().TVN_SetPos(pos);
        p.c().TVN_StepOneFrame();
        EXPECT_EQ(p.h.engine1->overlaysSet - before, k.redraws ? 3 : 0);
    }
}

TEST(PlaybackTransport, PositionQueriesAndNothingMovesWithoutAFrameLength) {
    Clip p;
    p.c().TVN_Close();
    EXPECT_EQ(std::tuple(p.c().TVN_GetPos(), p.c().TVN_CurrentFrame), std::tuple(0, -1));
    p.c().TVN_CurrentFrame = 7;  // no frame length: position -1, the frame clamped to no frames
    EXPECT_EQ(std::tuple(p.c().TVN_GetFrame(), p.c().TVN_CurrentPos), std::tuple(0, -1));
    const auto moved = [&] {
        return std::tuple(p.h.engine1->seeks + p.h.engine1->pauses, p.c().TVN_CurrentFrame, p.c().TVN_CurrentPos);
    };
    const auto before = moved();
    int32_t frame = 500;
    double pos = 1000;
    p.c().TVN_SetFrame(frame);
    p.c().TVN_SetPos(pos);
    p.c().TVN_StepOneFrame();
    EXPECT_EQ(std::tuple(moved(), frame), std::tuple(before, 500));  // not clamped either

    p.h.openClip("clip.avi", 300, 10000);
    p.h.engine1->position = 1234.5;
    EXPECT_EQ(std::tuple(p.c().TVN_GetPosLive(), p.c().TVN_CurrentFrame), std::tuple(1234.5, 37));
    p.c().TVN_CurrentFrame = 45;
    EXPECT_EQ(std::tuple(p.c().TVN_GetFrame(), p.c().TVN_CurrentPos), std::tuple(45, 1500));
    p.c().TVN_CurrentPos = 1000;
    EXPECT_EQ(std::tuple(p.c().TVN_GetPos(), p.c().TVN_CurrentFrame), std::tuple(1000, 30));
    p.h.engine1->position = 1000.6;  // a pause reads whole milliseconds
    p.c().TVN_Pause();
    EXPECT_EQ(std::tuple(p.c().TVN_CurrentPos, p.c().TVN_CurrentFrame), std::tuple(1001, 30));
}

TEST(PlaybackTransport, MovClipsAreCountedByTimer1) {
    Clip p;
    p.h.openClip("C:/clips/SWING.MOV", 300, 10000);
    FakeTimer& timer1 = p.h.platform->timer(0);
    const int plays = p.h.engine1->plays;
    p.c().TVN_Play();
    EXPECT_EQ(p.h.engine1->plays, plays + 1);
    timer1.fire();
    EXPECT_TRUE(timer1.fire());
    EXPECT_DOUBLE_EQ(p.c().TVN_CurrentPos, 1000);
    EXPECT_EQ(p.c().TVN_CurrentFrame, 30);
    const int seeks = p.h.engine1->seeks;
    p.c().TVN_StepOneFrame();  // only stops the timer
    EXPECT_EQ(std::tuple(bool(timer1.isEnabled()), p.h.engine1->seeks, p.c().TVN_CurrentFrame),
              std::tuple(false, seeks, 30));
    p.c().TVN_Play();
    p.c().TVN_Pause();  // keeps the counted position
    EXPECT_EQ(p.c().TVN_CurrentFrame, 30);

    p.h.openClip("clip.mp4", 300, 10000);
    p.c().TVN_Play();
    EXPECT_FALSE(timer1.isEnabled());  // other clips are timed by the engine
}

TEST(PlaybackTransport, RateAndVolumeGoToTheEngineAsGiven) {
    Clip p;
    double rate = 0.25;
    int32_t volume = -300;
    p.c().TVN_SetRate(rate);
    p.c().TVN_SetVolume(volume);
    EXPECT_EQ(std::tuple(p.h.engine1->rate, p.h.engine1->volume, p.c().TVN_PlayRate, p.c().TVN_VolumeLevel),
              std::tuple(0.25, -300, 0.25, -300));
}

TEST(PlaybackTransport, FailuresArePrefixedIgnoredOrHandedOn) {
    using Call = std::function<void(Trelvan&)>;
    struct Case {
        const char* failing;
        Call call;
        QString source;  // "": no failure reaches the caller
    };
    const Case cases[] = {
        {"OpenClip", [](Trelvan& c) { QString f = "bad.avi"; c.TVN_OpenFile(f); }, "(TVN_OpenFile)->VideoCapX"},
        {"GetPosition", [](Trelvan& c) { c.TVN_Pause(); }, "(TVN_Pause)->VideoCapX"},
        {"Seek", [](Trelvan& c) { c.TVN_StepOneFrame(); }, "(TVN_StepOneFrame)->VideoCapX"},
        {"SetRate", [](Trelvan& c) { double r = 2; c.TVN_SetRate(r); }, "(TVN_SetRate)->VideoCapX"},
        {"FullScreen", [](Trelvan& c) { c.TVN_FullScreen(); }, "(TVN_FullScreen)->VideoCapX"},
        {"GetFrameBitmap", [](Trelvan& c) { c.TVN_GetFrameAsBitmap(); }, "(TVN_GetFrameAsBitmap)->VideoCapX"},
        {"UploadFrame", [](Trelvan& c) { c.TVN_UploadFrame("s", "u", "p", "/", "f.jpg", 21, 75); }, "VideoCapX"},
        {"Option43", [](Trelvan& c) { c.TVN_FlipVideo(1); },
         "(TVN_FlipVideo)->(TVN_ReDraw)->(RedrawAnnotations)->VideoCapX"},
        {"Seek", [](Trelvan& c) { int32_t f = 10; c.TVN_SetFrame(f); }, ""},
        {"Pause", [](Trelvan& c) { double pos = 1000; c.TVN_SetPos(pos); }, ""},
        // Without an overlay the mixer knows no second source; adjusting does nothing.
        {"none", [](Trelvan& c) { c.TVN_FlipOverlay(true); }, "(TVN_FlipOverlay)->VideoMixer"},
        {"none", [](Trelvan& c) { c.TVN_SetOverlay2Pos(10); }, "(TVN_SetOverlay2Pos)->VideoMixer"},
        {"none", [](Trelvan& c) { c.TVN_SetOverlay2Frame(1); }, "(TVN_SetOverlay2Frame)->VideoMixer"},
        {"none", [](Trelvan& c) { c.TVN_AdjustOverlay(10, 20, 240, 320, 30); }, ""},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.source.toStdString() + " " + k.failing);
        Clip p;
        p.h.engine1->failOn(k.failing, kFailure);
        const auto e = errorFrom([&] { k.call(p.c()); });
        EXPECT_EQ(e ? e->source() : QString(), k.source);
    }
    Clip p;  // ignored failures skip only the failing step: the jump still moves
    p.h.engine1->failOn("Pause", kFailure);
    p.h.engine1->failOn("Seek", kFailure);
    p.setFrame(10);
    EXPECT_EQ(p.c().TVN_CurrentFrame, 10);
    EXPECT_THROW(p.c().TVN_StepOneFrame(), TvnError);
    EXPECT_EQ(p.c().TVN_CurrentFrame, 10);  // a failed step does not move
    p.h.engine1->clear();
    p.c().TVN_CurrentFrame = INT32_MAX;
    const auto e = errorFrom([&] { p.c().TVN_StepOneFrame(); });
    EXPECT_EQ(e ? e->number() : 0, err::Overflow);
}

TEST(PlaybackNotifications, EngineStateEndAndFullScreen) {
    Clip p;
    int ended = 0, lost = 0;
    QObject::connect(&p.c(), &Trelvan::VideoEnd, [&] { ++ended; });
    QObject::connect(&p.c(), &Trelvan::FullScreenLost, [&] { ++lost; });
    emit p.h.engine1->StateChange(2);
    const bool playing = p.c().TVN_IsPlaying;
    emit p.h.engine1->StateChange(1);
    emit p.h.engine1->PlaybackEnded();
    emit p.h.engine1->EngineFullScreenLost();
    p.h.platform->timer(1).setEnabled(true);
    emit p.h.engine1->Event1();  // stops Timer2
    EXPECT_EQ(std::tuple(playing, bool(p.c().TVN_IsPlaying), ended, lost, bool(p.h.platform->timer(1).isEnabled())),
              std::tuple(true, false, 1, 1, false));
}

// --- Frame export ---

TEST(PlaybackExport, JpegBitmapAndUploadComeFromTheEngine) {
    for (bool engineSays : {true, false}) {
        Clip e;
        e.h.engine1->saveJpegResult = e.h.engine1->uploadResult = engineSays;
        QString name = "/tmp/f.jpg", empty;
        int32_t quality = 150;
        EXPECT_EQ(e.c().TVN_SaveFrameJpg(name, quality), engineSays);
        e.c().clearNotificationError();
        EXPECT_FALSE(e.c().TVN_SaveFrameJpg(empty, quality));
        EXPECT_EQ(e.h.engine1->savedJpeg, name);  // an empty name never reaches the engine
        ASSERT_NE(e.c().lastNotificationError(), nullptr) << "False with no reason kept";
        EXPECT_EQ(e.c().lastNotificationError()->source(), "(TVN_SaveFrameJpg)->Trelvan");
        EXPECT_EQ(e.c().TVN_UploadFrame("ftp", "coach", "pw", "/up", "f.jpg", 21, 75), engineSays ? -1 : 0);
    }
}

TEST(PlaybackExport, FrameAsPictureComesFromWhatIsShown) {
    struct Case {
        const char* name;
        bool engineShown, mixerShown, engineFails;
        QRgb colour;  // 0: nothing
    };
    const QRgb engineColour = 0xff102030, mixerColour = 0xff405060;
    const Case cases[] = {{"display over mixer", true, true, false, engineColour},
                          {"overlay", false, true, false, mixerColour},
                          {"both hidden", false, false, false, 0},
                          {"engine fails", true, false, true, 0}};
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        Clip e;
        e.h.engine1->currentPicture = Picture(solid(8, 6, engineColour));
        e.h.mixer->mixedPicture = Picture(solid(8, 6, mixerColour));
        e.h.engine1->Display()->setVisible(k.engineShown);
        e.h.mixer->Display()->setVisible(k.mixerShown);
        if (k.engineFails) e.h.engine1->failOn("CurrentFramePicture", kFailure);
        Picture pic;
        EXPECT_NO_THROW(pic = e.c().TVN_GetFrameAsIPic());
        EXPECT_EQ(pic.isNothing() ? 0 : pic.image().pixel(0, 0), k.colour);
    }
}

// --- Layout and the film strip ---

TEST(Layout, ResizePlacesChildrenScalesThePointerAndRedraws) {
    Clip r(640, 120);  // a 320 x 240 clip
    FakeVideoEngine& e = *r.h.engine1;
    EXPECT_EQ(std::tuple(e.Width(), e.Height(), r.h.mixer->Height(), r.state().pointerScale.pointerScaleX, r.state().pointerScale.pointerScaleY),
              std::tuple(9600, 1800, 1800, 0.5, 2.0));
    ControlHarness none;  // no clip, no pointer scale
    none.c().resize(320, 240);
    none.probe().OnResize();
    EXPECT_EQ(std::tuple(none.engine1->Width(), none.engine1->Height(), none.probe().state().pointerScale.pointerScaleX,
                         none.probe().state().pointerScale.pointerScaleY),
              std::tuple(4800, 3600, 0.0, 0.0));
    r.c().TVN_RawPlayerMode = false;  // a collapsed control keeps its layout; outside raw player mode a resize redraws
    r.h.openClip("clip.avi", 300, 10000);
    const int overlays = e.overlaysSet;
    r.c().resize(0, 240);
    r.h.probe().OnResize();
    EXPECT_EQ(std::tuple(e.Width(), e.overlaysSet), std::tuple(9600, overlays));
    r.c().resize(400, 300);
    r.h.probe().OnResize();
    EXPECT_EQ(e.overlaysSet, overlays + 1);
    r.overlay();  // during an overlay the mixer follows the hidden display
    r.c().resize(480, 360);
    r.h.probe().OnResize();
    EXPECT_EQ(std::tuple(r.h.mixer->Width(), r.h.mixer->Height()), std::tuple(7200, 5400));
}

TEST(FilmStrip, StepsWithWaitsBehindBlockedInputAndReturnToTheStart) {
    Clip s;
    s.setFrame(10);
    QWidget* display = s.h.engine1->Display();
    QList<bool> enabledAtThumbnails;
    s.h.engine1->onFramePicture = [&] { enabledAtThumbnails << display->isEnabled(); };
    const uint32_t before = s.h.platform->now;
    s.c().TVN_ShowFilmStrip(true);
    EXPECT_EQ(s.h.platform->now - before, 900u);
    EXPECT_DOUBLE_EQ(*s.h.engine1->lastSeek, 10000.0 / 30 + 1);
    EXPECT_EQ(std::tuple(enabledAtThumbnails, bool(display->isEnabled())), std::tuple(QList<bool>(9, false), true));
}

TEST(FilmStrip, GridOnWidthsNotDivisibleByThree) {
    struct Case { int width; double twipsPerPixel; QList<QPoint> thumb, empty; };
    const Case cases[] = {
        {322, 15, {{321, 10}, {10, 239}, {321, 239}, {200, 200}}, {}},
        // One unit per pixel: x advances 0, 107, 214 (rounded each time); at 322 a fourth,
        // clipped thumbnail joins each row and the last row holds one only.
        {322, 1, {{321, 10}, {321, 100}, {50, 200}}, {{200, 200}, {321, 200}}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(::testing::Message() << k.width << " pixels, " << k.twipsPerPixel << " units per pixel");
        Clip s(k.width, 240);
        s.strip().setTwipsPerPixel(k.twipsPerPixel);
        s.c().TVN_ShowFilmStrip(true);
        for (QPoint p : k.thumb) EXPECT_EQ(s.stripPixel(p.x(), p.y()), kThumb) << p.x() << "," << p.y();
        for (QPoint p : k.empty) EXPECT_EQ(s.stripPixel(p.x(), p.y()), 0xffffffffu) << p.x() << "," << p.y();
    }
}

TEST(FilmStrip, FailuresInTheLoopLeaveThumbnailsOutAndStillReturn) {
    for (const char* failing : {"CurrentFramePicture", "Pause"}) {
        SCOPED_TRACE(failing);
        Clip s;
        s.setFrame(10);
        s.h.engine1->failOn(failing, kFailure);
        EXPECT_NO_THROW(s.c().TVN_ShowFilmStrip(true));
        EXPECT_EQ(std::tuple(s.c().TVN_CurrentFrame, s.stripPixel(160, 120), bool(s.h.engine1->Display()->isEnabled())),
                  std::tuple(10, QString(failing) == "Pause" ? kThumb : 0xffffffffu, true));
    }
}

TEST(FilmStrip, FollowsMovesWhileShownAndSwitchedOffIsHiddenAndEmpty) {
    Clip t;
    t.c().TVN_ShowFilmStrip(true);
    for (const auto& move : std::initializer_list<std::function<void()>>{
             [&] { t.c().TVN_StepOneFrame(); }, [&] { t.setFrame(5); }, [&] { double p = 1000; t.c().TVN_SetPos(p); },
             [&] { t.c().resize(480, 360); t.h.probe().OnResize(); }}) {
        t.h.engine1->framePictures = 0;
        move();
        EXPECT_EQ(t.h.engine1->framePictures, 9);
    }
    EXPECT_EQ(std::tuple(t.h.probe().filmStripPanel()->geometry(), t.stripPixel(479, 359)),
              std::tuple(QRect(0, 0, 480, 360), kThumb));
    t.c().TVN_ShowFilmStrip(false);
    EXPECT_EQ(std::tuple(bool(t.h.probe().filmStripPanel()->isHidden()), bool(t.strip().picture().isNothing()),
                         t.stripPixel(160, 120)),
              std::tuple(true, true, 0xffffffffu));
    t.setFrame(20);
    EXPECT_EQ(t.h.engine1->framePictures, 9);  // not drawn while hidden
}

// --- The second-clip overlay ---

TEST(Overlay, OpensBothSourcesPausedOverTheDisplayTheyFollowTheTransportAndTheNextReplacesThem) {
    Clip f;
    f.overlay();
    FakeVideoMixer& m = *f.h.mixer;
    EXPECT_EQ(std::tuple(bool(f.state().overlaySources.overlayActive), m.MixerSetting2()), std::tuple(true, 0));  // black background
    ASSERT_EQ(m.sources.keys(), QList<int32_t>({1, 2}));
    EXPECT_EQ(std::tuple(f.state().overlaySources.mainMixerSource, f.state().overlaySources.overlayMixerSource, m.sources[1].file, m.sources[2].file),
              std::tuple(1, 2, "clip.avi", "second.mp4"));
    EXPECT_EQ(std::tuple(bool(m.sources[1].playing || m.sources[2].playing), m.sources[2].alpha, m.sources[1].rect),
              std::tuple(false, 0.5f, QRectF(0, 0, 320, 240)));
    EXPECT_EQ(std::tuple(f.h.probe().overlay().overlayDuration(), bool(f.h.engine1->Display()->isHidden()),
                         bool(m.Display()->isHidden())),
              std::tuple(2000, true, false));
    EXPECT_EQ(QRectF(m.Left(), m.Top(), m.Width(), m.Height()), QRectF(0, 0, 4800, 3600));
    f.c().TVN_Play();
    EXPECT_TRUE(m.sources[1].playing && m.sources[2].playing);
    f.h.engine1->position = 500;
    f.c().TVN_Pause();
    EXPECT_EQ(std::tuple(bool(m.sources[1].playing || m.sources[2].playing), f.c().TVN_CurrentFrame),
              std::tuple(false, 15));
    f.setFrame(20);  // the main source follows the jump
    EXPECT_EQ(m.sources[1].seek, f.c().TVN_CurrentPos);
    m.failOn("PauseSource", kFailure);  // mixer failures are ignored
    m.failOn("SeekSource", kFailure);
    EXPECT_NO_THROW(f.c().TVN_Pause());
    f.setFrame(30);
    EXPECT_EQ(f.c().TVN_CurrentFrame, 30);
    m.clear();
    QList<bool> activeDuringEvents;
    f.h.platform->onProcessEvents = [&] { activeDuringEvents << f.state().overlaySources.overlayActive; };
    f.overlay("other.mp4");
    EXPECT_EQ(std::tuple(activeDuringEvents, m.sources.keys(), m.sources[4].file, bool(f.state().overlaySources.overlayActive)),
              std::tuple(QList<bool>({false, false}), QList<int32_t>({3, 4}), "other.mp4", true));
}

TEST(Overlay, WithoutAClipOrAFileNameItOnlyCloses) {
    for (bool noClip : {true, false}) {
        SCOPED_TRACE(noClip);
        Clip f;
        f.overlay();
        if (noClip) f.c().TVN_NumFrames = 0;
        f.overlay(noClip ? "other.mp4" : "");
        EXPECT_EQ(std::tuple(bool(f.h.mixer->sources.isEmpty()), bool(f.state().overlaySources.overlayActive),
                             bool(f.h.mixer->Display()->isHidden())),
                  std::tuple(true, false, true));
    }
}

TEST(Overlay, FailingSecondSourceLeavesTheOverlayActive) {
    Clip f;
    f.h.mixer->failOnCall("AddSource", 2, TvnError(-2147219501, "unknown source", "VideoMixerX"));
    const auto e = errorFrom([&] { f.overlay("broken.mp4"); });
    ASSERT_TRUE(e) << "no failure";
    EXPECT_EQ(std::tuple(e->description(), e->source(), bool(f.state().overlaySources.overlayActive), f.state().overlaySources.mainMixerSource),
              std::tuple("unknown source", "(TVN_Overlay)->VideoMixerX", true, 1));
    EXPECT_EQ(std::tuple(f.state().overlaySources.overlayMixerSource, bool(f.h.mixer->Display()->isHidden())), std::tuple(-1, false));
}

TEST(Overlay, MirrorAndDeinterlaceCarryOverAndFlipAndAdjustPlaceTheSources) {
    Clip f;
    f.c().TVN_FlipVideo(1);
    f.c().TVN_DoDeinterlace = true;
    f.overlay();
    EXPECT_EQ(std::tuple(f.h.mixer->sources[1].rect, f.h.mixer->sources[1].deinterlace, f.h.mixer->sources[2].deinterlace),
              std::tuple(QRectF(320, 0, -320, 240), -1, -1));
    f.c().TVN_FlipOverlay(true);
    EXPECT_EQ(f.h.mixer->sources[2].rect, QRectF(320, 0, -320, 240));
    f.c().TVN_FlipOverlay(false);
    EXPECT_EQ(f.h.mixer->sources[2].rect, QRectF(0, 0, 320, 240));
    f.c().TVN_Play();
    f.c().TVN_AdjustOverlay(10, 20, 240, 320, 30);
    EXPECT_EQ(f.h.mixer->sources[1].rect, QRectF(10, 20, 320, 240));
    EXPECT_EQ(f.h.mixer->sources[2].rect, QRectF(-10, -20, 320, 240));  // the second is held in place
    EXPECT_FLOAT_EQ(f.h.mixer->sources[2].alpha, 0.3f);
    EXPECT_FALSE(f.h.mixer->sources[1].playing || f.h.mixer->sources[2].playing);
    // Aligning the second clip alone: the main one stays whole, as mirrored as the display.
    f.c().TVN_FlipOverlay(true);
    f.c().placeSecondClip(30, 40, 160, 120, 60);
    EXPECT_EQ(std::tuple(f.h.mixer->sources[1].rect, f.h.mixer->sources[2].rect),
              std::tuple(QRectF(320, 0, -320, 240), QRectF(190, 40, -160, 120)));
    EXPECT_FLOAT_EQ(f.h.mixer->sources[2].alpha, 0.6f);
    f.h.mixer->failOn("SetSourceRect", kFailure);  // mixer failures are ignored
    f.h.mixer->failOn("PauseSource", kFailure);
    EXPECT_NO_THROW(f.c().TVN_AdjustOverlay(0, 0, 100, 100, 100));
    EXPECT_FLOAT_EQ(f.h.mixer->sources[2].alpha, 1.0f);
    EXPECT_NO_THROW(f.c().placeSecondClip(0, 0, 100, 100, 20));
    EXPECT_FLOAT_EQ(f.h.mixer->sources[2].alpha, 0.2f);
}

TEST(Overlay, SecondClipPositionAndFrame) {
    // The second clip is 2000 ms long in 50 frames; a position past either end is not sought.
    struct Case { bool byFrame; double value; std::optional<double> seek; };
    const Case cases[] = {{false, 2000, 2000}, {false, 2000.001, {}}, {false, -0.5, {}}, {false, std::nan(""), {}},
                          {true, 25, 1000},    {true, 50, 2000},     {true, 51, {}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << (c.byFrame ? "frame " : "position ") << c.value);
        Clip f;
        f.overlay();
        f.c().TVN_Play();
        if (c.byFrame)
            f.c().TVN_SetOverlay2Frame(static_cast<int32_t>(c.value));
        else
            f.c().TVN_SetOverlay2Pos(c.value);
        EXPECT_EQ(f.h.mixer->sources[2].seek, c.seek);
        EXPECT_EQ(f.h.mixer->sources[2].playing, !c.seek);  // a seek pauses the second clip
    }
    Clip f;
    f.overlay();
    f.h.mixer->sourceFrameCount = 0;
    const auto e = errorFrom([&] { f.c().TVN_SetOverlay2Frame(0); });
    EXPECT_EQ(std::tuple(e ? e->number() : 0, f.h.mixer->sources[2].seek), std::tuple(err::DivisionByZero, std::nullopt));
}

TEST(BitmapOverlay, HandsTheBitmapToTheEngineAndRefreshesWhenPaused) {
    int32_t handle = BitmapTable::instance().add(solid(8, 8, 0xffffffff));
    Clip f;
    Trelvan& c = f.c();
    c.TVN_TransparentColor = 0x00FF00;
    c.TVN_AlphaLevel = 128;
    c.TVN_CurrentPos = 400;
    const int seeks = f.h.engine1->seeks;
    c.TVN_SetBitmapOverlay(handle);
    const FakeVideoEngine::OverlayBitmap& o = f.h.engine1->overlays[0];
    EXPECT_EQ(std::tuple(c.TVN_OverlayImage, o.image, o.place),
              std::tuple(handle, BitmapTable::instance().image(handle), std::array{0, 0, 320, 240, 0x00FF00, 128}));
    EXPECT_EQ(std::tuple(f.h.engine1->seeks, *f.h.engine1->lastSeek), std::tuple(seeks + 1, 401.0));
    c.TVN_IsPlaying = true;  // playing, the next frame shows it
    c.TVN_SetBitmapOverlay(handle);
    EXPECT_EQ(f.h.engine1->seeks, seeks + 1);
    BitmapTable::instance().release(handle);
}

}  // namespace

TEST(FilmStrip, AtTheEndOfTheClipStepsStopAndThePositionReturns) {
    Clip s(320, 240, 250, 10000);  // 40 ms frames
    s.setFrame(247);
    const int seeks = s.h.engine1->seeks;
    s.c().TVN_ShowFilmStrip(true);
    EXPECT_EQ(s.h.engine1->framePictures, 9);
    EXPECT_EQ(s.h.engine1->seeks - seeks, 4);  // three steps to the end, then the return
    EXPECT_EQ(std::tuple(*s.h.engine1->lastSeek, s.c().TVN_CurrentFrame), std::tuple(9881, 247));
}

TEST(FilmStrip, BusyGuardStopsNestedDrawingAndAHostDisabledWidgetStaysDisabled) {
    Clip s;
    s.h.mixer->Display()->setEnabled(false);
    s.c().TVN_ShowFilmStrip(true);
    EXPECT_FALSE(s.h.mixer->Display()->isEnabled());
    int nested = 0;
    s.h.platform->onProcessEvents = [&] {  // a resize or a jump while the strip is drawn
        ++nested;
        s.h.probe().DrawFilmStrip();
        s.h.probe().SyncPositionViews();
    };
    s.h.engine1->framePictures = 0;
    s.h.probe().DrawFilmStrip();
    EXPECT_EQ(std::tuple(nested, s.h.engine1->framePictures), std::tuple(1, 9));
    s.h.platform->onProcessEvents = nullptr;
    s.h.probe().DrawFilmStrip();  // the guard is released afterwards
    EXPECT_EQ(s.h.engine1->framePictures, 18);
}

// A host slot that runs inside one of the control's nested event loops (the
// overlay set-up, the film strip, the gesture redraw tick) may delete the
// control; the operation then returns without touching it. Freed memory is
// scribbled over in this test program (MALLOC_PERTURB_, and ASan under
// scripts/fuzz), so a touch does not go unseen.
TEST(Control, AHostDeletingTheControlInsideANestedEventLoopIsSurvived) {
    struct Case {
        const char* name;
        std::function<void(Clip&)> before, run;
    };
    const auto none = [](Clip&) {};
    const Case cases[] = {
        {"overlay set-up", none, [](Clip& s) { s.overlay(); }},
        {"film strip shown", none, [](Clip& s) { s.c().TVN_ShowFilmStrip(true); }},
        {"frame jump with the strip shown", [](Clip& s) { s.c().TVN_ShowFilmStrip(true); },
         [](Clip& s) { s.setFrame(3); }},
        {"resize with the strip shown", [](Clip& s) { s.c().TVN_ShowFilmStrip(true); },
         [](Clip& s) { s.h.probe().OnResize(); }},
        {"gesture redraw tick",
         [](Clip& s) {
             s.h.engine1->SetOption43(1);
             s.h.platform->timer(1).setEnabled(true);
         },
         [](Clip& s) { s.h.platform->timer(1).fire(); }},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        Clip s;
        k.before(s);
        int deleted = 0;
        s.h.platform->onProcessEvents = [&] {
            if (s.h.control) ++deleted;
            s.h.control.reset();
        };
        k.run(s);
        EXPECT_EQ(std::tuple(deleted, bool(s.h.control)), std::tuple(1, false));
    }
}
