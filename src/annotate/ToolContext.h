#pragma once

#include "annotate/DrawingTool.h"

#include <QString>
#include <cstdint>

namespace tvn {

class AnnotationStore;
class Surface;
class ZoomLoupe;

// What a drawing tool reaches while it handles a press, a drag or a release:
// the store it draws into, the drawing properties it reads, the two layers, the
// loupe, the frame on show, the angle being measured and the tool keyword it may
// switch to. The pointer handler implements it for the tools it dispatches to.
class ToolContext {
public:
    virtual ~ToolContext() = default;

    virtual AnnotationStore& store() = 0;
    virtual int32_t drawingColor() const = 0;  // TVN_drawingColor
    virtual int16_t drawingWidth() const = 0;  // TVN_drawingWidth
    virtual int32_t textColor() const = 0;     // TVN_TextColor
    virtual QString textFontName() const = 0;  // TVN_FontName
    virtual int16_t textFontSize() const = 0;  // TVN_FontSize
    // The annotation surface (its font goes into a committed angle) and the
    // free-hand layer the strokes are painted into.
    virtual const Surface& annotationLayer() const = 0;
    virtual Surface& freeHandLayer() = 0;
    virtual ZoomLoupe& loupe() = 0;
    virtual int32_t currentFrame() = 0;
    // TVN_AngleText: cleared when an angle starts, measured from Angle1 and Angle2.
    virtual QString angleText() const = 0;
    virtual void clearAngleText() = 0;
    virtual void measureAngle() = 0;
    // Writes the keyword of the tool back into TVN_drawingTool.
    virtual void switchTool(DrawingTool tool) = 0;
};

}  // namespace tvn
