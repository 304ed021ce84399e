#include "annotate/PointerHandler.h"

#include "annotate/AnnotationRenderer.h"
#include "annotate/AnnotationStore.h"
#include "annotate/Geometry.h"
#include "annotate/ZoomLoupe.h"
#include "control/Trelvan.h"
#include "core/Numeric.h"
#include "core/TvnError.h"
#include "core/Twips.h"
#include "platform/Surface.h"
#include "platform/Timer.h"

namespace tvn {

namespace {
constexpr int16_t kLeftButton = 1;
constexpr int16_t kBackspace = 8;
constexpr int16_t kEnter = 13;
}  // namespace

bool PointerHandler::foreignOverlay() const {
    return c_.TVN_OverlayImage != 0 && !c_.Picture1->hasHandle(c_.TVN_OverlayImage);
}

bool PointerHandler::isTool(const char* keyword) const { return c_.TVN_drawingTool == QLatin1String(keyword); }

bool PointerHandler::isLightMouseTool() const {
    // Any keyword that begins with "lightmouse" is a light-mouse tool.
    return c_.TVN_drawingTool.left(10) == QLatin1String("lightmouse");
}

float PointerHandler::toPixelsX(float twips) const { return static_cast<float>(twips / twipsPerPixelX(&c_)); }
float PointerHandler::toPixelsY(float twips) const { return static_cast<float>(twips / twipsPerPixelY(&c_)); }

void PointerHandler::followAndConvert(int16_t button, float& x, float& y) {
    // The loupe is centred in control units, before the conversion.
    if (button == kLeftButton) c_.loupe_->Follow(x, y);
    x = static_cast<float>(x * c_.state_.pointerScaleX);
    y = static_cast<float>(y * c_.state_.pointerScaleY);
}

void PointerHandler::PointerDown(int16_t& Button, int16_t& Shift, float& x, float& y) {
    withPrefix("PointerDown", [&] {
        AnnotationStore& st = *c_.store_;
        followAndConvert(Button, x, y);

        if (!foreignOverlay() && !isTool("step") && Button == kLeftButton) {
            st.quickAngle = false;
            c_.Timer2->setEnabled(true);
            if (isTool("zoom")) {
                c_.loupe_->SetUp();
            } else if (isTool("text")) {
                startText(x, y);
            } else {
                if (isTool("tracker")) {
                    KiteTail point;
                    point.frameNum = c_.TVN_GetFrame();
                    point.color = c_.TVN_drawingColor;
                    point.width = c_.TVN_drawingWidth;
                    point.x = toInt32(x);
                    point.y = toInt32(y);
                    st.trackTrail.append(point);
                    st.trackTrailCreated = true;
                }
                if (isTool("circline")) {
                    // Only one circline guide at a time: the previous circle goes.
                    st.circlineSpread = 0;
                    if (st.circlineShape != -1) {
                        st.Shape1.at(static_cast<size_t>(st.circlineShape)).Visible = false;
                        st.circlineShape = -1;
                    }
                }
                if (isTool("target")) {
                    st.targetX = toInt32(x);
                    st.targetY = toInt32(y);
                }

                if (isTool("none")) {
                } else if (isTool("free")) {
                    st.freeHandLastX = toInt16(x);
                    st.freeHandLastY = toInt16(y);
                } else if (isTool("line")) {
                    st.PlaceLinePoint(x, y, c_.TVN_drawingColor);
                } else if (isTool("angle")) {
                    startAngle(x, y);
                } else if (isTool("qangle")) {
                    startQuickAngle(x, y);
                } else if (isLightMouseTool()) {
                    st.lightMouseLeft = isTool("lightmouseleft");
                    st.lightMouseX = x;
                    st.lightMouseY = y;
                    st.lightMouseColor = c_.TVN_drawingColor;
                    st.lightMouseShown = true;
                } else if (isTool("linecirc1")) {
                    st.circlineColor = static_cast<float>(c_.TVN_drawingColor);
                    st.placementOpen = true;
                } else if (isTool("square") || isTool("circle") || isTool("circline")) {
                    st.PlaceShapePoint(x, y, c_.TVN_drawingTool, c_.TVN_drawingColor);
                }
            }
        }

        // Temporaries: a handler's changes to the event position are not kept.
        float px = toPixelsX(x), py = toPixelsY(y);
        c_.raiseMouseDown(Button, Shift, px, py);
    });
}

void PointerHandler::startText(float x, float y) {
    AnnotationStore& st = *c_.store_;
    st.recordHistory(HistoryText);
    st.textSlot = AnnotationStore::nextPoolSlot(st.textSlot);
    TextAnnotation& t = st.textNotes.at(static_cast<size_t>(st.textSlot));
    t.x = toInt32(x);
    t.y = toInt32(y - 100.0f);  // the text's top is 100 twips above the pointer
    t.fontSize = c_.TVN_FontSize;
    t.fontName = c_.TVN_FontName;
    t.color = c_.TVN_TextColor;
    t.text = QString(AnnotationStore::kCaret);
    st.textTyping = true;
}

void PointerHandler::startAngle(float x, float y) {
    AnnotationStore& st = *c_.store_;
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
    st.Angle1.BorderColor = st.Angle2.BorderColor = c_.TVN_drawingColor;
    c_.TVN_AngleText.clear();
    st.placementOpen = true;
}

void PointerHandler::startQuickAngle(float x, float y) {
    AnnotationStore& st = *c_.store_;
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
    st.Angle1.BorderColor = st.Angle2.BorderColor = c_.TVN_drawingColor;
    c_.TVN_AngleText.clear();
    c_.TVN_drawingTool = QStringLiteral("angle2");
    st.placementOpen = true;
}

void PointerHandler::PointerMove(int16_t& Button, int16_t& Shift, float& x, float& y) {
    withPrefix("PointerMove", [&] {
        AnnotationStore& st = *c_.store_;
        followAndConvert(Button, x, y);

        if (Button == kLeftButton && !foreignOverlay() && !isTool("text")) {
            if (isTool("linecirc1")) {
                // Only a pointer right of / below the centre sizes the guide.
                if (x > st.circlineCenterX) st.circlineSpread = 2 * (x - st.circlineCenterX);
                if (y > st.circlineCenterY) st.circlineDrop = y - st.circlineCenterY;
            } else if (isTool("zoom")) {
                c_.loupe_->Pan(x, y);
            } else {
                if (isTool("target")) {
                    st.targetX = toInt32(x);
                    st.targetY = toInt32(y);
                }
                if (isTool("none") || isTool("step")) {
                } else if (isTool("free")) {
                    // Segments go straight into the free-hand layer; no redraw here.
                    if (st.freeHandLastX > 0 || st.freeHandLastY > 0) {
                        c_.Picture2->setDrawWidth(c_.TVN_drawingWidth);
                        c_.Picture2->line(st.freeHandLastX, st.freeHandLastY, x, y, c_.TVN_drawingColor);
                    }
                    st.freeHandLastX = toInt16(x);
                    st.freeHandLastY = toInt16(y);
                } else if (isLightMouseTool()) {
                    st.lightMouseX = x;
                    st.lightMouseY = y;
                } else {
                    if (st.placementOpen) {
                        if (isTool("angle")) {
                            st.Angle1.X2 = x;
                            st.Angle1.Y2 = y;
                        } else if (isTool("angle2")) {
                            st.Angle2.X2 = x;
                            st.Angle2.Y2 = y;
                            UpdateAngleText();
                        } else if (isTool("line")) {
                            LineObject& line = st.Lines.at(static_cast<size_t>(st.nextLineSlot));
                            line.X2 = x;
                            line.Y2 = y;
                        } else if (isTool("square") || isTool("circle") || isTool("circline")) {
                            stretchShape(x, y);
                        }
                    }
                    // While the loupe timer runs it redraws every 200 ms instead.
                    if (Button != 0 && !c_.Timer2->isEnabled()) c_.renderer_->RedrawAnnotations();
                }
            }
        }

        float px = toPixelsX(x), py = toPixelsY(y);
        c_.raiseMouseMove(Button, Shift, px, py);
    });
}

void PointerHandler::stretchShape(float x, float y) {
    AnnotationStore& st = *c_.store_;
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
        AnnotationStore& st = *c_.store_;
        // The release rounds to whole surface twips and hands them back.
        x = static_cast<float>(toInt32(x * c_.state_.pointerScaleX));
        y = static_cast<float>(toInt32(y * c_.state_.pointerScaleY));

        if (!foreignOverlay()) {
            c_.Timer2->setEnabled(false);
            st.freeHandLastX = 0;
            st.freeHandLastY = 0;
            if (isTool("zoom")) c_.loupe_->Hide();
            const bool finishesNothing = isTool("text") || isTool("zoom") || isTool("tracker") || isTool("none") ||
                                         isTool("free") || isTool("target") || isTool("step") || isLightMouseTool();
            if (!finishesNothing) {
                if (isTool("angle")) {
                    // The release point is the vertex: the second arm starts there.
                    c_.TVN_drawingTool = QStringLiteral("angle2");
                    st.Angle2.X1 = x;
                    st.Angle2.Y1 = y;
                    st.Angle2.X2 = x;
                    st.Angle2.Y2 = y;
                } else if (isTool("angle2")) {
                    commitAngle();
                } else if (isTool("line")) {
                    st.PlaceLinePoint(x, y, c_.TVN_drawingColor);
                } else if (isTool("kitetail")) {
                } else if (isTool("circline")) {
                    finishCircle(x, y);
                } else if (isTool("linecirc1")) {
                    c_.TVN_drawingTool = QStringLiteral("circline");
                    st.placementOpen = false;
                } else {
                    st.PlaceShapePoint(x, y, c_.TVN_drawingTool, c_.TVN_drawingColor);
                }
                // Only the first arm of an angle keeps the placement open.
                if (!isTool("angle2")) st.placementOpen = false;
            }
        }

        c_.renderer_->RedrawAnnotations();
        if (isTool("tracker")) c_.TVN_StepOneFrame();

        ignoringErrors([&] {
            float px = toPixelsX(x), py = toPixelsY(y);
            c_.raiseMouseUp(Button, Shift, px, py);
        });
    });
}

void PointerHandler::commitAngle() {
    AnnotationStore& st = *c_.store_;
    UpdateAngleText();
    AngleAnnotation a;
    a.text = c_.TVN_AngleText;
    a.color = st.Angle1.BorderColor;
    a.fontName = c_.Picture1->fontName();
    a.fontSize = toInt16(c_.Picture1->fontSize());
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
    c_.TVN_drawingTool = st.quickAngle ? QStringLiteral("qangle") : QStringLiteral("angle");
    st.placementOpen = false;
}

void PointerHandler::finishCircle(float x, float y) {
    AnnotationStore& st = *c_.store_;
    c_.TVN_drawingTool = QStringLiteral("linecirc1");
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
    st.PlaceShapePoint(x, y, c_.TVN_drawingTool, c_.TVN_drawingColor);
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

void PointerHandler::TypeKey(int16_t keyAscii) {
    AnnotationStore& st = *c_.store_;
    if (!isTool("text") || !st.textTyping) return;
    TextAnnotation& t = st.textNotes.at(static_cast<size_t>(st.textSlot));
    if (!t.text.isEmpty()) t.text.chop(1);  // the caret
    if (keyAscii == kBackspace) {
        if (!t.text.isEmpty()) t.text.chop(1);
    } else if (keyAscii == kEnter) {
        st.textTyping = false;
    } else {
        if (keyAscii < 0)
            throw TvnError(err::InvalidCall, QStringLiteral("Invalid key code %1 typed into a text").arg(keyAscii));
        t.color = c_.TVN_TextColor;
        t.text += QChar(static_cast<char16_t>(keyAscii));
    }
    if (keyAscii != kEnter) t.text += AnnotationStore::kCaret;
    c_.renderer_->RedrawAnnotations();
}

void PointerHandler::UpdateAngleText() {
    withPrefix("UpdateAngleText", [&] {
        const AnnotationStore& st = *c_.store_;
        if (SharedEndpoint(st.Angle1, st.Angle2) <= 0) return;
        int32_t ax = 0, ay = 0, vx = 0, vy = 0, bx = 0, by = 0;
        ArcPoints(st.Angle1, st.Angle2, ax, ay, vx, vy, bx, by);
        c_.TVN_AngleText = angleTextOf(AngleBetween(ax, ay, vx, vy, bx, by));
    });
}

}  // namespace tvn
