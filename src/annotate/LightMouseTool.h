#pragma once

#include "annotate/ToolBehaviour.h"

namespace tvn {

// "lightmouse..." and "lightmouseleft": the pointer arrow follows presses and
// drags (not rounded; no redraw); the release finishes nothing.
class LightMouseTool final : public ToolBehaviour {
public:
    explicit LightMouseTool(bool pointsLeft) : pointsLeft_(pointsLeft) {}
    void press(ToolContext& ctx, float x, float y) const override;
    bool drag(ToolContext& ctx, float x, float y) const override;

private:
    bool pointsLeft_;
};

}  // namespace tvn
