#pragma once

#include <QImage>
#include <QString>
#include <cstdint>

namespace tvn {

class AnnotationStore;
class MotionAnalysis;

namespace analysis {

// The narrow ports the analysis companion reads and drives, one per role; the
// control's private implementation answers them. The control's properties and
// its public calls (TVN_OpenFile, TVN_SetFrame, TVN_Overlay ...) the companion
// reaches through the control itself, as a host would.

// The coach's drawings: the store (pools, marks, trail, undo history), the
// free-hand strokes (pixels of their surface, white where nothing is drawn)
// and the redraw that shows them.
class DrawingPort {
public:
    virtual ~DrawingPort() = default;
    virtual AnnotationStore& drawings() = 0;
    virtual QImage freeHandStrokes() const = 0;
    // Replaces the strokes (scaled to the surface when the sizes differ).
    virtual void setFreeHandStrokes(const QImage& strokes) = 0;
    virtual void redrawDrawings() = 0;
    virtual bool readableDrawing() const = 0;
    // Twips of the drawing surfaces per picture pixel (the control's screen).
    virtual double twipsPerPixelX() const = 0;
    virtual double twipsPerPixelY() const = 0;
};

// The overlay comparison as the coach set it up: the second clip and where,
// how and at which frame it is shown.
struct SecondClip {
    QString fileName;  // "" no overlay
    bool placed = false;  // placeSecondClip was called (otherwise the second clip fills the display)
    int32_t left = 0, top = 0, width = 0, height = 0;  // display pixels
    int32_t opacity = 50;  // percent
    int32_t frame = -1;  // the second clip's frame as last set; -1 never set
    double positionMs = -1;  // its position as last set (by frame or by position); -1 never set
    bool mirrored = false;

    bool operator==(const SecondClip&) const = default;
};

class ComparisonPort {
public:
    virtual ~ComparisonPort() = default;
    virtual SecondClip secondClip() const = 0;
};

// Everything the companion is handed.
class AnalysisPorts {
public:
    AnalysisPorts(DrawingPort& drawing, ComparisonPort& comparison) : drawing(drawing), comparison(comparison) {}
    DrawingPort& drawing;
    ComparisonPort& comparison;
};

}  // namespace analysis
}  // namespace tvn
