#include "annotate/PointerHandler.h"

#include "annotate/AnnotationStore.h"
#include "annotate/DrawingTool.h"
#include "annotate/Geometry.h"
#include "annotate/ToolBehaviour.h"
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

const ToolBehaviour& PointerHandler::readTool() {
    tool_ = parseDrawingTool(props_.TVN_drawingTool);
    return tools_.of(tool_);
}

void PointerHandler::switchTool(DrawingTool tool) {
    tool_ = tool;
    props_.TVN_drawingTool = drawingToolKeyword(tool);
}

AnnotationStore& PointerHandler::store() { return store_; }
int32_t PointerHandler::drawingColor() const { return props_.TVN_drawingColor; }
int16_t PointerHandler::drawingWidth() const { return props_.TVN_drawingWidth; }
int32_t PointerHandler::textColor() const { return props_.TVN_TextColor; }
QString PointerHandler::textFontName() const { return props_.TVN_FontName; }
int16_t PointerHandler::textFontSize() const { return props_.TVN_FontSize; }
const Surface& PointerHandler::annotationLayer() const { return drives_.annotationLayer; }
Surface& PointerHandler::freeHandLayer() { return drives_.freeHandLayer; }
ZoomLoupe& PointerHandler::loupe() { return loupe_; }
int32_t PointerHandler::currentFrame() { return transport_.TVN_GetFrame(); }
QString PointerHandler::angleText() const { return props_.TVN_AngleText; }
void PointerHandler::clearAngleText() { props_.TVN_AngleText.clear(); }
void PointerHandler::measureAngle() { UpdateAngleText(); }

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
        const ToolBehaviour& tool = readTool();
        followAndConvert(Button, x, y);

        if (!foreignOverlay() && tool.takesPresses() && Button == kLeftButton) {
            store_.quickAngle = false;
            drives_.gestureRedrawTimer.setEnabled(true);
            tool.press(*this, x, y);
        }

        // Temporaries: a handler's changes to the event position are not kept.
        float px = toPixelsX(x), py = toPixelsY(y);
        events_.raiseMouseDown(Button, Shift, px, py);
    });
}

void PointerHandler::PointerMove(int16_t& Button, int16_t& Shift, float& x, float& y) {
    withPrefix("PointerMove", [&] {
        const ToolBehaviour& tool = readTool();
        followAndConvert(Button, x, y);

        if (Button == kLeftButton && !foreignOverlay() && tool.drag(*this, x, y)) {
            // While the loupe timer runs it redraws every 200 ms instead.
            if (Button != 0 && !drives_.gestureRedrawTimer.isEnabled()) redraw_.redrawAnnotations();
        }

        float px = toPixelsX(x), py = toPixelsY(y);
        events_.raiseMouseMove(Button, Shift, px, py);
    });
}

void PointerHandler::PointerUp(int16_t& Button, int16_t& Shift, float& x, float& y) {
    withPrefix("PointerUp", [&] {
        const ToolBehaviour& tool = readTool();
        // The release rounds to whole surface twips and hands them back.
        x = static_cast<float>(toInt32(x * pointerScale_.pointerScaleX));
        y = static_cast<float>(toInt32(y * pointerScale_.pointerScaleY));

        if (!foreignOverlay()) {
            drives_.gestureRedrawTimer.setEnabled(false);
            store_.freeHandLastX = 0;
            store_.freeHandLastY = 0;
            tool.release(*this, x, y);
        }

        redraw_.redrawAnnotations();
        if (tool.stepsAfterRelease()) transport_.TVN_StepOneFrame();

        ignoringErrors([&] {
            float px = toPixelsX(x), py = toPixelsY(y);
            events_.raiseMouseUp(Button, Shift, px, py);
        });
    });
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
