#include "annotate_fixture.h"
#include "fakes/ErrorFrom.h"

#include <gtest/gtest.h>

using namespace tvn;
using namespace tvn::testing;

namespace {

const QString kDeg = QString(QChar(0x00B0));

TEST(AnnotateGesture, LineRingAndUndoRedo) {
    AnnotateHarness h;
    AnnotationStore& st = h.store();
    for (int i = 0; i < 22; ++i) h.drag("line", 100 + i, 200, 900 + i, 1200);
    // The 22nd line overwrote slot 0, which held the first.
    EXPECT_EQ(st.Lines[0].X1, 121);
    EXPECT_EQ(st.Lines[0].X2, 921);
    EXPECT_EQ(st.Lines[0].Y2, 1200);
    EXPECT_EQ(st.Lines[1].X1, 101);
    EXPECT_EQ(st.nextLineSlot, 1);
    EXPECT_EQ(st.historyPos, 22);
    EXPECT_FALSE(st.placementOpen);

    // Three lines, undo twice, redo once.
    h.c().TVN_EraseAll();
    for (int i = 0; i < 3; ++i) h.drag("line", 100, 100 * (i + 1), 500, 100 * (i + 1));
    h.c().TVN_Undo();
    h.c().TVN_Undo();
    EXPECT_TRUE(st.Lines[0].Visible);
    EXPECT_FALSE(st.Lines[1].Visible);
    EXPECT_FALSE(st.Lines[2].Visible);
    EXPECT_EQ(st.nextLineSlot, 1);
    h.c().TVN_Redo();
    EXPECT_TRUE(st.Lines[1].Visible);
    EXPECT_FALSE(st.Lines[2].Visible);
    EXPECT_EQ(st.nextLineSlot, 2);
    EXPECT_EQ(st.Lines[1].Y1, 200);  // coordinates survived the undo
    EXPECT_EQ(st.historyPos, 2);
}

TEST(AnnotateGesture, RedoOntoVisibleSlotDoesNothingAndUndoAfterEraseAllWraps) {
    AnnotateHarness h;
    AnnotationStore& st = h.store();
    for (int i = 0; i < 21; ++i) h.drag("line", 100, 100 + i, 500, 100 + i);
    ASSERT_EQ(st.nextLineSlot, 0);
    ASSERT_TRUE(st.Lines[0].Visible);
    h.log.clear();
    h.c().TVN_Redo();  // entry 21 is a line code, and slot 0 is shown: nothing to redo
    EXPECT_EQ(st.historyPos, 21);
    EXPECT_EQ(st.nextLineSlot, 0);
    EXPECT_TRUE(h.log.withPrefix("VideoCapX1.SetOverlayBitmap").isEmpty());

    h.c().TVN_EraseAll();
    h.c().TVN_Undo();  // the ring is not cleared: entry 80 (a line code) is undone
    EXPECT_EQ(st.historyPos, 80);
    EXPECT_EQ(st.nextLineSlot, 20);
    EXPECT_FALSE(st.Lines[20].Visible);
}

TEST(AnnotateGesture, ShapeAngleAndTextUndoRedo) {
    AnnotateHarness h;
    AnnotationStore& st = h.store();
    h.drag("square", 100, 100, 600, 700);
    h.drag("angle", 1000, 1000, 2000, 1000);
    h.drag("angle2", 0, 0, 2000, 0);
    h.c().TVN_drawingTool = "text";
    h.down(300, 400);
    h.up(300, 400);
    ASSERT_EQ(st.historyPos, 3);
    ASSERT_EQ(st.textNotes[1].text, "_");

    h.c().TVN_Undo();  // the text is cleared for good
    EXPECT_TRUE(st.textNotes[1].text.isEmpty());
    EXPECT_EQ(st.textSlot, 0);
    h.c().TVN_Undo();  // the angle
    EXPECT_FALSE(st.angleNotes[0].shown);
    EXPECT_EQ(st.nextAngleSlot, 0);
    h.c().TVN_Undo();  // the rectangle
    EXPECT_FALSE(st.Shape1[0].Visible);
    EXPECT_EQ(st.nextShapeSlot, 0);
    EXPECT_EQ(st.historyPos, 0);

    h.c().TVN_Redo();
    h.c().TVN_Redo();
    h.c().TVN_Redo();  // text: nothing comes back, but the history moves on
    EXPECT_TRUE(st.Shape1[0].Visible);
    EXPECT_TRUE(st.angleNotes[0].shown);
    EXPECT_EQ(st.nextAngleSlot, 1);
    EXPECT_TRUE(st.textNotes[1].text.isEmpty());
    EXPECT_EQ(st.historyPos, 3);
}

TEST(AnnotateGesture, TextSlotsRingAndTyping) {
    AnnotateHarness h;
    AnnotationStore& st = h.store();
    h.c().TVN_drawingTool = "text";
    for (int i = 0; i < 22; ++i) {
        h.down(100 + i, 50);
        h.up(100 + i, 50);
    }
    EXPECT_EQ(st.textSlot, 1);
    EXPECT_EQ(st.textNotes[1].x, 121);  // the 22nd overwrote the first, in slot 1
    EXPECT_EQ(st.textNotes[0].x, 120);  // the 21st
    EXPECT_EQ(st.textNotes[1].y, -50);  // 100 twips above the pointer
    EXPECT_TRUE(st.textTyping);

    h.c().TVN_TextColor = 0xFF0000;
    for (char ch : QByteArray("abc")) h.probe().TypeKey(ch);
    EXPECT_EQ(st.textNotes[1].text, "abc_");
    EXPECT_EQ(st.textNotes[1].color, 0xFF0000);
    h.probe().TypeKey(8);
    EXPECT_EQ(st.textNotes[1].text, "ab_");
    h.probe().TypeKey(13);
    EXPECT_EQ(st.textNotes[1].text, "ab");
    EXPECT_FALSE(st.textTyping);
    h.probe().TypeKey('z');  // typing has ended
    EXPECT_EQ(st.textNotes[1].text, "ab");
}

TEST(AnnotateGesture, UnknownKeywordsLeaveOneByOneRectangles) {
    AnnotateHarness h;
    AnnotationStore& st = h.store();
    for (const char* tool : {"Line", "scribble", "kitetail2"}) {
        SCOPED_TRACE(tool);
        h.drag(tool, 700, 800, 1500, 1500);
        EXPECT_TRUE(st.Shape1[0].Visible);
        EXPECT_EQ(st.Shape1[0].Shape, ShapeObject::Rectangle);
        EXPECT_EQ(st.Shape1[0].Left, 1500);
        EXPECT_EQ(st.Shape1[0].Top, 1500);
        EXPECT_EQ(st.Shape1[0].Width, 1);
        EXPECT_EQ(st.Shape1[0].Height, 1);
        EXPECT_EQ(st.nextShapeSlot, 0);
        EXPECT_FALSE(st.placementOpen);
        EXPECT_FALSE(st.Lines[0].Visible);
    }
    EXPECT_EQ(st.historyPos, 3);
    EXPECT_EQ(st.historyKinds[2], HistoryShape);
}

TEST(AnnotateGesture, RectangleFollowsPointerAcrossItsAnchor) {
    AnnotateHarness h;
    AnnotationStore& st = h.store();
    h.c().TVN_drawingTool = "square";
    h.down(1000, 1000);
    h.move(600, 1200);
    const ShapeObject& s = st.Shape1[0];
    EXPECT_EQ(s.Left, 600);
    EXPECT_EQ(s.Width, 401);
    EXPECT_EQ(s.Top, 1000);
    EXPECT_EQ(s.Height, 200);
    h.move(1400, 1200);
    EXPECT_EQ(s.Left, 600);
    EXPECT_EQ(s.Width, 800);
    h.move(1400, 700);  // above the anchor: the bottom stays at the last Top + Height
    EXPECT_EQ(s.Top, 700);
    EXPECT_EQ(s.Height, 500);
    h.up(1400, 700);
    EXPECT_EQ(st.nextShapeSlot, 1);
    EXPECT_EQ(st.historyKinds[0], HistoryShape);
}

TEST(AnnotateGesture, CirclinePhases) {
    AnnotateHarness h;
    AnnotationStore& st = h.store();
    h.drag("circle", 100, 100, 300, 300);  // an ordinary circle in slot 0
    h.drag("circline", 1000, 1000, 2000, 1400);
    EXPECT_EQ(h.c().TVN_drawingTool, "linecirc1");
    EXPECT_EQ(st.circlineShape, 1);
    EXPECT_EQ(st.Shape1[1].Shape, ShapeObject::Oval);
    EXPECT_EQ(st.circlineCenterX, 1500);
    EXPECT_EQ(st.circlineCenterY, 1200);
    EXPECT_EQ(st.circlineSpread, 1500);
    EXPECT_EQ(st.circlineDrop, 1500);
    EXPECT_EQ(st.nextShapeSlot, 2);
    EXPECT_FALSE(st.placementOpen);

    h.c().TVN_drawingColor = 0xFF0000;
    h.down(1600, 1300);
    EXPECT_EQ(st.circlineColor, static_cast<float>(0xFF0000));
    h.move(1400, 1100);  // left of and above the centre: unchanged
    EXPECT_EQ(st.circlineSpread, 1500);
    EXPECT_EQ(st.circlineDrop, 1500);
    h.move(2500, 3200);
    EXPECT_EQ(st.circlineSpread, 2000);
    EXPECT_EQ(st.circlineDrop, 2000);
    h.up(2500, 3200);
    EXPECT_EQ(h.c().TVN_drawingTool, "circline");
    EXPECT_FALSE(st.placementOpen);

    // A new circline press hides the old circle before starting the new one.
    h.down(3000, 3000);
    EXPECT_FALSE(st.Shape1[1].Visible);
    EXPECT_TRUE(st.Shape1[0].Visible);
    EXPECT_TRUE(st.Shape1[2].Visible);
    EXPECT_EQ(st.circlineShape, -1);
    EXPECT_EQ(st.circlineSpread, 0);
}

TEST(AnnotateGesture, TwoStrokeAngleCommitsMeasuredText) {
    AnnotateHarness h;
    AnnotationStore& st = h.store();
    h.drag("angle", 1000, 1000, 2000, 1000);
    EXPECT_EQ(h.c().TVN_drawingTool, "angle2");
    EXPECT_TRUE(st.placementOpen);
    EXPECT_EQ(st.Angle2.X1, 2000);
    EXPECT_EQ(st.Angle2.X2, 2000);
    h.down(0, 0);  // anywhere: the second arm starts at the vertex
    h.move(2000, 500);
    EXPECT_EQ(h.c().TVN_AngleText, "90" + kDeg);
    h.move(2500, 500);
    EXPECT_EQ(h.c().TVN_AngleText, "135" + kDeg);
    h.up(2500, 500);
    const AngleAnnotation& a = st.angleNotes[0];
    EXPECT_TRUE(a.shown);
    EXPECT_EQ(a.kind, 1);
    EXPECT_EQ(a.text, "135" + kDeg);
    EXPECT_EQ((std::array{a.x1, a.y1, a.x2, a.y2, a.x3, a.y3, a.x4, a.y4}),
              (std::array{1000, 1000, 2000, 1000, 2000, 1000, 2500, 500}));
    EXPECT_EQ(a.color, 0x00FFFF);
    EXPECT_EQ(a.fontName, "Arial Black");
    EXPECT_FALSE(st.Angle1.Visible);
    EXPECT_EQ(h.c().TVN_drawingTool, "angle");
    EXPECT_EQ(st.nextAngleSlot, 1);
    EXPECT_EQ(st.historyKinds[0], HistoryAngle);
    EXPECT_FALSE(st.placementOpen);
}

TEST(AnnotateGesture, TwoStrokeAngleWithFractionalDragCommitsEmptyText) {
    AnnotateHarness h;
    AnnotationStore& st = h.store();
    h.probe().state().pointerScaleX = 1.5;
    h.probe().state().pointerScaleY = 1.5;
    h.drag("angle", 1000, 1000, 1333, 667);  // last move (1999.5, 1000.5), release rounds to (2000, 1000)
    EXPECT_EQ(st.Angle1.X2, 1999.5f);
    EXPECT_EQ(st.Angle2.X1, 2000.0f);
    h.down(0, 0);
    h.move(1333, 333);
    EXPECT_TRUE(h.c().TVN_AngleText.isEmpty());
    h.up(1333, 333);
    EXPECT_TRUE(st.angleNotes[0].shown);
    EXPECT_TRUE(st.angleNotes[0].text.isEmpty());
    EXPECT_EQ(h.c().TVN_drawingTool, "angle");
}

TEST(AnnotateGesture, QuickAngleIsOneGesture) {
    AnnotateHarness h;
    AnnotationStore& st = h.store();
    h.c().TVN_drawingTool = "qangle";
    h.down(1000, 1000);
    EXPECT_EQ(h.c().TVN_drawingTool, "angle2");
    EXPECT_EQ(st.Angle1.X2, 1001);
    h.move(2000, 0);
    h.up(2000, 0);
    EXPECT_EQ(st.angleNotes[0].text, "45" + kDeg);
    EXPECT_EQ(h.c().TVN_drawingTool, "qangle");
    h.drag("qangle", 1000, 1000, 1000, 3000);
    EXPECT_EQ(st.angleNotes[1].text, "90" + kDeg);
    EXPECT_EQ(st.nextAngleSlot, 2);
}

TEST(AnnotateGesture, MarksTargetLightMouseAndFreeHand) {
    AnnotateHarness h;
    AnnotationStore& st = h.store();
    h.drag("target", 100.5f, 200, 301.5f, 400);
    EXPECT_EQ(st.targetX, 302);
    EXPECT_EQ(st.targetY, 400);

    h.c().TVN_drawingColor = 0x0000FF;
    h.drag("lightmouseleftish", 500, 600, 700.25f, 800);  // any "lightmouse..." keyword
    EXPECT_TRUE(st.lightMouseShown);
    EXPECT_FALSE(st.lightMouseLeft);
    EXPECT_EQ(st.lightMouseX, 700.25f);
    EXPECT_EQ(st.lightMouseColor, 0x0000FF);
    h.drag("lightmouseleft", 500, 600, 700, 800);
    EXPECT_TRUE(st.lightMouseLeft);

    // Free-hand from (0, 0): the first move draws nothing, later moves draw.
    Surface& layer = h.probe().picture(2);
    h.c().TVN_drawingTool = "free";
    h.down(0, 0);
    h.move(1500, 1500);
    EXPECT_EQ(Surface::fromQColor(layer.image().pixelColor(50, 50)), 0xFFFFFF);
    h.move(3000, 1500);
    EXPECT_EQ(Surface::fromQColor(layer.image().pixelColor(150, 100)), 0x0000FF);
    h.up(3000, 1500);
    EXPECT_EQ(st.freeHandLastX, 0);
    EXPECT_EQ(st.freeHandLastY, 0);
    // Beyond 16 bits the stroke's last point cannot be kept.
    h.down(100, 100);
    EXPECT_THROW(h.move(40000, 100), TvnError);
}

TEST(AnnotateGesture, ConvertedPositionsInEventsAndArguments) {
    AnnotateHarness h;
    h.probe().state().pointerScaleX = 2;
    h.probe().state().pointerScaleY = 2;
    QList<QPointF> events;
    QObject::connect(&h.c(), &Trelvan::MouseDown,
                     [&](int16_t&, int16_t&, float& x, float& y) { events.append({x, y}); });
    QObject::connect(&h.c(), &Trelvan::MouseUp, [&](int16_t&, int16_t&, float& x, float& y) {
        events.append({x, y});
        x = -1;  // changes to the event's temporaries are not handed back
    });
    int16_t button = 1, shift = 0;
    float x = 1000, y = 500;
    h.c().TVN_MouseDown(button, shift, x, y);
    EXPECT_EQ(x, 2000);
    EXPECT_EQ(y, 1000);
    ASSERT_EQ(events.size(), 1);
    EXPECT_NEAR(events[0].x(), 133.33, 0.01);
    EXPECT_NEAR(events[0].y(), 66.67, 0.01);

    h.probe().state().pointerScaleX = 1;
    h.probe().state().pointerScaleY = 1;
    h.c().TVN_drawingTool = "line";
    x = 1000, y = 1000;
    h.c().TVN_MouseDown(button, shift, x, y);
    x = 1500.4f, y = 999.6f;
    h.c().TVN_MouseUp(button, shift, x, y);
    EXPECT_EQ(x, 1500);
    EXPECT_EQ(y, 1000);
    EXPECT_NEAR(events.last().x(), 100, 1e-4);
    EXPECT_NEAR(events.last().y(), 66.667, 1e-3);
    EXPECT_EQ(h.store().Lines[0].X2, 1000);  // the release point is not written into the line
}

TEST(AnnotateGesture, GatesSkipToolWorkButRaiseTheEvent) {
    AnnotateHarness h;
    AnnotationStore& st = h.store();
    int downs = 0;
    QObject::connect(&h.c(), &Trelvan::MouseDown, [&](int16_t&, int16_t&, float&, float&) { ++downs; });
    Timer& timer2 = h.probe().timer2();

    h.c().TVN_drawingTool = "line";
    h.down(1000, 1000, 2);  // right button
    EXPECT_FALSE(st.Lines[0].Visible);
    EXPECT_FALSE(timer2.isEnabled());
    EXPECT_EQ(h.probe().loupe().left(), 0);  // the loupe did not follow
    // Its release with no open placement leaves a zero-length line, not advanced.
    h.up(1200, 1300, 2);
    EXPECT_TRUE(st.Lines[0].Visible);
    EXPECT_EQ(st.Lines[0].X1, 1200);
    EXPECT_EQ(st.Lines[0].X2, 1200);
    EXPECT_EQ(st.nextLineSlot, 0);
    EXPECT_EQ(st.historyPos, 1);

    h.c().TVN_drawingTool = "step";
    h.down(3000, 3000);
    EXPECT_FALSE(timer2.isEnabled());
    EXPECT_NE(h.probe().loupe().top(), 0);  // the loupe followed (centred with size 0)

    // A foreign bitmap handed to the engine: presses draw nothing.
    h.c().TVN_OverlayImage = 424242;
    h.c().TVN_drawingTool = "line";
    h.down(500, 500);
    EXPECT_FALSE(st.placementOpen);
    EXPECT_FALSE(timer2.isEnabled());
    EXPECT_EQ(downs, 3);

    h.c().TVN_OverlayImage = 0;
    h.c().TVN_drawingTool = "none";
    h.down(500, 500);
    EXPECT_TRUE(timer2.isEnabled());  // every left press past the gates, "none" too
}

TEST(AnnotateGesture, FailuresStopTheHandlerBeforeItsEvent) {
    AnnotateHarness h;
    int ups = 0;
    QObject::connect(&h.c(), &Trelvan::MouseUp, [&](int16_t&, int16_t&, float&, float&) { ++ups; });
    h.engine1->failOn("SetOverlayBitmap", TvnError(91, "engine gone", "VideoCapX1"));
    h.c().TVN_drawingTool = "line";
    h.down(100, 100);
    const auto e = errorFrom([&] { h.up(200, 200); });
    ASSERT_TRUE(e) << "release failure swallowed";
    EXPECT_EQ(e->number(), 91);
    EXPECT_EQ(e->description(), "engine gone");
    EXPECT_EQ(e->source(), "(TVN_MouseUp)->(PointerUp)->(RedrawAnnotations)->VideoCapX1");
    EXPECT_EQ(ups, 0);
    EXPECT_EQ(h.store().nextLineSlot, 1);  // what was done before the failure stays done

    // From the engine's notification the failure is kept, with the handler's own prefix, not thrown back.
    h.engine1->clearFailures();
    h.engine1->failOn("CurrentFramePicture", TvnError(92, "no frame", "VideoCapX1"));
    h.c().TVN_drawingTool = "zoom";
    int16_t b = 1, s = 0;
    float x = 10, y = 10;
    emit h.engine1->EngineMouseDown(b, s, x, y);
    ASSERT_NE(h.c().lastNotificationError(), nullptr);
    EXPECT_EQ(h.c().lastNotificationError()->source(), "(PointerDown)->VideoCapX1");
    EXPECT_TRUE(h.probe().zoomView()->isHidden());
}

TEST(AnnotateGesture, ZoomLoupeWindowAndPan) {
    AnnotateHarness h(640, 480);
    h.c().resize(600, 400);  // 9000 x 6000 twips
    h.engine1->currentPicture = Picture(QImage(640, 480, QImage::Format_RGB32));
    ZoomLoupe& loupe = h.probe().loupe();
    h.c().TVN_drawingTool = "zoom";
    h.down(4500, 3000);
    EXPECT_EQ(loupe.width(), 3000);
    EXPECT_EQ(loupe.height(), 2000);
    EXPECT_EQ(loupe.innerWidth(), 38400);
    EXPECT_EQ(loupe.innerHeight(), 28800);
    EXPECT_FALSE(h.probe().zoomView()->isHidden());
    // The first press after a resize centres with the previous size (none yet).
    EXPECT_EQ(loupe.left(), 4500);
    h.log.clear();
    h.move(4500, 3000);
    EXPECT_EQ(loupe.left(), 3000);
    EXPECT_EQ(loupe.top(), 2000);
    EXPECT_EQ(loupe.innerLeft(), -((4500 - 500) * 4));
    EXPECT_EQ(loupe.innerTop(), -((3000 - 2000.0 / 6) * 4));
    EXPECT_EQ(h.log.count("VideoCapX1.CurrentFramePicture()"), 1);  // a fresh frame per move
    EXPECT_EQ(h.probe().zoomView()->geometry(), QRect(200, 133, 200, 133));
    h.up(4500, 3000);
    EXPECT_TRUE(h.probe().zoomView()->isHidden());

    // A clip wider than 8191 pixels overflows the 16-bit product: no loupe.
    h.c().TVN_VideoWidth = 8192;
    EXPECT_THROW(h.down(100, 100), TvnError);
    EXPECT_TRUE(h.probe().zoomView()->isHidden());
}

TEST(AnnotateGesture, Timer2RedrawsDuringGesturesAndStopsInRawMode) {
    AnnotateHarness h;
    FakeTimer& timer2 = h.platform->timer(1);
    h.c().TVN_drawingTool = "line";
    h.down(100, 100);
    ASSERT_TRUE(timer2.isEnabled());
    h.log.clear();
    h.move(500, 500);  // the timer redraws instead
    EXPECT_TRUE(h.log.withPrefix("VideoCapX1.SetOverlayBitmap").isEmpty());
    bool enabledDuringEvents = true;
    h.platform->onProcessEvents = [&] { enabledDuringEvents = timer2.isEnabled(); };
    ASSERT_TRUE(timer2.fire());
    EXPECT_EQ(h.log.withPrefix("VideoCapX1.SetOverlayBitmap").size(), 1);
    EXPECT_TRUE(h.log.contains("DoEvents"));
    EXPECT_FALSE(enabledDuringEvents);
    EXPECT_TRUE(timer2.isEnabled());
    h.up(500, 500);
    EXPECT_FALSE(timer2.isEnabled());

    // Raw player mode: the first tick switches the timer off; then every move redraws.
    h.platform->onProcessEvents = nullptr;
    h.engine1->option43 = 0;
    h.down(100, 100);
    h.log.clear();
    ASSERT_TRUE(timer2.fire());
    EXPECT_FALSE(timer2.isEnabled());
    EXPECT_FALSE(h.log.contains("DoEvents"));
    h.move(200, 200);
    h.move(300, 300);
    EXPECT_EQ(h.log.count("VideoCapX1.Option43"), 3);  // the tick's and one redraw per move
}

TEST(AnnotateGesture, SetTrackingSwitchesToolAndDropsTrail) {
    AnnotateHarness h;
    AnnotationStore& st = h.store();
    bool on = true;
    h.c().TVN_SetTracking(on);
    EXPECT_EQ(h.c().TVN_drawingTool, "tracker");
    EXPECT_EQ(h.c().TVN_TrackingActive, -1);
    st.trackTrail.append(KiteTail{1, 2, 3, 4, 5});
    h.c().TVN_Close();
    h.c().TVN_SetTracking(on);
    EXPECT_EQ(st.trackTrail.size(), 1);  // switching on keeps earlier points
    on = false;
    h.c().TVN_SetTracking(on);
    EXPECT_EQ(h.c().TVN_drawingTool, "none");
    EXPECT_EQ(h.c().TVN_TrackingActive, 0);
    EXPECT_TRUE(st.trackTrail.isEmpty());
    h.c().TVN_EraseAll();  // the erase commands leave the trail and target alone
    EXPECT_TRUE(st.trackTrail.isEmpty());
}

}  // namespace
