#include "annotate/CirclineGuideTool.h"

#include "annotate/AnnotationStore.h"
#include "annotate/ToolContext.h"

namespace tvn {

void CirclineGuideTool::press(ToolContext& ctx, float, float) const {
    ctx.store().circlineColor = static_cast<float>(ctx.drawingColor());
    ctx.store().placementOpen = true;
}

bool CirclineGuideTool::drag(ToolContext& ctx, float x, float y) const {
    AnnotationStore& st = ctx.store();
    // Only a pointer right of / below the centre sizes the guide.
    if (x > st.circlineCenterX) st.circlineSpread = 2 * (x - st.circlineCenterX);
    if (y > st.circlineCenterY) st.circlineDrop = y - st.circlineCenterY;
    return false;
}

void CirclineGuideTool::release(ToolContext& ctx, float, float) const {
    ctx.switchTool(DrawingTool::Circline);
    closePlacement(ctx);
}

}  // namespace tvn
