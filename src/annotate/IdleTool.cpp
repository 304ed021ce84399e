#include "annotate/IdleTool.h"

namespace tvn {

bool IdleTool::drag(ToolContext&, float, float) const { return false; }

}  // namespace tvn
