#pragma once

#include "annotate/ToolBehaviour.h"

namespace tvn {

// "none": a left press starts the loupe timer and draws nothing; drags do not
// redraw; the release finishes nothing.
class IdleTool final : public ToolBehaviour {
public:
    bool drag(ToolContext& ctx, float x, float y) const override;
};

}  // namespace tvn
