#pragma once

#include "annotate/ToolBehaviour.h"

namespace tvn {

// "step": presses are ignored (no loupe timer either), drags do not redraw, and
// the release finishes nothing.
class StepTool final : public ToolBehaviour {
public:
    bool takesPresses() const override { return false; }
    bool drag(ToolContext& ctx, float x, float y) const override;
};

}  // namespace tvn
