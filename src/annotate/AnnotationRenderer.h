#pragma once

#include <QString>
#include <cstdint>
#include <functional>

namespace tvn {

class AnnotationStore;
struct LineObject;
struct ControlParts;
struct ControlProperties;
struct ControlState;
class Surface;
class TrackingTrail;

// Turns the annotation store into the picture on the annotation surface (Picture1)
// and hands it to the video engine as an overlay with a key colour.
//
// Every call repaints the whole surface from nothing, in a fixed order: clear to
// the key colour, logo, tracking trail, target, light-mouse arrow, the angle in
// progress, committed angles, the line pool, the circline guide, the shape pool,
// caption and clock, grid, texts, then the free-hand layer ANDed over it; then the
// hand-over to the engine and, while paused, a seek to the current position + 1 ms
// so the paused frame shows the new overlay. A failure ends the redraw where it
// happened (what was drawn stays, the hand-over does not run).
//
// Readable drawing, a host's opt-in for HD footage shown small (off by default,
// when the drawing is exactly as above): pen widths count screen pixels, not
// picture pixels (the surface has the clip's size and is shown at the display's),
// every stroke, trail segment and label gets an outline a screen pixel and a half wide on
// each side instead of the offset shadow (black around colours, light around
// black), so it reads on any picture, yellow on yellow too; the labels (angle
// values, line lengths, clock) keep the design font, bold, whatever text was
// typed last; and an angle in progress shows no value until its second arm has
// a length.
class AnnotationRenderer {
public:
    AnnotationRenderer(ControlProperties& props, ControlParts& parts, ControlState& state, AnnotationStore& store,
                       TrackingTrail& tracking)
        : props_(props), parts_(parts), state_(state), store_(store), tracking_(tracking) {}

    void RedrawAnnotations();

    // The live angle text as the renderer prints it: the leading number of `text`
    // (0 if none) rounded half to even, followed by the degree sign ("°" -> "0°",
    // "" -> "0°"). Committed angles print their stored text as it is.
    static QString normalisedAngleText(const QString& text);

    // Text printed beside each visible line of the line pool, from its end points
    // in drawing coordinates (the motion companion's real lengths); nothing is
    // printed where it returns an empty text or none is set, as by default.
    using LineLabel = std::function<QString(double x1, double y1, double x2, double y2)>;
    void setLineLabel(LineLabel label) { lineLabel_ = std::move(label); }

    void setReadable(bool on) { readable_ = on; }
    bool readable() const { return readable_; }

private:
    class Pen;
    void drawLightMouse(Pen& pen, int w);
    void drawCirclineGuide(Pen& pen, int w);
    void drawShapes(Pen& pen, int w);
    void drawCaptionAndClock(Pen& pen);
    void drawGrid(Surface& p);
    void drawTexts(Pen& pen);
    void drawLineLabel(Pen& pen, const LineObject& line);
    // Picture pixels per screen pixel of the display (1 before it is placed).
    double screenScale() const;

    ControlProperties& props_;
    ControlParts& parts_;
    ControlState& state_;
    AnnotationStore& store_;
    TrackingTrail& tracking_;
    LineLabel lineLabel_;
    bool readable_ = false;
};

}  // namespace tvn
