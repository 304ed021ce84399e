#include "annotate/PointerHandler.h"

#include "annotate/AnnotationStore.h"
#include "annotate/DrawingTool.h"
#include "annotate/Geometry.h"
#include "annotate/ZoomLoupe.h"
#include "control/AnnotationRedraw.h"
#include "control/ControlEvents.h"
#include "core/Numeric.h"
#include "core/TvnError.h"
#include "core/Twips.h"
#include "platform/Surface.h"
#include "platform/Timer.h"
#include "playback/Transport.h"

namespace tvn {

namespace {
constexpr int16_t kLeftButton = 1;
constexpr int16_t kBackspace = 8;
constexpr int16_t kEnter = 13;
}  // namespace

bool PointerHandler::foreignOverlay() const {
    return props_.TVN_OverlayImage != 0 && !drives_.annotationLayer.hasHandle(props_.TVN_OverlayImage);
}

void PointerHandler::readTool() { tool_ = parseDrawingTool(props_.TVN_drawingTool); }

void PointerHandler::switchTool(DrawingTool tool) {
    tool_ = tool;
    props_.TVN_drawingTool = drawingToolKeyword(tool);
}

bool PointerHandler::isLightMouseTool() const {
    return tool_ == DrawingTool::LightMouse || tool_ == DrawingTool::LightMouseLeft;
}

int16_t PointerHandler::shapeOfTool() const {
    const bool oval = tool_ == DrawingTool::Circle || tool_ == DrawingTool::Circline;
    return oval ? ShapeObject::Oval : ShapeObject::Rectangle;
}

float PointerHandler::toPixelsX(float twips) const { return static_cast<float>(twips / twipsPerPixelX(&drives_.control)); }
float PointerHandler::toPixelsY(float twips) const { return static_cast<float>(twips / twipsPerPixelY(&drives_.control)); }

void PointerHandler::followAndConvert(int16_t button, float& x, float& y) {
    // The loupe is centred in control units, before the conversion.
    if (button == kLeftButton) loupe_.Follow(x, y);
    x = static_cast<float>(x * pointerScale_.pointerScaleX);
    y = static_cast<float>(y * pointerScale_.pointerScaleY);
}

void PointerHandler::PointerDown(int16_t& Button, int16_t& Shift, float& x, float& y) {
    withPrefix("PointerDown", [&] {
        readTool();
        AnnotationStore& st = store_;
        followAndConvert(Button, x, y);

        if (!foreignOverlay() && !isTool(DrawingTool::Step) && Button == kLeftButton) {
            st.quickAngle = false;
            drives_.gestureRedrawTimer.setEnabled(true);
            if (isTool(DrawingTool::Zoom)) {
                loupe_.SetUp();
            } else if (isTool(DrawingTool::Text)) {
                startText(x, y);
            } else {
                if (isTool(DrawingTool::Tracker)) {
                    KiteTail point;
                    point.frameNum = transport_.TVN_GetFrame();
                    point.color = props_.TVN_drawingColor;
                    point.width = props_.TVN_drawingWidth;
                    point.x = toInt32(x);
                    point.y = toInt32(y);
                    st.trackTrail.append(point);
                    st.trackTrailCreated = true;
                }
                if (isTool(DrawingTool::Circline)) {
                    // Only one circline guide at a time: the previous circle goes.
                    st.circlineSpread = 0;
                    if (st.circlineShape != -1) {
                        st.Shape1.at(static_cast<size_t>(st.circlineShape)).Visible = false;
                        st.circlineShape = -1;
                    }
                }
                if (isTool(DrawingTool::Target)) {
                    st.targetX = toInt32(x);
                    st.targetY = toInt32(y);
                }

                if (isTool(DrawingTool::None)) {
                } else if (isTool(DrawingTool::Free)) {
                    st.freeHandLastX = toInt16(x);
                    st.freeHandLastY = toInt16(y);
                } else if (isTool(DrawingTool::Line)) {
                    st.PlaceLinePoint(x, y, props_.TVN_drawingColor);
                } else if (isTool(DrawingTool::Angle)) {
                    startAngle(x, y);
                } else if (isTool(DrawingTool::QuickAngle)) {
                    startQuickAngle(x, y);
                } else if (isLightMouseTool()) {
                    st.lightMouseLeft = isTool(DrawingTool::LightMouseLeft);
                    st.lightMouseX = x;
                    st.lightMouseY = y;
                    st.lightMouseColor = props_.TVN_drawingColor;
                    st.lightMouseShown = true;
                } else if (isTool(DrawingTool::CirclineGuide)) {
                    st.circlineColor = static_cast<float>(props_.TVN_drawingColor);
                    st.placementOpen = true;
                } else if (isTool(DrawingTool::Square) || isTool(DrawingTool::Circle) || isTool(DrawingTool::Circline)) {
                    st.PlaceShapePoint(x, y, shapeOfTool(), props_.TVN_drawingColor);
                }
            }
        }

        // Temporaries: a handler's changes to the event position are not kept.
        float px = toPixelsX(x), py = toPixelsY(y);
        events_.raiseMouseDown(Button, Shift, px, py);
    });
}

void PointerHandler::startText(float x, float y) {
    AnnotationStore& st = store_;
    st.recordHistory(HistoryText);
    st.textSlot = AnnotationStore::nextPoolSlot(st.textSlot);
    TextAnnotation& t = st.textNotes.at(static_cast<size_t>(st.textSlot));
    t.x = toInt32(x);
    t.y = toInt32(y - 100.0f);  // the text's top is 100 twips above the pointer
    t.fontSize = props_.TVN_FontSize;
    t.fontName = props_.TVN_FontName;
    t.color = props_.TVN_TextColor;
    t.text = QString(AnnotationStore::kCaret);
    st.textTyping = true;
}

void PointerHandler::startAngle(float x, float y) {
    AnnotationStore& st = store_;
    st.angleNotes.at(static_cast<size_t>(st.nextAngleSlot)).shown = false;
    st.Angle1.X1 = x;
    st.Angle1.Y1 = y;
    st.Angle2.X1 = x;
    st.Angle2.Y1 = y;
    st.Angle1.X2 = x;
    st.Angle1.Y2 = y;
    st.Angle2.X2 = x;
    st.Angle2.Y2 = y;
    st.Angle1.Visible = st.Angle2.Visible = true;
    st.Angle1.BorderColor = st.Angle2.BorderColor = props_.TVN_drawingColor;
    props_.TVN_AngleText.clear();
    st.placementOpen = true;
}

void PointerHandler::startQuickAngle(float x, float y) {
    AnnotationStore& st = store_;
    st.quickAngle = true;
    st.angleNotes.at(static_cast<size_t>(st.nextAngleSlot)).shown = false;
    // The first arm is a one-twip horizontal reference; the drag pulls the second.
    st.Angle1.X1 = x;
    st.Angle1.Y1 = y;
    st.Angle1.X2 = x + 1;
    st.Angle1.Y2 = y;
    st.Angle2.X1 = st.Angle2.X2 = x;
    st.Angle2.Y1 = st.Angle2.Y2 = y;
    st.Angle1.Visible = st.Angle2.Visible = true;
    st.Angle1.BorderColor = st.Angle2.BorderColor = props_.TVN_drawingColor;
    props_.TVN_AngleText.clear();
    switchTool(DrawingTool::AngleSecondArm);
    st.placementOpen = true;
}

void PointerHandler::PointerMove(int16_t& Button, int16_t& Shift, float& x, float& y) {
    withPrefix("PointerMove", [&] {
        readTool();
        AnnotationStore& st = store_;
        followAndConvert(Button, x, y);

        if (Button == kLeftButton && !foreignOverlay() && !isTool(DrawingTool::Text)) {
            if (isTool(DrawingTool::CirclineGuide)) {
                // Only a pointer right of / below the centre sizes the guide.
                if (x > st.circlineCenterX) st.circlineSpread = 2 * (x - st.circlineCenterX);
                if (y > st.circlineCenterY) st.circlineDrop = y - st.circlineCenterY;
            } else if (isTool(DrawingTool::Zoom)) {
                loupe_.Pan(x, y);
            } else {
                if (isTool(DrawingTool::Target)) {
                    st.targetX = toInt32(x);
                    st.targetY = toInt32(y);
                }
                if (isTool(DrawingTool::None) || isTool(DrawingTool::Step)) {
                } else if (isTool(DrawingTool::Free)) {
                    // Segments go straight into the free-hand layer; no redraw here.
                    if (st.freeHandLastX > 0 || st.freeHandLastY > 0) {
                        drives_.freeHandLayer.setDrawWidth(props_.TVN_drawingWidth);
                        drives_.freeHandLayer.line(st.freeHandLastX, st.freeHandLastY, x, y, props_.TVN_drawingColor);
                    }
                    st.freeHandLastX = toInt16(x);
                    st.freeHandLastY = toInt16(y);
                } else if (isLightMouseTool()) {
                    st.lightMouseX = x;
                    st.lightMouseY = y;
                } else {
                    if (st.placementOpen) {
                        if (isTool(DrawingTool::Angle)) {
                            st.Angle1.X2 = x;
                            st.Angle1.Y2 = y;
                        } else if (isTool(DrawingTool::AngleSecondArm)) {
                            st.Angle2.X2 = x;
                            st.Angle2.Y2 = y;
                            UpdateAngleText();
                        } else if (isTool(DrawingTool::Line)) {
                            LineObject& line = st.Lines.at(static_cast<size_t>(st.nextLineSlot));
                            line.X2 = x;
                            line.Y2 = y;
                        } else if (isTool(DrawingTool::Square) || isTool(DrawingTool::Circle) || isTool(DrawingTool::Circline)) {
                            stretchShape(x, y);
                        }
                    }
                    // While the loupe timer runs it redraws every 200 ms instead.
                    if (Button != 0 && !drives_.gestureRedrawTimer.isEnabled()) redraw_.redrawAnnotations();
                }
            }
        }

        float px = toPixelsX(x), py = toPixelsY(y);
        events_.raiseMouseMove(Button, Shift, px, py);
    });
}

void PointerHandler::stretchShape(float x, float y) {
    AnnotationStore& st = store_;
    const auto slot = static_cast<size_t>(st.nextShapeSlot);
    ShapeObject& s = st.Shape1.at(slot);
    // The edge that does not follow the pointer is the one last set.
    if (x <= st.shapeAnchorX.at(slot)) {
        s.Width = s.Left - x + s.Width;
        s.Left = x;
    } else {
        s.Width = x - s.Left;
    }
    if (y > st.shapeAnchorY.at(slot)) {
        s.Height = y - s.Top;
    } else {
        s.Height = s.Top - y + s.Height;
        s.Top = y;
    }
}

void PointerHandler::PointerUp(int16_t& Button, int16_t& Shift, float& x, float& y) {
    withPrefix("PointerUp", [&] {
        readTool();
        AnnotationStore& st = store_;
        // The release rounds to whole surface twips and hands them back.
        x = static_cast<float>(toInt32(x * pointerScale_.pointerScaleX));
        y = static_cast<float>(toInt32(y * pointerScale_.pointerScaleY));

        if (!foreignOverlay()) {
            drives_.gestureRedrawTimer.setEnabled(false);
            st.freeHandLastX = 0;
            st.freeHandLastY = 0;
            if (isTool(DrawingTool::Zoom)) loupe_.Hide();
            const bool finishesNothing = isTool(DrawingTool::Text) || isTool(DrawingTool::Zoom) || isTool(DrawingTool::Tracker) || isTool(DrawingTool::None) ||
                                         isTool(DrawingTool::Free) || isTool(DrawingTool::Target) || isTool(DrawingTool::Step) || isLightMouseTool();
            if (!finishesNothing) {
                if (isTool(DrawingTool::Angle)) {
                    // The release point is the vertex: the second arm starts there.
                    switchTool(DrawingTool::AngleSecondArm);
                    st.Angle2.X1 = x;
                    st.Angle2.Y1 = y;
                    st.Angle2.X2 = x;
                    st.Angle2.Y2 = y;
                } else if (isTool(DrawingTool::AngleSecondArm)) {
                    commitAngle();
                } else if (isTool(DrawingTool::Line)) {
                    st.PlaceLinePoint(x, y, props_.TVN_drawingColor);
                } else if (isTool(DrawingTool::KiteTail)) {
                } else if (isTool(DrawingTool::Circline)) {
                    finishCircle(x, y);
                } else if (isTool(DrawingTool::CirclineGuide)) {
                    switchTool(DrawingTool::Circline);
                    st.placementOpen = false;
                } else {
                    st.PlaceShapePoint(x, y, shapeOfTool(), props_.TVN_drawingColor);
                }
                // Only the first arm of an angle keeps the placement open.
                if (!isTool(DrawingTool::AngleSecondArm)) st.placementOpen = false;
            }
        }

        redraw_.redrawAnnotations();
        if (isTool(DrawingTool::Tracker)) transport_.TVN_StepOneFrame();

        ignoringErrors([&] {
            float px = toPixelsX(x), py = toPixelsY(y);
            events_.raiseMouseUp(Button, Shift, px, py);
        });
    });
}

void PointerHandler::commitAngle() {
    AnnotationStore& st = store_;
    UpdateAngleText();
    AngleAnnotation a;
    a.text = props_.TVN_AngleText;
    a.color = st.Angle1.BorderColor;
    a.fontName = drives_.annotationLayer.fontName();
    a.fontSize = toInt16(drives_.annotationLayer.fontSize());
    a.x1 = toInt32(st.Angle1.X1);
    a.y1 = toInt32(st.Angle1.Y1);
    a.x2 = toInt32(st.Angle1.X2);
    a.y2 = toInt32(st.Angle1.Y2);
    a.x3 = toInt32(st.Angle2.X1);
    a.y3 = toInt32(st.Angle2.Y1);
    a.x4 = toInt32(st.Angle2.X2);
    a.y4 = toInt32(st.Angle2.Y2);
    a.kind = 1;
    a.shown = true;
    st.angleNotes.at(static_cast<size_t>(st.nextAngleSlot)) = a;
    st.Angle1.Visible = false;
    st.nextAngleSlot = st.nextAngleSlot >= AnnotationStore::kPoolSize - 1 ? 0 : st.nextAngleSlot + 1;
    st.recordHistory(HistoryAngle);
    switchTool(st.quickAngle ? DrawingTool::QuickAngle : DrawingTool::Angle);
    st.placementOpen = false;
}

void PointerHandler::finishCircle(float x, float y) {
    AnnotationStore& st = store_;
    switchTool(DrawingTool::CirclineGuide);
    const ShapeObject& circle = st.Shape1.at(static_cast<size_t>(st.nextShapeSlot));
    st.circlineLeft = circle.Left;
    st.circlineSpread = circle.Width;
    st.circlineTop = circle.Top;
    st.circlineCenterX = st.circlineSpread / 2 + st.circlineLeft;
    st.circlineCenterY = circle.Height / 2 + st.circlineTop;
    // The guide lines start 500 twips wider than the circle and as deep.
    st.circlineSpread = st.circlineSpread + 500;
    st.circlineShape = st.nextShapeSlot;
    st.circlineDrop = st.circlineSpread;
    st.PlaceShapePoint(x, y, shapeOfTool(), props_.TVN_drawingColor);
}

void PointerHandler::TVN_MouseDown(int16_t& Button, int16_t& Shift, float& x, float& y) {
    withPrefix("TVN_MouseDown", [&] { PointerDown(Button, Shift, x, y); });
}

void PointerHandler::TVN_MouseMove(int16_t& Button, int16_t& Shift, float& x, float& y) {
    withPrefix("TVN_MouseMove", [&] { PointerMove(Button, Shift, x, y); });
}

void PointerHandler::TVN_MouseUp(int16_t& Button, int16_t& Shift, float& x, float& y) {
    withPrefix("TVN_MouseUp", [&] { PointerUp(Button, Shift, x, y); });
}

void PointerHandler::OnEngineKeyPress(int16_t& KeyAscii) {
    withPrefix("EngineKeyPress", [&] {
        events_.raiseKeyPress(KeyAscii);  // the host may change the key, and the tool
        readTool();
        if (isTool(DrawingTool::Text) && store_.textTyping) TypeKey(KeyAscii);
    });
}

void PointerHandler::TypeKey(int16_t keyAscii) {
    AnnotationStore& st = store_;
    readTool();
    if (!isTool(DrawingTool::Text) || !st.textTyping) return;
    TextAnnotation& t = st.textNotes.at(static_cast<size_t>(st.textSlot));
    if (!t.text.isEmpty()) t.text.chop(1);  // the caret
    if (keyAscii == kBackspace) {
        if (!t.text.isEmpty()) t.text.chop(1);
    } else if (keyAscii == kEnter) {
        st.textTyping = false;
    } else {
        if (keyAscii < 0)
            throw TvnError(err::InvalidCall, QStringLiteral("Invalid key code %1 typed into a text").arg(keyAscii));
        t.color = props_.TVN_TextColor;
        t.text += QChar(static_cast<char16_t>(keyAscii));
    }
    if (keyAscii != kEnter) t.text += AnnotationStore::kCaret;
    redraw_.redrawAnnotations();
}

void PointerHandler::UpdateAngleText() {
    withPrefix("UpdateAngleText", [&] {
        const AnnotationStore& st = store_;
        if (SharedEndpoint(st.Angle1, st.Angle2) <= 0) return;
        int32_t ax = 0, ay = 0, vx = 0, vy = 0, bx = 0, by = 0;
        ArcPoints(st.Angle1, st.Angle2, ax, ay, vx, vy, bx, by);
        props_.TVN_AngleText = angleTextOf(AngleBetween(ax, ay, vx, vy, bx, by));
    });
}

}  // namespace tvn
