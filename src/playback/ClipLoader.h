#pragma once

#include "core/Picture.h"

#include <QString>
#include <QVariant>
#include <cstdint>

namespace tvn {

class AnnotationRedraw;
struct ControlParts;
struct ControlProperties;
struct ControlState;
class LayoutManager;

// The frame measures of a clip, derived from what the engine reports.
struct ClipMeasures {
    int32_t numFrames = 0;
    double frameLenMs = 0;
    double totalLenMs = 0;  // numFrames x frameLenMs
};

// Opening and closing a clip, deriving the clip measures, and closing the second-clip overlay.
class ClipLoader {
public:
    ClipLoader(ControlProperties& props, ControlParts& parts, ControlState& state, AnnotationRedraw& redraw,
               LayoutManager& layout)
        : props_(props), parts_(parts), state_(state), redraw_(redraw), layout_(layout) {}

    // Closes the previous clip, opens the new one in the display engine, stands
    // it paused at 0 and derives the measures and the picture size (pixels and
    // twips). Returns the number of frames; 0 for an empty name or when the
    // engine reports no usable frame count or duration.
    int32_t TVN_OpenFile(QString& videoFileName);
    QVariant TVN_Close();
    void CloseOverlay();

    // The measures for an engine's frame count and duration (ms); all 0 when
    // either is not positive. Rounding is half to even; Overflow (6) when the
    // frame count does not fit 32 bits.
    static ClipMeasures measuresFor(double frames, double lengthMs);

private:
    ControlProperties& props_;
    ControlParts& parts_;
    ControlState& state_;
    AnnotationRedraw& redraw_;
    LayoutManager& layout_;
};

}  // namespace tvn
