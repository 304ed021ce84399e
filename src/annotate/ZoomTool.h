#pragma once

#include "annotate/ToolBehaviour.h"

namespace tvn {

// "zoom": the press sets up the loupe, a drag pans it (no redraw: the loupe
// timer redraws), the release hides it.
class ZoomTool final : public ToolBehaviour {
public:
    void press(ToolContext& ctx, float x, float y) const override;
    bool drag(ToolContext& ctx, float x, float y) const override;
    void release(ToolContext& ctx, float x, float y) const override;
};

}  // namespace tvn
