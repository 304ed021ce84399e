#include "annotate/KiteTailTool.h"

namespace tvn {

void KiteTailTool::release(ToolContext& ctx, float, float) const { closePlacement(ctx); }

}  // namespace tvn
