#include "annotate/TargetTool.h"

#include "annotate/AnnotationStore.h"
#include "annotate/ToolContext.h"
#include "core/Numeric.h"

namespace tvn {

void TargetTool::press(ToolContext& ctx, float x, float y) const {
    ctx.store().targetX = toInt32(x);
    ctx.store().targetY = toInt32(y);
}

bool TargetTool::drag(ToolContext& ctx, float x, float y) const {
    press(ctx, x, y);
    return true;
}

}  // namespace tvn
