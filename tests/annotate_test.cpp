// Drawing on the control on fakes: gestures and the annotation store, undo
// and redo, the loupe and timers, the pictures the renderer draws on Picture1,
// and the angle geometry.
#include "annotate/Geometry.h"
#include "fakes/ControlHarness.h"

#include <QColor>
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>

using namespace tvn;
using namespace tvn::testing;

namespace {

// A control on fakes with a clip "open" as opening one leaves it: the engine's
// Option43 at 1, the clip size in pixels and twips, Picture1/Picture2 sized to
// the clip, pointer scale 1 (control twips = surface twips).
struct AnnotateHarness : ControlHarness {
    explicit AnnotateHarness(int width = 320, int height = 240) {
        Trelvan& ctl = c();
        ctl.TVN_videoFileName = QStringLiteral("x.mp4");
        engine1->SetOption43(1);
        ctl.TVN_VideoWidth = static_cast<int16_t>(width);
        ctl.TVN_VideoHeight = static_cast<int16_t>(height);
        ControlState& st = probe().state();
        st.clipPicture.videoWidthTwips = static_cast<int16_t>(width * 15);
        st.clipPicture.videoHeightTwips = static_cast<int16_t>(height * 15);
        st.pointerScale.pointerScaleX = 1;
        st.pointerScale.pointerScaleY = 1;
        probe().picture(1).setSize(width * 15.0, height * 15.0);
        probe().picture(2).setSize(width * 15.0, height * 15.0);
    }

    // The host's pointer forwarders, in control twips.
    void down(float x, float y, int16_t button = 1) { int16_t shift = 0; c().TVN_MouseDown(button, shift, x, y); }
    void move(float x, float y) { int16_t button = 1, shift = 0; c().TVN_MouseMove(button, shift, x, y); }
    void up(float x, float y, int16_t button = 1) { int16_t shift = 0; c().TVN_MouseUp(button, shift, x, y); }
    void drag(const QString& tool, float x1, float y1, float x2, float y2) {
        c().TVN_drawingTool = tool;
        down(x1, y1);
        move(x2, y2);
        up(x2, y2);
    }

    AnnotationStore& store() { return probe().store(); }
    // Colour of a pixel of Picture1 as 0x00BBGGRR.
    int32_t pixel(int x, int y) { return Surface::fromQColor(probe().picture(1).image().pixelColor(x, y)); }
};

// One control on fakes with a 320 x 240 clip open, per test.
class Annotate : public ::testing::Test {
protected:
    AnnotateHarness h;
    AnnotationStore& st = h.store();
};

const QString kDeg = QString(QChar(0x00B0));

TEST_F(Annotate, LineRingAndUndoRedo) {
    for (int i = 0; i < 21; ++i) h.drag("line", 100 + i, 200, 900 + i, 1200);
    const int overlays = h.engine1->overlaysSet;
    h.c().TVN_Redo();  // entry 21 is a line code, and slot 0 is shown: nothing to redo
    EXPECT_EQ(std::tuple(st.historyPos, st.nextLineSlot, h.engine1->overlaysSet), std::tuple(21, 0, overlays));
    h.drag("line", 121, 200, 921, 1200);  // the 22nd line overwrites slot 0, which held the first
    EXPECT_EQ(std::tuple(st.Lines[0].X1, st.Lines[0].X2, st.Lines[0].Y2, st.Lines[1].X1, st.nextLineSlot),
              std::tuple(121, 921, 1200, 101, 1));
    EXPECT_EQ(std::tuple(st.historyPos, bool(st.placementOpen)), std::tuple(22, false));
    h.c().TVN_EraseAll();
    h.c().TVN_Undo();  // the ring is not cleared: entry 80 (a line code) is undone
    EXPECT_EQ(std::tuple(st.historyPos, st.nextLineSlot), std::tuple(80, 20));

    // Three lines, undo twice, redo once.
    h.c().TVN_EraseAll();
    for (int i = 0; i < 3; ++i) h.drag("line", 100, 100 * (i + 1), 500, 100 * (i + 1));
    h.c().TVN_Undo();
    h.c().TVN_Undo();
    EXPECT_EQ(std::tuple(bool(st.Lines[0].Visible), bool(st.Lines[1].Visible), bool(st.Lines[2].Visible)),
              std::tuple(true, false, false));
    EXPECT_EQ(st.nextLineSlot, 1);
    h.c().TVN_Redo();
    EXPECT_EQ(std::tuple(bool(st.Lines[1].Visible), bool(st.Lines[2].Visible), st.nextLineSlot, st.historyPos),
              std::tuple(true, false, 2, 2));
    EXPECT_EQ(st.Lines[1].Y1, 200);  // coordinates survived the undo
}

TEST_F(Annotate, ShapeAngleAndTextUndoRedo) {
    h.drag("square", 100, 100, 600, 700);
    h.drag("angle", 1000, 1000, 2000, 1000);
    h.drag("angle2", 0, 0, 2000, 0);
    h.c().TVN_drawingTool = "text";
    h.down(300, 400);
    h.up(300, 400);
    ASSERT_EQ(st.historyPos, 3);
    ASSERT_EQ(st.textNotes[1].text, "_");

    h.c().TVN_Undo();  // the text is cleared for good
    EXPECT_EQ(std::tuple(bool(st.textNotes[1].text.isEmpty()), st.textSlot), std::tuple(true, 0));
    h.c().TVN_Undo();  // the angle
    EXPECT_EQ(std::tuple(bool(st.angleNotes[0].shown), st.nextAngleSlot), std::tuple(false, 0));
    h.c().TVN_Undo();  // the rectangle
    EXPECT_EQ(std::tuple(bool(st.Shape1[0].Visible), st.nextShapeSlot, st.historyPos), std::tuple(false, 0, 0));

    h.c().TVN_Redo();
    h.c().TVN_Redo();
    h.c().TVN_Redo();  // text: nothing comes back, but the history moves on
    EXPECT_EQ(std::tuple(bool(st.Shape1[0].Visible), bool(st.angleNotes[0].shown), st.nextAngleSlot),
              std::tuple(true, true, 1));
    EXPECT_EQ(std::tuple(bool(st.textNotes[1].text.isEmpty()), st.historyPos), std::tuple(true, 3));
}

TEST_F(Annotate, TextSlotsRingAndTyping) {
    h.c().TVN_drawingTool = "text";
    for (int i = 0; i < 22; ++i) {
        h.down(100 + i, 50);
        h.up(100 + i, 50);
    }
    // The 22nd overwrote the first, in slot 1, 100 twips above the pointer.
    EXPECT_EQ(std::tuple(st.textSlot, st.textNotes[1].x, st.textNotes[1].y), std::tuple(1, 121, -50));

    h.c().TVN_TextColor = 0xFF0000;
    for (char ch : QByteArray("abc")) h.probe().TypeKey(ch);
    EXPECT_EQ(std::tuple(st.textNotes[1].text, st.textNotes[1].color), std::tuple("abc_", 0xFF0000));
    h.probe().TypeKey(8);
    h.probe().TypeKey(13);
    h.probe().TypeKey('z');  // typing has ended
    EXPECT_EQ(std::tuple(st.textNotes[1].text, bool(st.textTyping)), std::tuple("ab", false));
}

// A rectangle follows the pointer across its anchor; an unknown keyword (case
// counts) leaves a 1 x 1 rectangle at the release in the next slot, not advanced.
TEST_F(Annotate, RectanglesFollowThePointer) {
    for (const char* tool : {"Line", "kitetail2"}) {
        SCOPED_TRACE(tool);
        h.drag(tool, 700, 800, 1500, 1500);
        EXPECT_EQ(std::tuple(bool(st.Shape1[0].Visible), st.Shape1[0].Shape, st.Shape1[0].Left, st.Shape1[0].Top),
                  std::tuple(true, ShapeObject::Rectangle, 1500, 1500));
        EXPECT_EQ(std::tuple(st.Shape1[0].Width, st.Shape1[0].Height, st.nextShapeSlot, bool(st.placementOpen)),
                  std::tuple(1, 1, 0, false));
    }
    h.c().TVN_drawingTool = "square";
    h.down(1000, 1000);
    h.move(600, 1200);
    const ShapeObject& s = st.Shape1[0];
    EXPECT_EQ(std::tuple(s.Left, s.Width, s.Top, s.Height), std::tuple(600, 401, 1000, 200));
    h.move(1400, 700);  // above the anchor: the bottom stays at the last Top + Height
    EXPECT_EQ(std::tuple(s.Top, s.Height), std::tuple(700, 500));
    h.up(1400, 700);
    EXPECT_EQ(std::tuple(st.nextShapeSlot, st.historyKinds[0]), std::tuple(1, HistoryShape));
}

TEST_F(Annotate, CirclinePhases) {
    h.drag("circle", 100, 100, 300, 300);  // an ordinary circle in slot 0
    h.drag("circline", 1000, 1000, 2000, 1400);
    EXPECT_EQ(std::tuple(h.c().TVN_drawingTool, st.circlineShape, st.circlineCenterX, st.circlineCenterY),
              std::tuple("linecirc1", 1, 1500, 1200));
    h.down(1600, 1300);
    h.move(1400, 1100);  // left of and above the centre: unchanged
    EXPECT_EQ(std::tuple(st.circlineSpread, st.circlineDrop), std::tuple(1500, 1500));
    h.move(2500, 3200);
    EXPECT_EQ(std::tuple(st.circlineSpread, st.circlineDrop), std::tuple(2000, 2000));
    h.up(2500, 3200);
    EXPECT_EQ(std::tuple(h.c().TVN_drawingTool, bool(st.placementOpen)), std::tuple("circline", false));

    // A new circline press hides the old circle before starting the new one.
    h.down(3000, 3000);
    EXPECT_EQ(std::tuple(bool(st.Shape1[1].Visible), bool(st.Shape1[0].Visible), bool(st.Shape1[2].Visible)),
              std::tuple(false, true, true));
    EXPECT_EQ(std::tuple(st.circlineShape, st.circlineSpread), std::tuple(-1, 0));
}

TEST_F(Annotate, AnglesCommitTheMeasuredText) {
    h.drag("angle", 1000, 1000, 2000, 1000);
    EXPECT_EQ(std::tuple(h.c().TVN_drawingTool, bool(st.placementOpen), st.Angle2.X1, st.Angle2.X2),
              std::tuple("angle2", true, 2000, 2000));
    h.down(0, 0);  // anywhere: the second arm starts at the vertex
    h.move(2000, 500);
    EXPECT_EQ(h.c().TVN_AngleText, "90" + kDeg);
    h.move(2500, 500);
    EXPECT_EQ(h.c().TVN_AngleText, "135" + kDeg);
    h.up(2500, 500);
    const AngleAnnotation& a = st.angleNotes[0];
    EXPECT_EQ(std::tuple(bool(a.shown), a.kind, a.text), std::tuple(true, 1, "135" + kDeg));
    EXPECT_EQ((std::array{a.x1, a.y1, a.x2, a.y2, a.x3, a.y3, a.x4, a.y4}),
              (std::array{1000, 1000, 2000, 1000, 2000, 1000, 2500, 500}));
    EXPECT_EQ(std::tuple(a.color, a.fontName, bool(st.Angle1.Visible), h.c().TVN_drawingTool, st.nextAngleSlot),
              std::tuple(0x00FFFF, "Arial Black", false, "angle", 1));
    EXPECT_EQ(std::tuple(st.historyKinds[0], bool(st.placementOpen)), std::tuple(HistoryAngle, false));

    // "qangle": both arms in one gesture, from a one-twip first arm.
    h.c().TVN_drawingTool = "qangle";
    h.down(1000, 1000);
    EXPECT_EQ(std::tuple(h.c().TVN_drawingTool, st.Angle1.X2), std::tuple("angle2", 1001));
    h.move(2000, 0);
    h.up(2000, 0);
    EXPECT_EQ(std::tuple(st.angleNotes[1].text, h.c().TVN_drawingTool), std::tuple("45" + kDeg, "qangle"));
    h.drag("qangle", 1000, 1000, 1000, 3000);
    EXPECT_EQ(std::tuple(st.angleNotes[2].text, st.nextAngleSlot), std::tuple("90" + kDeg, 3));

    // At pointer scale 1.5 the first arm ends at (1999.5, 1000.5) and the release
    // rounds to (2000, 1000): the arms do not meet and the angle has no text.
    h.probe().state().pointerScale.pointerScaleX = 1.5;
    h.probe().state().pointerScale.pointerScaleY = 1.5;
    h.drag("angle", 1000, 1000, 1333, 667);
    EXPECT_EQ(std::tuple(st.Angle1.X2, st.Angle2.X1), std::tuple(1999.5f, 2000.0f));
    h.down(0, 0);
    h.move(1333, 333);
    EXPECT_TRUE(h.c().TVN_AngleText.isEmpty());
    h.up(1333, 333);
    EXPECT_EQ(std::tuple(bool(st.angleNotes[3].shown), bool(st.angleNotes[3].text.isEmpty()), h.c().TVN_drawingTool),
              std::tuple(true, true, "angle"));
}


TEST_F(Annotate, MarksTargetLightMouseAndFreeHand) {
    h.drag("target", 100.5f, 200, 301.5f, 400);
    EXPECT_EQ(std::tuple(st.targetX, st.targetY), std::tuple(302, 400));

    h.c().TVN_drawingColor = 0x0000FF;
    h.drag("lightmouseleftish", 500, 600, 700.25f, 800);  // any "lightmouse..." keyword
    EXPECT_EQ(std::tuple(bool(st.lightMouseShown), bool(st.lightMouseLeft), st.lightMouseX, st.lightMouseColor),
              std::tuple(true, false, 700.25f, 0x0000FF));

    // Free-hand from (0, 0): the first move draws nothing, later moves draw.
    Surface& layer = h.probe().picture(2);
    h.c().TVN_drawingTool = "free";
    h.down(0, 0);
    h.move(1500, 1500);
    EXPECT_EQ(Surface::fromQColor(layer.image().pixelColor(50, 50)), 0xFFFFFF);
    h.move(3000, 1500);
    EXPECT_EQ(Surface::fromQColor(layer.image().pixelColor(150, 100)), 0x0000FF);
    h.up(3000, 1500);
    EXPECT_EQ(std::tuple(st.freeHandLastX, st.freeHandLastY), std::tuple(0, 0));
    // The stroke survives the redraw of a later line, until EraseFreeHand, which leaves the line.
    h.c().TVN_drawingColor = 0xFF0000;
    h.drag("line", 1500, 2250, 3000, 2250);
    EXPECT_EQ(std::tuple(h.pixel(150, 100), h.pixel(150, 150)), std::tuple(0x0000FF, 0xFF0000));
    h.c().TVN_EraseFreeHand();
    EXPECT_EQ(std::tuple(h.pixel(150, 100), h.pixel(150, 150)), std::tuple(0xFFFFFF, 0xFF0000));
    // Beyond 16 bits the stroke's last point cannot be kept.
    h.c().TVN_drawingTool = "free";
    h.down(100, 100);
    EXPECT_THROW(h.move(40000, 100), TvnError);
}

// At pointer scale 2 the host's arguments come back in control twips, rounded,
// and the events get pixels; a handler's changes to its copies are not handed back.
TEST_F(Annotate, ConvertedPositionsInEventsAndArguments) {
    h.probe().state().pointerScale.pointerScaleX = 2;
    h.probe().state().pointerScale.pointerScaleY = 2;
    QList<QPointF> events;
    const auto record = [&](int16_t&, int16_t&, float& x, float& y) {
        events.append({x, y});
        x = -1;
    };
    QObject::connect(&h.c(), &Trelvan::MouseDown, record);
    QObject::connect(&h.c(), &Trelvan::MouseUp, record);
    int16_t button = 1, shift = 0;
    float x = 1000, y = 500, upX = 750.2f, upY = 499.8f;
    h.c().TVN_MouseDown(button, shift, x, y);
    h.c().TVN_MouseUp(button, shift, upX, upY);
    EXPECT_EQ(std::tuple(x, y, upX, upY), std::tuple(2000, 1000, 1500, 1000));
    ASSERT_EQ(events.size(), 2);
    EXPECT_NEAR(events[0].x(), 133.33, 0.01);
    EXPECT_NEAR(events[0].y(), 66.67, 0.01);
    EXPECT_EQ(events[1].x(), 100);
}

TEST_F(Annotate, GatesSkipToolWorkButRaiseTheEvent) {
    int downs = 0;
    QObject::connect(&h.c(), &Trelvan::MouseDown, [&](int16_t&, int16_t&, float&, float&) { ++downs; });
    Timer& timer2 = h.probe().timer2();

    h.c().TVN_drawingTool = "line";
    h.down(1000, 1000, 2);  // right button: no drawing, no redraw timer, the loupe does not follow
    EXPECT_EQ(std::tuple(bool(st.Lines[0].Visible), bool(timer2.isEnabled()), h.probe().loupe().left()),
              std::tuple(false, false, 0));
    // Its release with no open placement leaves a zero-length line, not advanced.
    h.up(1200, 1300, 2);
    EXPECT_EQ(std::tuple(bool(st.Lines[0].Visible), st.Lines[0].X1, st.Lines[0].X2, st.nextLineSlot, st.historyPos),
              std::tuple(true, 1200, 1200, 0, 1));

    // A foreign bitmap handed to the engine: presses draw nothing.
    h.c().TVN_OverlayImage = 424242;
    h.c().TVN_drawingTool = "line";
    h.down(500, 500);
    EXPECT_EQ(std::tuple(bool(st.placementOpen), bool(timer2.isEnabled()), downs), std::tuple(false, false, 2));

    h.c().TVN_OverlayImage = 0;
    h.c().TVN_drawingTool = "none";
    h.down(500, 500);
    EXPECT_TRUE(timer2.isEnabled());  // every left press past the gates, "none" too
}

// The tools that draw little: whether a press starts the loupe timer, whether a
// drag (loupe timer off) redraws, and whether the release leaves a rectangle
// corner; a "qangle" released without its press places a corner too.
TEST(AnnotateTools, StepKiteTailLightMouseLeftAndUnlistedKeywords) {
    struct Row {
        const char* tool;
        int16_t pressButton;
        bool timerOn, moveRedraws, cornerAtRelease, lightMouseLeft;
    };
    const Row rows[] = {
        {"step", 1, false, false, false, false},     {"kitetail", 1, true, true, false, false},
        {"lightmouseleft", 1, true, false, false, true}, {"squares", 1, true, true, true, false},
        {"qangle", 2, false, true, true, false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.tool);
        AnnotateHarness h;
        AnnotationStore& st = h.store();
        Timer& timer2 = h.probe().timer2();
        h.c().TVN_drawingTool = r.tool;
        h.down(500, 600, r.pressButton);
        EXPECT_EQ(timer2.isEnabled(), r.timerOn);
        timer2.setEnabled(false);
        const int overlays = h.engine1->overlaysSet;
        h.move(700, 800);
        EXPECT_EQ(h.engine1->overlaysSet > overlays, r.moveRedraws);
        h.up(900, 1000);
        EXPECT_EQ(std::tuple(bool(st.Shape1[0].Visible), bool(st.placementOpen), bool(st.lightMouseLeft)),
                  std::tuple(r.cornerAtRelease, false, r.lightMouseLeft));
        if (r.cornerAtRelease)
            EXPECT_EQ(std::tuple(st.Shape1[0].Left, st.Shape1[0].Width, st.nextShapeSlot, st.historyPos),
                      std::tuple(900, 1, 0, 1));
        EXPECT_EQ(h.c().TVN_drawingTool, QString::fromLatin1(r.tool));
    }
    // A "kitetail" release closes a placement the host left open under another tool.
    AnnotateHarness h;
    h.c().TVN_drawingTool = "line";
    h.down(500, 600);
    h.c().TVN_drawingTool = "kitetail";
    h.up(900, 1000);
    EXPECT_EQ(std::tuple(bool(h.store().placementOpen), h.store().nextLineSlot), std::tuple(false, 0));
}

TEST_F(Annotate, FailuresStopTheHandlerBeforeItsEvent) {
    int ups = 0;
    QObject::connect(&h.c(), &Trelvan::MouseUp, [&](int16_t&, int16_t&, float&, float&) { ++ups; });
    h.engine1->failOn("SetOverlayBitmap", TvnError(91, "engine gone", "VideoCapX1"));
    h.c().TVN_drawingTool = "line";
    h.down(100, 100);
    const auto e = errorFrom([&] { h.up(200, 200); });
    ASSERT_TRUE(e) << "release failure swallowed";
    EXPECT_EQ(std::tuple(e->number(), e->description(), e->source(), ups),
              std::tuple(91, "engine gone", "(TVN_MouseUp)->(PointerUp)->(RedrawAnnotations)->VideoCapX1", 0));
    EXPECT_EQ(st.nextLineSlot, 1);  // what was done before the failure stays done

    // From the engine's notification the failure is kept, with the handler's own prefix, not thrown back.
    h.engine1->clear();
    h.engine1->failOn("CurrentFramePicture", TvnError(92, "no frame", "VideoCapX1"));
    h.c().TVN_drawingTool = "zoom";
    int16_t b = 1, s = 0;
    float x = 10, y = 10;
    emit h.engine1->EngineMouseDown(b, s, x, y);
    ASSERT_NE(h.c().lastNotificationError(), nullptr);
    EXPECT_EQ(std::tuple(h.c().lastNotificationError()->source(), bool(h.probe().zoomView()->isHidden())),
              std::tuple("(PointerDown)->VideoCapX1", true));
}

TEST(AnnotateLoupe, WindowAndPan) {
    AnnotateHarness h(640, 480);
    h.c().resize(600, 400);  // 9000 x 6000 twips
    h.engine1->currentPicture = Picture(QImage(640, 480, QImage::Format_RGB32));
    ZoomLoupe& loupe = h.probe().loupe();
    h.c().TVN_drawingTool = "zoom";
    h.down(4500, 3000);
    EXPECT_EQ(std::tuple(loupe.width(), loupe.height(), loupe.innerWidth(), loupe.innerHeight()),
              std::tuple(3000, 2000, 38400, 28800));
    EXPECT_FALSE(h.probe().zoomView()->isHidden());
    // The first press after a resize centres with the previous size (none yet).
    EXPECT_EQ(loupe.left(), 4500);
    const int pictures = h.engine1->framePictures;
    h.move(4500, 3000);
    EXPECT_EQ(std::tuple(loupe.left(), loupe.top(), loupe.innerLeft(), loupe.innerTop()),
              std::tuple(3000, 2000, -((4500 - 500) * 4), -((3000 - 2000.0 / 6) * 4)));
    EXPECT_EQ(h.engine1->framePictures, pictures + 1);  // a fresh frame per move
    EXPECT_EQ(h.probe().zoomView()->geometry(), QRect(200, 133, 200, 133));
    h.up(4500, 3000);
    EXPECT_TRUE(h.probe().zoomView()->isHidden());
}

TEST_F(Annotate, Timer2RedrawsDuringGestures) {
    FakeTimer& timer2 = h.platform->timer(1);
    h.c().TVN_drawingTool = "line";
    h.down(100, 100);
    ASSERT_TRUE(timer2.isEnabled());
    const int overlays = h.engine1->overlaysSet;
    h.move(500, 500);  // the timer redraws instead
    int eventRuns = 0;
    h.platform->onProcessEvents = [&] { eventRuns += timer2.isEnabled() ? 100 : 1; };
    ASSERT_TRUE(timer2.fire());
    // One redraw, pending events run once with the timer held, then on again.
    EXPECT_EQ(std::tuple(h.engine1->overlaysSet, eventRuns, bool(timer2.isEnabled())),
              std::tuple(overlays + 1, 1, true));
    h.up(500, 500);
    EXPECT_FALSE(timer2.isEnabled());
}

constexpr int32_t kWhite = 0xFFFFFF, kBlack = 0, kYellow = 0x00FFFF, kRed = 0x0000FF, kBlue = 0xFF0000;

// Rows of column x (in [y0, y1]) whose pixel has the colour.
QList<int> rowsOf(AnnotateHarness& h, int x, int y0, int y1, int32_t colour) {
    QList<int> rows;
    for (int y = y0; y <= y1; ++y)
        if (h.pixel(x, y) == colour) rows.append(y);
    return rows;
}

double mean(const QList<int>& v) {
    double s = 0;
    for (int i : v) s += i;
    return v.isEmpty() ? -1 : s / v.size();
}

// A blank surface of Picture1's size with the text printed, in bold, as the renderer prints it.
QImage printed(AnnotateHarness& h, const QString& font, double size, int32_t colour, double x, double y,
               const QStringList& lines) {
    Surface ref(QStringLiteral("ref"), 15);
    ref.setSize(h.probe().picture(1).width(), h.probe().picture(1).height());
    ref.clearTo(kWhite);
    ref.setFontName(font);
    ref.setFontBold(true);
    ref.setFontSize(size);
    ref.setForeColor(colour);
    ref.setCurrentPosition(x, y);
    for (const QString& line : lines) ref.print(line);
    return ref.image();
}

// In player mode with no foreign overlay the drawing goes to the engine as its
// overlay, keyed on the transparent colour; when paused, a seek 1 ms into the
// position shows it at once.
TEST(AnnotateRender, HandsTheDrawingToTheEngineAndRefreshesWhenPaused) {
    struct Case { const char* name; int32_t option43, overlayImage; bool playing, handed; std::optional<double> seek; };
    const Case cases[] = {
        {"paused", 1, 0, false, true, 335.333},
        {"playing", 1, 0, true, true, {}},
        {"raw player mode", 0, 0, false, false, {}},
        {"foreign overlay", 1, 999999, false, false, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        AnnotateHarness h;
        h.engine1->SetOption43(c.option43);
        h.c().TVN_OverlayImage = c.overlayImage;
        h.c().TVN_IsPlaying = c.playing;
        h.c().TVN_CurrentPos = 334.333;
        h.c().TVN_TransparentColor = 0x00FF00;
        h.c().TVN_ReDraw();
        EXPECT_EQ(std::tuple(h.engine1->overlaysSet, h.engine1->lastSeek), std::tuple(c.handed ? 1 : 0, c.seek));
        if (!c.handed) continue;
        const FakeVideoEngine::OverlayBitmap& o = h.engine1->overlays[0];
        EXPECT_EQ(o.place, (std::array{0, 0, 320, 240, 0x00FF00, -1}));
        EXPECT_EQ(o.image, h.probe().picture(1).image());
        EXPECT_EQ(h.c().TVN_OverlayImage, h.probe().picture(1).handle());
    }
}

// A coloured line has a black shadow 10·w twips below it, a black line none; a
// light-mouse arrow has a black outline only when it is coloured.
TEST(AnnotateRender, ShadowsAndOutlinesOnlyForColouredStrokes) {
    for (int32_t colour : {kYellow, kBlack}) {
        SCOPED_TRACE(colour);
        AnnotateHarness h;
        h.c().TVN_drawingColor = colour;
        h.drag("line", 1500, 1500, 3000, 1500);        // pixel row 100, width 5
        h.drag("lightmouse", 3000, 3000, 3000, 3000);  // tip at pixel (200, 200), the arrow to the right
        const QList<int> main = rowsOf(h, 150, 85, 115, colour), shadow = rowsOf(h, 150, 85, 115, kBlack);
        EXPECT_NEAR(mean(main), 100, 1);
        // The arrow's long stroke runs left of the tip along row 200, width 5; its outline is width 7.
        EXPECT_EQ(std::tuple(h.pixel(170, 200), h.pixel(230, 200)), std::tuple(colour, kWhite));
        const qsizetype arrow = rowsOf(h, 170, 190, 210, colour).size();
        const qsizetype outline = rowsOf(h, 170, 190, 210, kBlack).size();
        if (colour == kBlack) {
            EXPECT_LE(main.last(), 103);  // no shadow below
            EXPECT_LE(outline, 6);
            continue;
        }
        // The shadow is 50 twips (3.3 pixels) below, width 5: it shows below the line only.
        ASSERT_FALSE(shadow.isEmpty());
        EXPECT_GT(shadow.first(), main.last());
        EXPECT_NEAR(shadow.last(), 100 + 50 / 15.0 + 2, 1.1);
        EXPECT_GE(outline, 1);
        EXPECT_GE(arrow + outline, 7);
    }
}

// Readable drawing on a 960 x 540 clip shown 320 pixels wide (3 picture pixels
// to a screen pixel): widths in screen pixels with an outline all round instead
// of the shadow below; no value beside an angle's first arm; a label keeps its
// font when a text is typed in another. Off, the drawing is as documented.
TEST(AnnotateRender, ReadableDrawingCountsScreenPixelsAndOutlinesEverything) {
    for (const bool readable : {false, true}) {
        SCOPED_TRACE(readable ? "readable" : "documented");
        AnnotateHarness h(960, 540);
        h.engine1->SetWidth(320 * 15);
        h.c().setReadableDrawing(readable);
        h.c().TVN_drawingColor = kYellow;
        h.c().TVN_drawingWidth = 3;
        h.drag("line", 1500, 1500, 6000, 1500);  // pixel row 100
        const QList<int> yellow = rowsOf(h, 250, 80, 120, kYellow), black = rowsOf(h, 250, 80, 120, kBlack);
        ASSERT_FALSE(yellow.isEmpty());
        EXPECT_EQ(yellow.size(), readable ? 9 : 3);
        ASSERT_FALSE(black.isEmpty());
        EXPECT_EQ(black.first() < yellow.first(), readable) << "an outline above, not only a shadow below";

        // The first arm of an angle: "0°" at its end as documented, nothing readable.
        h.c().TVN_FontSize = 20;
        h.drag("angle", 3000, 6000, 4500, 6000);  // ends at pixel (300, 400)
        int beside = 0;
        for (int y = 406; y < 430; ++y)
            for (int x = 306; x < 330; ++x) beside += h.pixel(x, y) == kYellow ? 1 : 0;
        EXPECT_EQ(beside > 0, !readable);

        // A committed angle's label, before and after a text typed in another font.
        h.c().TVN_EraseAll();
        h.drag("angle", 3000, 3000, 4500, 3000);
        h.drag("angle2", 4500, 3000, 4500, 1500);
        const QImage label = h.probe().picture(1).image().copy(290, 190, 200, 80);
        h.c().TVN_FontName = QStringLiteral("Liberation Serif");
        h.drag("text", 9000, 6000, 9000, 6000);
        for (char k : {'a', 'b', '\r'}) h.probe().TypeKey(k);
        EXPECT_EQ(h.probe().picture(1).image().copy(290, 190, 200, 80) == label, readable);
    }
}

TEST_F(Annotate, OvalIsDrawnAsCircleOfHalfItsWidth) {
    st.Shape1[4] = ShapeObject{ShapeObject::Oval, 1500, 1500, 1000, 400, kRed, true};
    h.c().TVN_ReDraw();
    // Centre (2000, 1700) twips = (133.3, 113.3) pixels, radius 33.3 pixels.
    EXPECT_NEAR(mean(rowsOf(h, 133, 60, 100, kRed)), 80, 1);
    EXPECT_NEAR(mean(rowsOf(h, 133, 120, 160, kRed)), 146.7, 1);
    EXPECT_FALSE(rowsOf(h, 133, 70, 90, kBlack).isEmpty());  // its black shadow, 2 pixels wider
    EXPECT_EQ(h.pixel(133, 100), kWhite);                      // where a 400-high oval would be
}

TEST_F(Annotate, RectangleShadowIsOffsetRightAndDown) {
    h.c().TVN_drawingColor = kBlue;
    h.drag("square", 1500, 1500, 3000, 3000);  // pixels (100,100)-(200,200)
    EXPECT_EQ(std::tuple(h.pixel(100, 150), h.pixel(150, 150)), std::tuple(kBlue, kWhite));
    // The shadow box lies 5·w = 25 twips (1.7 pixels) right of and below the box.
    const QList<int> bottom = rowsOf(h, 150, 190, 210, kBlue);
    const QList<int> shadow = rowsOf(h, 150, 190, 210, kBlack);
    ASSERT_FALSE(shadow.isEmpty());
    EXPECT_NEAR(mean(bottom), 200, 1);
    EXPECT_GT(shadow.first(), bottom.last());
    EXPECT_TRUE(rowsOf(h, 150, 90, 110, kBlack).size() > 0);  // shows inside below the top edge
}

// Caption and clock print in bold Arial Black 8 from the top left; a text note
// prints in its own font, which it leaves set on the surface.
TEST(AnnotateRender, CaptionClockAndTextNotes) {
    struct Case {
        const char* caption;
        int32_t clockStart;
        bool note;  // a text note instead of the clock
        QString font;
        int size, colour, x, y;
        QStringList lines;
    };
    const Case cases[] = {
        {"Serve", 0, false, "Arial Black", 8, kYellow, 0, 0, {"Serve", "12.345s"}},
        {"", 20000, false, "Arial Black", 8, kYellow, 0, 0, {"-7.655s"}},
        {"", 0, true, "Liberation Serif", 14, kBlue, 300, 450, {"Hello"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.lines.join('|').toStdString());
        AnnotateHarness h;
        h.c().TVN_CurrentPos = 12345;
        h.c().tvn_ClockStartTimeMS = c.clockStart;
        h.c().TVN_Text = c.caption;
        h.c().TVN_DisplayClock = !c.note;
        if (c.note) h.store().textNotes[3] = TextAnnotation{"Hello", 300, 450, kBlue, "Liberation Serif", 14};
        h.c().TVN_ReDraw();
        EXPECT_TRUE(h.probe().picture(1).image() == printed(h, c.font, c.size, c.colour, c.x, c.y, c.lines));
        EXPECT_EQ(h.probe().picture(1).fontName(), c.font);
    }
}

TEST_F(Annotate, GridSpacingAndOverflow) {
    h.c().TVN_DisplayGrid = true;
    h.c().TVN_GridColor = kBlue;
    h.c().TVN_GridSpacing = 1500;  // every 100 pixels
    h.c().TVN_ReDraw();
    EXPECT_EQ(std::tuple(rowsOf(h, 50, 98, 102, kBlue).isEmpty(), rowsOf(h, 50, 198, 202, kBlue).isEmpty()),
              std::tuple(false, false));
    EXPECT_EQ(std::tuple(h.pixel(50, 50), h.pixel(150, 150), h.pixel(100, 50)), std::tuple(kWhite, kWhite, kBlue));
    AnnotateHarness wide(2200, 100);  // 33000 twips wide
    wide.c().TVN_DisplayGrid = true;
    wide.c().TVN_GridSpacing = 1500;
    const auto e = errorFrom([&] { wide.c().TVN_ReDraw(); });
    EXPECT_EQ(std::tuple(e ? e->number() : 0, wide.engine1->overlaysSet), std::tuple(err::Overflow, 0));
}

TEST(AnnotateRender, LiveAngleTextIsNormalisedCommittedTextIsNot) {
    EXPECT_EQ(AnnotationRenderer::normalisedAngleText(" 45.5abc"), "46" + kDeg);
    EXPECT_THROW(AnnotationRenderer::normalisedAngleText("9e99"), TvnError);

    // Printed on the surface: the live text normalised, the committed text as stored.
    struct Case { bool live; QString stored, shown; };
    const Case cases[] = {{true, kDeg, "0" + kDeg}, {true, "44.5" + kDeg, "44" + kDeg}, {false, kDeg, kDeg}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.shown.toStdString());
        AnnotateHarness h;
        AnnotationStore& st = h.store();
        // Text corner at pixel (100, 100); both arms end there from the upper left.
        if (c.live) {
            st.Angle1 = LineObject{750, 750, 1500, 1500, kRed, true};
            st.Angle2 = LineObject{750, 1200, 1500, 1500, kRed, true};
            h.c().TVN_AngleText = c.stored;
        } else {
            st.angleNotes[5] = AngleAnnotation{750, 750, 1500, 1500, 750, 1200, 1500, 1500, 1, c.stored, kBlack,
                                               "Arial", 8, true};
        }
        h.c().TVN_ReDraw();
        const QImage expected = printed(h, "Arial Black", 8, c.live ? kRed : kBlack, 1500, 1500, {c.shown});
        const QRect textArea(103, 103, 60, 20);
        EXPECT_TRUE(h.probe().picture(1).image().copy(textArea) == expected.copy(textArea));
        if (c.live) EXPECT_EQ(h.c().TVN_AngleText, c.stored);  // not rewritten by the redraw
    }
}


TEST(AnnotateRender, TrackingTrailWindow) {
    struct Case { int32_t frame, length; int32_t at10, seg10to11, at11, seg11to12; };
    // Points at pixels (50,50), (100,50), (150,50) for frames 10, 11, 12.
    const Case cases[] = {
        {12, 0, kWhite, kWhite, kRed, kRed},  // segment 11-12 only; the newest point has no dot
        {13, 0, kWhite, kWhite, kWhite, kWhite},
        {12, 5, kBlack, kRed, kBlack, kRed},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "frame " << c.frame << " length " << c.length);
        AnnotateHarness h;
        h.c().TVN_FrameLenMS = 40;
        h.c().TVN_NumFrames = 100;
        h.c().TVN_TotalLenMS = 4000;
        h.c().TVN_TrackingActive = -1;
        h.c().TVN_TrackingLength = c.length;
        h.store().trackTrail = {KiteTail{10, kRed, 5, 750, 750}, KiteTail{11, kRed, 5, 1500, 750},
                                KiteTail{12, kRed, 5, 2250, 750}};
        h.c().TVN_CurrentFrame = c.frame;
        h.c().TVN_ReDraw();
        EXPECT_EQ(std::tuple(h.pixel(50, 50), h.pixel(75, 50), h.pixel(100, 50), h.pixel(125, 50), h.pixel(150, 50)),
                  std::tuple(c.at10, c.seg10to11, c.at11, c.seg11to12, c.seg11to12));
    }
}

TEST_F(Annotate, TrackerClickStoresPointAndStepsOneFrame) {
    h.c().TVN_FrameLenMS = 40;
    h.c().TVN_NumFrames = 100;
    h.c().TVN_TotalLenMS = 4000;
    h.c().TVN_CurrentFrame = 10;
    bool on = true;
    h.c().TVN_SetTracking(on);
    EXPECT_EQ(std::tuple(h.c().TVN_drawingTool, h.c().TVN_TrackingActive), std::tuple("tracker", -1));
    h.down(1000.5f, 2001.5f);
    h.up(1000.5f, 2001.5f);
    ASSERT_EQ(st.trackTrail.size(), 1);
    const KiteTail& p = st.trackTrail[0];
    EXPECT_EQ(std::tuple(p.frameNum, p.x, p.y, h.c().TVN_CurrentFrame), std::tuple(10, 1000, 2002, 11));
    on = false;  // switched off: the tool is none and the trail is dropped
    h.c().TVN_SetTracking(on);
    EXPECT_EQ(std::tuple(h.c().TVN_drawingTool, h.c().TVN_TrackingActive, bool(st.trackTrail.isEmpty())),
              std::tuple("none", 0, true));
}

LineObject arm(float x1, float y1, float x2, float y2) { return LineObject{x1, y1, x2, y2, 0, true}; }

struct GeometryCase {
    const char* name;
    LineObject a, b;
    int16_t code;
    double degrees;  // NAN: no measurement (code 0)
    const char* text;
};

TEST(AnnotateGeometry, EndpointCodesAnglesAndTexts) {
    const GeometryCase cases[] = {
        {"right angle", arm(0, 0, 100, 0), arm(0, 0, 0, 100), 1, 90, "90°"},
        {"straight", arm(0, 0, 100, 0), arm(0, 0, -100, 0), 1, 180, "180°"},
        {"45 not 135", arm(0, 0, 100, 0), arm(0, 0, 100, 100), 1, 45, "45°"},
        {"53.13", arm(0, 0, 100, 50), arm(0, 0, 100, -50), 1, 2 * std::atan(0.5) * 180 / kAnglePi, "53°"},
        {"second from end of first", arm(100, 0, 0, 0), arm(0, 0, 100, 100), 21, 45, "45°"},
        {"start of first is end of second", arm(0, 0, 100, 0), arm(100, 100, 0, 0), 12, 45, "45°"},
        {"far ends meet", arm(100, 0, 0, 0), arm(100, 100, 0, 0), 2, 45, "45°"},
        {"far ends differ in y", arm(100, 0, 0, 0), arm(100, 100, 0, 1), 0, NAN, ""},
        {"vertical same way", arm(0, 0, 0, 100), arm(0, 0, 0, 30), 1, 0, "°"},
        {"vertical opposite", arm(0, 0, 0, 100), arm(0, 0, 0, -30), 1, 180, "180°"},
        {"zero-length arm", arm(5, 5, 5, 5), arm(5, 5, 10, 10), 0, NAN, ""},
        {"no common point", arm(0, 0, 10, 0), arm(1, 1, 10, 10), 0, NAN, ""},
        {"obtuse 135", arm(0, 0, 100, 0), arm(0, 0, -100, 100), 1, 135, "135°"},
        {"reflex folds back", arm(0, 0, -100, 10), arm(0, 0, -100, -10), 1, 2 * std::atan(0.1) * 180 / kAnglePi,
         "11°"},
    };
    for (const GeometryCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(SharedEndpoint(c.a, c.b), c.code);
        if (c.code == 0) {
            int32_t p[6] = {7, 7, 7, 7, 7, 7};
            const auto e = errorFrom([&] { ArcPoints(c.a, c.b, p[0], p[1], p[2], p[3], p[4], p[5]); });
            EXPECT_EQ(std::tuple(e ? e->description() : "no failure", p[0] + p[5]),  // outputs untouched
                      std::tuple("Lines do not create an arc!", 14));
            continue;
        }
        int32_t ax, ay, vx, vy, bx, by;
        ArcPoints(c.a, c.b, ax, ay, vx, vy, bx, by);
        const double a = AngleBetween(ax, ay, vx, vy, bx, by);
        EXPECT_NEAR(a, c.degrees, 1e-9);
        EXPECT_EQ(angleTextOf(a), QString::fromUtf8(c.text));
    }
}

TEST(AnnotateGeometry, ArcPointsRoundHalfToEven) {
    std::array<int32_t, 6> p{};
    ArcPoints(arm(2.5f, 3.5f, 10.5f, 0), arm(2.5f, 3.5f, 0, 11.5f), p[0], p[1], p[2], p[3], p[4], p[5]);
    EXPECT_EQ(p, (std::array<int32_t, 6>{10, 0, 2, 4, 0, 12}));
}

TEST(AnnotateGeometry, UpdateAngleTextKeepsTextWhenArmsDoNotMeet) {
    ControlHarness h;
    AnnotationStore& st = h.probe().store();
    h.c().TVN_AngleText = "old";
    st.Angle1 = arm(0, 0, 100, 0);
    st.Angle2 = arm(1, 0, 0, 100);
    h.probe().UpdateAngleText();
    EXPECT_EQ(h.c().TVN_AngleText, "old");
    // An overflowing coordinate fails with the procedure's prefix and keeps the text.
    st.Angle1 = arm(0, 0, 3e9f, 0);
    st.Angle2 = arm(0, 0, 0, 100);
    const auto e = errorFrom([&] { h.probe().UpdateAngleText(); });
    EXPECT_EQ(std::tuple(e ? e->source().left(19) : "", h.c().TVN_AngleText), std::tuple("(UpdateAngleText)->", "old"));
}

}  // namespace


