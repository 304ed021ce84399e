#include "annotate/ToolBehaviour.h"

#include "annotate/AnnotationStore.h"
#include "annotate/ToolContext.h"

namespace tvn {

void ToolBehaviour::press(ToolContext&, float, float) const {}

bool ToolBehaviour::drag(ToolContext&, float, float) const { return true; }

void ToolBehaviour::release(ToolContext&, float, float) const {}

void ToolBehaviour::placeCornerAndClose(ToolContext& ctx, float x, float y, int16_t shape) {
    ctx.store().PlaceShapePoint(x, y, shape, ctx.drawingColor());
    closePlacement(ctx);
}

void ToolBehaviour::closePlacement(ToolContext& ctx) { ctx.store().placementOpen = false; }

}  // namespace tvn
