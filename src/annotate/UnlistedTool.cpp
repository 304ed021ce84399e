#include "annotate/UnlistedTool.h"

#include "annotate/AnnotationStore.h"

namespace tvn {

void UnlistedTool::release(ToolContext& ctx, float x, float y) const {
    placeCornerAndClose(ctx, x, y, ShapeObject::Rectangle);
}

}  // namespace tvn
