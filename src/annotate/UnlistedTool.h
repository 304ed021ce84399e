#pragma once

#include "annotate/ToolBehaviour.h"

namespace tvn {

// A keyword outside the vocabulary: presses draw nothing, drags go on to the
// redraw, and the release places a rectangle corner (as "square" does).
class UnlistedTool final : public ToolBehaviour {
public:
    void release(ToolContext& ctx, float x, float y) const override;
};

}  // namespace tvn
