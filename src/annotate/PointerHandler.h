#pragma once

#include "annotate/DrawingTool.h"
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
// and the host's TVN_Mouse* forwarders, for every drawing tool; key typing into
// a text; and the measuring of the angle being drawn.
//
// Units: x, y arrive in control twips and are scaled by pointerScaleX/Y to
// annotation-surface twips, which are written back into the caller's variables
// (the release also rounds them to whole twips). Every press, move and release
// ends by raising MouseDown / MouseMove / MouseUp with the position in video
// pixels; after a failure the event is not raised and the failure goes to the
// caller with the handler's prefix.
class PointerHandler {
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
    // may change the property between calls); a handler that switches tools
    // writes the keyword back through switchTool.
    void readTool();
    void switchTool(DrawingTool tool);
    bool isTool(DrawingTool tool) const { return tool_ == tool; }
    bool isLightMouseTool() const;
    // The shape a corner placed with the current tool starts: an oval for the circle tools.
    int16_t shapeOfTool() const;
    void startText(float x, float y);
    void startAngle(float x, float y);
    void startQuickAngle(float x, float y);
    void stretchShape(float x, float y);
    void commitAngle();
    void finishCircle(float x, float y);
    float toPixelsX(float twips) const;
    float toPixelsY(float twips) const;

    Properties props_;
    Drives drives_;
    const PointerScale& pointerScale_;
    AnnotationStore& store_;
    ControlEvents& events_;
    AnnotationRedraw& redraw_;
    ZoomLoupe& loupe_;
    Transport& transport_;
    DrawingTool tool_ = DrawingTool::Unknown;
};

}  // namespace tvn
