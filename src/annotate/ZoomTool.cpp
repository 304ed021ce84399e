#include "annotate/ZoomTool.h"

#include "annotate/ToolContext.h"
#include "annotate/ZoomLoupe.h"

namespace tvn {

void ZoomTool::press(ToolContext& ctx, float, float) const { ctx.loupe().SetUp(); }

bool ZoomTool::drag(ToolContext& ctx, float x, float y) const {
    ctx.loupe().Pan(x, y);
    return false;
}

void ZoomTool::release(ToolContext& ctx, float, float) const { ctx.loupe().Hide(); }

}  // namespace tvn
