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

private:
    void drawLightMouse(Surface& p, int w);
    void drawCirclineGuide(Surface& p, int w);
    void drawShapes(Surface& p, int w);
    void drawCaptionAndClock(Surface& p);
    void drawGrid(Surface& p);
    void drawTexts(Surface& p);
    void drawLineLabel(Surface& p, const LineObject& line);

    ControlProperties& props_;
    ControlParts& parts_;
    ControlState& state_;
    AnnotationStore& store_;
    TrackingTrail& tracking_;
    LineLabel lineLabel_;
};

}  // namespace tvn
