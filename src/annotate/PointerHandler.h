#pragma once

#include "annotate/DrawingTool.h"
#include "annotate/ToolBehaviours.h"
#include "annotate/ToolContext.h"
#include "control/ControlState.h"

#include <QString>
#include <cstdint>

class QWidget;

namespace tvn {

class Surface;
class Timer;

class AnnotationRedraw;
class AnnotationStore;
class ControlEvents;
class Transport;
class ZoomLoupe;

// Pointer press, drag and release on the video, from the engine's notifications
// and the host's TVN_Mouse* forwarders; key typing into a text; and the
// measuring of the angle being drawn. The handler converts the position, applies
// the gates (a foreign overlay, the left button), runs the gesture redraw timer,
// redraws and raises the events; what a press, drag or release draws is the
// behaviour of the tool TVN_drawingTool names (ToolBehaviours), to which the
// handler is the ToolContext.
//
// Units: x, y arrive in control twips and are scaled by pointerScaleX/Y to
// annotation-surface twips, which are written back into the caller's variables
// (the release also rounds them to whole twips). Every press, move and release
// ends by raising MouseDown / MouseMove / MouseUp with the position in video
// pixels; after a failure the event is not raised and the failure goes to the
// caller with the handler's prefix.
class PointerHandler : private ToolContext {
public:
    // The host's properties it reads (const) and writes.
    struct Properties {
        QString& TVN_drawingTool;
        const int32_t& TVN_drawingColor;
        const int16_t& TVN_drawingWidth;
        QString& TVN_AngleText;
        const int32_t& TVN_TextColor;
        const int16_t& TVN_FontSize;
        const int32_t& TVN_OverlayImage;
        const QString& TVN_FontName;
    };

    // What a gesture draws on and times.
    struct Drives {
        QWidget& control;  // the control itself: its size and its screen's twips per pixel
        Surface& annotationLayer;  // the drawings, laid over the video; the clip's size in twips
        Surface& freeHandLayer;  // free-hand strokes, white where nothing is drawn, combined into the annotation layer
        Timer& gestureRedrawTimer;  // redraws the annotations during a gesture
    };

    PointerHandler(Properties props, Drives drives, const PointerScale& pointerScale, AnnotationStore& store,
                   ControlEvents& events, AnnotationRedraw& redraw, ZoomLoupe& loupe, Transport& transport)
        : props_(props), drives_(drives), pointerScale_(pointerScale), store_(store), events_(events),
          redraw_(redraw), loupe_(loupe), transport_(transport) {}

    void PointerDown(int16_t& Button, int16_t& Shift, float& x, float& y);
    void PointerMove(int16_t& Button, int16_t& Shift, float& x, float& y);
    void PointerUp(int16_t& Button, int16_t& Shift, float& x, float& y);
    void TVN_MouseDown(int16_t& Button, int16_t& Shift, float& x, float& y);
    void TVN_MouseMove(int16_t& Button, int16_t& Shift, float& x, float& y);
    void TVN_MouseUp(int16_t& Button, int16_t& Shift, float& x, float& y);
    // The display engine's key notification: raises KeyPress; then, while a text
    // is being typed, the key as the host left it edits that text.
    void OnEngineKeyPress(int16_t& KeyAscii);
    // A key typed on the video (after the KeyPress event): with the tool "text"
    // while a text is being typed, edits the newest text (caret "_", backspace 8,
    // Enter 13 ends the text) and redraws.
    void TypeKey(int16_t keyAscii);

    // Measures Angle1 against Angle2 and writes TVN_AngleText ("45°"); arms
    // without a common end point leave the text as it is.
    void UpdateAngleText();

private:
    // Press and move: the loupe follows a left-button pointer, then x, y are
    // scaled from control twips to surface twips (not rounded).
    void followAndConvert(int16_t button, float& x, float& y);
    // A bitmap other than the annotation surface has been handed to the engine.
    bool foreignOverlay() const;
    // The tool is parsed from TVN_drawingTool on entry to each handler (the host
    // may change the property between calls); a tool that switches tools writes
    // the keyword back through switchTool.
    const ToolBehaviour& readTool();
    bool isTool(DrawingTool tool) const { return tool_ == tool; }
    float toPixelsX(float twips) const;
    float toPixelsY(float twips) const;

    // ToolContext
    AnnotationStore& store() override;
    int32_t drawingColor() const override;
    int16_t drawingWidth() const override;
    int32_t textColor() const override;
    QString textFontName() const override;
    int16_t textFontSize() const override;
    const Surface& annotationLayer() const override;
    Surface& freeHandLayer() override;
    ZoomLoupe& loupe() override;
    int32_t currentFrame() override;
    QString angleText() const override;
    void clearAngleText() override;
    void measureAngle() override;
    void switchTool(DrawingTool tool) override;

    Properties props_;
    Drives drives_;
    const PointerScale& pointerScale_;
    AnnotationStore& store_;
    ControlEvents& events_;
    AnnotationRedraw& redraw_;
    ZoomLoupe& loupe_;
    Transport& transport_;
    DrawingTool tool_ = DrawingTool::Unknown;
    ToolBehaviours tools_;
};

}  // namespace tvn
