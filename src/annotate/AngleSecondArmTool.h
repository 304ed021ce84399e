#pragma once

#include "annotate/ToolBehaviour.h"

namespace tvn {

// "angle2", the second arm: a drag pulls its end and measures the angle; the
// release commits the angle into the next angle slot and switches back to
// "angle" (or "qangle" for a quick angle).
class AngleSecondArmTool final : public ToolBehaviour {
public:
    bool drag(ToolContext& ctx, float x, float y) const override;
    void release(ToolContext& ctx, float x, float y) const override;
};

}  // namespace tvn
