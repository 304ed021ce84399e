#include "annotate/FreeHandTool.h"

#include "annotate/AnnotationStore.h"
#include "annotate/ToolContext.h"
#include "core/Numeric.h"
#include "platform/Surface.h"

namespace tvn {

void FreeHandTool::press(ToolContext& ctx, float x, float y) const {
    ctx.store().freeHandLastX = toInt16(x);
    ctx.store().freeHandLastY = toInt16(y);
}

bool FreeHandTool::drag(ToolContext& ctx, float x, float y) const {
    AnnotationStore& st = ctx.store();
    // Segments go straight into the free-hand layer; no redraw here. A stroke
    // whose last point is still (0, 0) has none to draw from.
    if (st.freeHandLastX > 0 || st.freeHandLastY > 0) {
        Surface& layer = ctx.freeHandLayer();
        layer.setDrawWidth(ctx.drawingWidth());
        layer.line(st.freeHandLastX, st.freeHandLastY, x, y, ctx.drawingColor());
    }
    press(ctx, x, y);
    return false;
}

}  // namespace tvn
