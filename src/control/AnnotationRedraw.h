#pragma once

namespace tvn {

// Asks for the annotation surface to be drawn again and handed to the display.
// Subsystems that change what is drawn (or where the clip stands, when the
// trail or the clock depend on it) are handed this instead of the renderer, so
// the transport, which the renderer's tracking trail itself asks for the
// current frame, needs no renderer to be built.
class AnnotationRedraw {
public:
    virtual void redrawAnnotations() = 0;

protected:
    ~AnnotationRedraw() = default;
};

}  // namespace tvn
