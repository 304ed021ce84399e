#pragma once

#include "annotate/ToolBehaviour.h"

namespace tvn {

// "free": the press starts a stroke, each drag paints a segment straight into
// the free-hand layer (no redraw), and the release (which resets the stroke in
// the handler) finishes nothing.
class FreeHandTool final : public ToolBehaviour {
public:
    void press(ToolContext& ctx, float x, float y) const override;
    bool drag(ToolContext& ctx, float x, float y) const override;
};

}  // namespace tvn
