#pragma once

#include "annotate/ToolBehaviour.h"

namespace tvn {

// "qangle": the press lays a one-twip horizontal first arm and switches to
// "angle2" for the second arm at once. A release still under "qangle" (no press
// switched it) places a rectangle corner, as a keyword outside the vocabulary.
class QuickAngleTool final : public ToolBehaviour {
public:
    void press(ToolContext& ctx, float x, float y) const override;
    void release(ToolContext& ctx, float x, float y) const override;
};

}  // namespace tvn
