#pragma once

#include "annotate/ToolBehaviour.h"

namespace tvn {

// "target": the cross-hair follows presses and drags (whole twips).
class TargetTool final : public ToolBehaviour {
public:
    void press(ToolContext& ctx, float x, float y) const override;
    bool drag(ToolContext& ctx, float x, float y) const override;
};

}  // namespace tvn
