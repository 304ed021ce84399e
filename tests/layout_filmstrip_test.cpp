// The resize handling, full screen and the film strip on recording fakes: the
// sizes and pointer factors left, the strip's frame steps with their waits,
// its grid on Picture5, the busy guard, blocked input and the return to the
// starting frame.
#include "fakes/ControlHarness.h"
#include "fakes/ErrorFrom.h"

#include <QEvent>
#include <gtest/gtest.h>

inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

using namespace tvn;
using namespace tvn::testing;

namespace {

const TvnError kEngineFailure(-2147219000, "engine refused", "VideoCapX");
constexpr QRgb kThumb = 0xff2040c0;
constexpr QRgb kBackground = 0xffffffff;

struct Strip {
    explicit Strip(int width = 320, int height = 240, double frames = 300, int32_t ms = 10000) {
        h.c().resize(width, height);
        h.c().TVN_RawPlayerMode = true;
        h.openClip("clip.avi", frames, ms, 320, 240);
        QImage frame(32, 24, QImage::Format_RGB32);
        frame.fill(kThumb);
        h.engine1->currentPicture = Picture(frame);
        h.log.clear();
    }
    Trelvan& c() { return h.c(); }
    Surface& surface() { return h.probe().picture(5); }
    QRgb pixel(int x, int y) { return surface().image().pixel(x, y) | 0xff000000u; }
    ControlHarness h;
};

// Records, for each change of a widget's enabled state, the log length at that moment.
class EnabledWatcher : public QObject {
public:
    EnabledWatcher(QWidget* w, const CallLog& log) : w_(w), log_(log) { w->installEventFilter(this); }
    bool eventFilter(QObject* o, QEvent* e) override {
        if (o == w_ && e->type() == QEvent::EnabledChange) changes.append({w_->isEnabled(), log_.entries().size()});
        return false;
    }
    QList<QPair<bool, qsizetype>> changes;

private:
    QWidget* w_;
    const CallLog& log_;
};

TEST(LayoutResize, PlacesChildrenAndScalesThePointer) {
    struct Case {
        const char* name;
        int clipW, clipH;  // 0: no clip opened
        int ctlW, ctlH;
        double scaleX, scaleY;
    };
    const Case cases[] = {
        {"640 clip in 320 control", 640, 480, 320, 240, 2.0, 2.0},
        {"same size", 320, 240, 320, 240, 1.0, 1.0},
        {"wider control", 320, 240, 640, 120, 0.5, 2.0},
        {"no clip yet", 0, 0, 320, 240, 0.0, 0.0},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        ControlHarness h;
        h.c().TVN_RawPlayerMode = true;
        if (k.clipW) h.openClip("clip.avi", 300, 10000, k.clipW, k.clipH);
        h.c().resize(k.ctlW, k.ctlH);
        h.log.clear();
        h.probe().OnResize();
        const QString w = QString::number(k.ctlW * 15), hh = QString::number(k.ctlH * 15);
        QStringList expected = {"VideoCapX1.Width = " + w, "VideoCapX1.Height = " + hh,
                                "VideoCapX1.Height",       "VideoMixerX1.Height = " + hh,
                                "VideoCapX1.Width",        "VideoMixerX1.Width = " + w,
                                "VideoCapX1.Option43"};  // the annotations are redrawn
        EXPECT_EQ(h.log.entries(), expected);
        EXPECT_DOUBLE_EQ(h.probe().state().pointerScaleX, k.scaleX);
        EXPECT_DOUBLE_EQ(h.probe().state().pointerScaleY, k.scaleY);
    }
}

TEST(LayoutResize, CollapsedControlKeepsItsLayout) {
    for (QSize collapsed : {QSize(0, 240), QSize(320, 0), QSize(0, 0)}) {
        ControlHarness h;
        h.c().TVN_RawPlayerMode = true;
        h.c().resize(320, 240);
        h.openClip("clip.avi", 300, 10000, 640, 480);
        h.c().resize(collapsed);
        h.log.clear();
        h.probe().OnResize();
        EXPECT_TRUE(h.log.entries().isEmpty());
        EXPECT_DOUBLE_EQ(h.probe().state().pointerScaleX, 2.0);
        EXPECT_DOUBLE_EQ(h.engine1->width, 4800);
        EXPECT_DOUBLE_EQ(h.mixer->width, 4800);
    }
}

TEST(LayoutResize, MixerFollowsTheHiddenDisplayDuringAnOverlay) {
    Strip s;
    s.h.probe().state().overlayActive = true;
    s.h.engine1->Display()->hide();
    s.h.mixer->Display()->show();
    s.c().resize(400, 300);
    s.h.probe().OnResize();
    EXPECT_DOUBLE_EQ(s.h.mixer->width, 6000);
    EXPECT_DOUBLE_EQ(s.h.mixer->height, 4500);
}

TEST(LayoutFullScreen, AsksTheEngineAndReportsLoss) {
    Strip s;
    s.c().TVN_FullScreen();
    EXPECT_EQ(s.h.log.entries(), QStringList({"VideoCapX1.FullScreen(1)"}));
    EXPECT_EQ(s.c().width(), 320);  // the control's own layout does not change
    s.h.engine1->failOn("FullScreen", kEngineFailure);
    const auto e = errorFrom([&] { s.c().TVN_FullScreen(); });
    ASSERT_TRUE(e) << "no error";
    EXPECT_EQ(e->source(), "(TVN_FullScreen)->VideoCapX");
}

TEST(FilmStrip, NineRealStepsWithWaitsThenBackToTheStart) {
    Strip s;
    int32_t frame = 10;
    s.c().TVN_SetFrame(frame);
    s.h.log.clear();
    EnabledWatcher display(s.h.engine1->Display(), s.h.log);
    s.c().TVN_ShowFilmStrip(true);

    QStringList expected = {"DoEvents"};
    for (int i = 0; i < 9; ++i) {
        const double seek = (10 + i + 1) * 1000.0 / 30 + 1.0;
        expected << "VideoCapX1.CurrentFramePicture()"
                 << "VideoCapX1.Pause()" << "VideoCapX1.Seek(" + QString::number(seek) + ")"
                 << "VideoMixerX1.Visible"  // the nested strip redraw returns at once
                 << "Sleep(100)";
    }
    expected << "VideoCapX1.Pause()" << "VideoCapX1.Seek(334.333)" << "VideoMixerX1.Visible";
    EXPECT_EQ(s.h.log.entries(), expected);
    EXPECT_EQ(s.c().TVN_CurrentFrame, 10);
    EXPECT_DOUBLE_EQ(s.c().TVN_CurrentPos, 10000.0 / 30);

    // Input was blocked from after the pending events ran until the position was back.
    ASSERT_EQ(display.changes.size(), 2);
    EXPECT_FALSE(display.changes[0].first);
    EXPECT_EQ(display.changes[0].second, 1);  // just after DoEvents
    EXPECT_TRUE(display.changes[1].first);
    EXPECT_EQ(display.changes[1].second, expected.size());
    EXPECT_TRUE(s.h.probe().filmStripPanel()->isEnabled());

    // The panel covers the control and the grid fills Picture5.
    EXPECT_FALSE(s.h.probe().filmStripPanel()->isHidden());
    EXPECT_EQ(s.h.probe().filmStripPanel()->geometry(), QRect(0, 0, 320, 240));
    EXPECT_EQ(s.surface().widthPixels(), 320);
    EXPECT_EQ(s.surface().heightPixels(), 240);
    for (QPoint p : {QPoint(0, 0), QPoint(160, 120), QPoint(319, 239), QPoint(319, 0), QPoint(0, 239)})
        EXPECT_EQ(s.pixel(p.x(), p.y()), kThumb) << p.x() << "," << p.y();
}

TEST(FilmStrip, GridCursorOnWidthsNotDivisibleByThree) {
    struct Case {
        int width;
        double twipsPerPixel;
        QList<QPoint> thumb, empty;  // pixels painted by a thumbnail / left as background
    };
    const Case cases[] = {
        // At 15 twips per pixel every width divides by 3: 320 and 322 pixels are clean 3 x 3 grids.
        {320, 15, {{319, 10}, {10, 239}, {319, 239}, {106, 79}, {107, 80}}, {}},
        {322, 15, {{321, 10}, {10, 239}, {321, 239}, {200, 200}}, {}},
        // One unit per pixel, 320: x advances 0, 107, 214 (106.67 rounded each time); the
        // third thumbnail ends past the edge and the next row starts at 321 >= 320.
        {320, 1, {{319, 10}, {10, 239}, {319, 239}}, {}},
        // 322: x advances 0, 107, 214, 321 and 321 < 322, so a fourth, clipped thumbnail
        // joins each row and the last row holds one thumbnail only.
        {322, 1, {{321, 10}, {321, 100}, {50, 200}}, {{200, 200}, {321, 200}}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(::testing::Message() << k.width << " pixels, " << k.twipsPerPixel << " units per pixel");
        Strip s(k.width, 240);
        s.surface().setTwipsPerPixel(k.twipsPerPixel);
        s.c().TVN_ShowFilmStrip(true);
        ASSERT_EQ(s.surface().widthPixels(), k.width);
        for (QPoint p : k.thumb) EXPECT_EQ(s.pixel(p.x(), p.y()), kThumb) << p.x() << "," << p.y();
        for (QPoint p : k.empty) EXPECT_EQ(s.pixel(p.x(), p.y()), kBackground) << p.x() << "," << p.y();
    }
}

TEST(FilmStrip, AtTheEndOfTheClipStepsStopAndThePositionReturns) {
    Strip s(320, 240, 250, 10000);  // 40 ms frames, exact in floating point
    int32_t frame = 247;
    s.c().TVN_SetFrame(frame);
    s.h.log.clear();
    s.c().TVN_ShowFilmStrip(true);
    EXPECT_EQ(s.h.log.count("VideoCapX1.CurrentFramePicture()"), 9);
    EXPECT_EQ(s.h.log.count("Sleep(100)"), 9);
    EXPECT_EQ(s.h.log.count("VideoCapX1.Pause()"), 10);  // nine steps and the return
    // Three real steps to the end, then the return.
    EXPECT_EQ(s.h.log.withPrefix("VideoCapX1.Seek"),
              QStringList({"VideoCapX1.Seek(9921)", "VideoCapX1.Seek(9961)", "VideoCapX1.Seek(10001)",
                           "VideoCapX1.Seek(9881)"}));
    EXPECT_EQ(s.c().TVN_CurrentFrame, 247);
    EXPECT_DOUBLE_EQ(s.c().TVN_CurrentPos, 9880);
}

TEST(FilmStrip, FailuresInTheLoopLeaveThumbnailsOutAndStillReturn) {
    Strip s;
    int32_t frame = 10;
    s.c().TVN_SetFrame(frame);
    s.h.engine1->failOn("CurrentFramePicture", kEngineFailure);
    s.h.log.clear();
    EXPECT_NO_THROW(s.c().TVN_ShowFilmStrip(true));
    EXPECT_EQ(s.h.log.count("VideoCapX1.CurrentFramePicture()"), 9);
    EXPECT_EQ(s.h.log.withPrefix("VideoCapX1.Seek").last(), "VideoCapX1.Seek(334.333)");
    EXPECT_EQ(s.c().TVN_CurrentFrame, 10);
    EXPECT_EQ(s.pixel(160, 120), kBackground);

    // Failing steps too: the position is still restored.
    Strip t;
    t.c().TVN_SetFrame(frame);
    t.h.engine1->failOn("Pause", kEngineFailure);
    EXPECT_NO_THROW(t.c().TVN_ShowFilmStrip(true));
    EXPECT_EQ(t.c().TVN_CurrentFrame, 10);
    EXPECT_EQ(t.pixel(160, 120), kThumb);
    EXPECT_TRUE(t.h.engine1->Display()->isEnabled());
}

TEST(FilmStrip, BusyGuardStopsNestedDrawing) {
    Strip s;
    s.c().TVN_ShowFilmStrip(true);
    int nested = 0;
    s.h.platform->onProcessEvents = [&] {
        // A resize, a jump or a host call arriving while the strip is drawn.
        ++nested;
        s.h.probe().DrawFilmStrip();
        s.h.probe().SyncPositionViews();
    };
    s.h.log.clear();
    s.h.probe().DrawFilmStrip();
    EXPECT_EQ(nested, 1);
    EXPECT_EQ(s.h.log.count("DoEvents"), 1);
    EXPECT_EQ(s.h.log.count("VideoCapX1.CurrentFramePicture()"), 9);
    // The guard is released afterwards: the next drawing runs.
    s.h.platform->onProcessEvents = nullptr;
    s.h.log.clear();
    s.h.probe().DrawFilmStrip();
    EXPECT_EQ(s.h.log.count("VideoCapX1.CurrentFramePicture()"), 9);
}

TEST(FilmStrip, HostDisabledWidgetStaysDisabled) {
    Strip s;
    s.h.mixer->Display()->setEnabled(false);
    s.c().TVN_ShowFilmStrip(true);
    EXPECT_FALSE(s.h.mixer->Display()->isEnabled());
    EXPECT_TRUE(s.h.engine1->Display()->isEnabled());
}

TEST(FilmStrip, SwitchingOffTwiceLeavesItHiddenAndEmpty) {
    Strip s;
    s.c().TVN_ShowFilmStrip(true);
    ASSERT_EQ(s.pixel(10, 10), kThumb);
    s.h.log.clear();
    s.c().TVN_ShowFilmStrip(false);
    s.c().TVN_ShowFilmStrip(false);
    EXPECT_TRUE(s.h.log.entries().isEmpty());
    EXPECT_TRUE(s.h.probe().filmStripPanel()->isHidden());
    EXPECT_TRUE(s.surface().picture().isNothing());
    for (QPoint p : {QPoint(10, 10), QPoint(160, 120), QPoint(319, 239)}) EXPECT_EQ(s.pixel(p.x(), p.y()), kBackground);
}

TEST(FilmStrip, FollowsMovesOnlyWhileShownAndTheMixerFollowsDuringAnOverlay) {
    Strip s;
    int32_t frame = 10;
    s.c().TVN_SetFrame(frame);  // strip hidden: not drawn
    EXPECT_EQ(s.h.log.count("VideoCapX1.CurrentFramePicture()"), 0);

    ControlState& st = s.h.probe().state();
    st.overlayActive = true;
    st.mainMixerSource = 1;
    st.overlayMixerSource = 2;
    s.h.mixer->Display()->show();
    s.h.log.clear();
    frame = 20;
    s.c().TVN_SetFrame(frame);
    EXPECT_EQ(s.h.log.entries(),
              QStringList({"VideoCapX1.Pause()", "VideoCapX1.Seek(667.667)", "VideoMixerX1.Visible",
                           "VideoMixerX1.SeekSource(1, 666.667)", "VideoMixerX1.PauseSource(1)"}));

    // A failing mixer is ignored.
    s.h.mixer->failOn("SeekSource", kEngineFailure);
    s.h.log.clear();
    s.c().TVN_StepOneFrame();
    EXPECT_EQ(s.h.log.entries().last(), "VideoMixerX1.PauseSource(1)");
    EXPECT_EQ(s.c().TVN_CurrentFrame, 21);

    // Shown: every move draws it again.
    s.h.mixer->Display()->hide();
    s.c().TVN_ShowFilmStrip(true);
    for (const auto& move : std::initializer_list<std::function<void()>>{
             [&] { s.c().TVN_StepOneFrame(); }, [&] { int32_t f = 5; s.c().TVN_SetFrame(f); },
             [&] { double p = 1000; s.c().TVN_SetPos(p); }}) {
        s.h.log.clear();
        move();
        EXPECT_EQ(s.h.log.count("VideoCapX1.CurrentFramePicture()"), 9);
    }
}

TEST(FilmStrip, ResizeRedrawsItAtTheNewSizeAndReturnsToTheFrame) {
    Strip s;
    int32_t frame = 10;
    s.c().TVN_SetFrame(frame);
    s.c().TVN_ShowFilmStrip(true);
    s.c().resize(480, 360);
    s.h.log.clear();
    s.h.probe().OnResize();
    EXPECT_EQ(s.h.log.count("VideoCapX1.CurrentFramePicture()"), 9);
    EXPECT_EQ(s.h.probe().filmStripPanel()->geometry(), QRect(0, 0, 480, 360));
    EXPECT_EQ(s.surface().widthPixels(), 480);
    EXPECT_EQ(s.pixel(479, 359), kThumb);
    EXPECT_EQ(s.c().TVN_CurrentFrame, 10);
}

}  // namespace
