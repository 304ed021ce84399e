#include "annotate/StepTool.h"

namespace tvn {

bool StepTool::drag(ToolContext&, float, float) const { return false; }

}  // namespace tvn
