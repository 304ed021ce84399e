#pragma once

#include "annotate/ToolBehaviour.h"

namespace tvn {

// "linecirc1", the circline's guide lines: the press opens the placement in the
// drawing colour, a drag sizes the guide (only right of / below the centre; no
// redraw), the release switches back to "circline".
class CirclineGuideTool final : public ToolBehaviour {
public:
    void press(ToolContext& ctx, float x, float y) const override;
    bool drag(ToolContext& ctx, float x, float y) const override;
    void release(ToolContext& ctx, float x, float y) const override;
};

}  // namespace tvn
