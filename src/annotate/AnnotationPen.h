#pragma once

#include <QPointF>
#include <QString>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <optional>

namespace tvn {

class Surface;

// How one redraw strokes and prints. As documented: widths in picture pixels,
// the black shadows and outlines of the table. Readable: widths in screen
// pixels and an outline a screen pixel and a half wide around every stroke and label.
class AnnotationPen {
public:
    AnnotationPen(Surface& surface, bool readable, double scale, int32_t keyColour)
        : p(surface), readable_(readable), scale_(readable ? scale : 1.0), key_(keyColour) {}

    Surface& p;
    bool readable() const { return readable_; }
    // A width of w pixels as drawn on the surface.
    int width(int w) const { return readable_ ? std::max(1, int(std::lround(w * scale_))) : w; }
    // The outline's width on each side (readable), in surface pixels: a screen
    // pixel and a half, so that a full dark row survives the display's
    // smoothing wherever the stroke falls between its pixels.
    int rim() const { return std::max(1, int(std::lround(1.5 * scale_))); }
    // What an outline is drawn in: black around a colour, light around black
    // (never the key colour, which would show as a hole).
    int32_t outlineOf(int32_t colour) const;

    // A stroke of the documented width w. shadow: where the documented black
    // copy goes (twips right and down) for a coloured stroke, if it has one;
    // readable, every stroke has an outline instead.
    void line(double x1, double y1, double x2, double y2, int32_t colour, int w, std::optional<QPointF> shadow);
    // Prints text at the current position; readable, ringed by its outline.
    // label: a value the control writes (angle, length, clock), which readable
    // drawing prints in the design font whatever text was typed last.
    void print(const QString& text, int32_t colour, bool label);

private:
    bool readable_;
    double scale_;
    int32_t key_;
};

}  // namespace tvn
