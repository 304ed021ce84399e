#include "annotate/AnnotationRenderer.h"

#include "control/Trelvan.h"
#include "core/TvnError.h"
#include "media/VideoEngine.h"
#include "platform/Surface.h"

namespace tvn {

void AnnotationRenderer::RedrawAnnotations() {
    withPrefix("RedrawAnnotations", [&] {
        // Another bitmap has been handed to the engine: leave it in place.
        if (c_.TVN_OverlayImage != 0 && c_.TVN_OverlayImage != c_.Picture1->handle()) return;
        // Nothing to draw on.
        if (c_.VideoCapX1->Option43() == 0 || c_.TVN_videoFileName.isEmpty()) return;
        throw TvnError::notImplemented("RedrawAnnotations");
    });
}

}  // namespace tvn
