#pragma once

#include "annotate/ToolBehaviour.h"

namespace tvn {

// "angle", the first arm: the press collapses both arms at the pointer, a drag
// pulls the first arm's end, and the release switches to "angle2" with the second
// arm collapsed at the release point (the placement stays open for it).
class AngleTool final : public ToolBehaviour {
public:
    void press(ToolContext& ctx, float x, float y) const override;
    bool drag(ToolContext& ctx, float x, float y) const override;
    void release(ToolContext& ctx, float x, float y) const override;
};

}  // namespace tvn
