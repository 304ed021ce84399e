#pragma once

#include "annotate/ToolBehaviour.h"

namespace tvn {

// "kitetail": presses place nothing; the release places nothing either but
// closes the placement.
class KiteTailTool final : public ToolBehaviour {
public:
    void release(ToolContext& ctx, float x, float y) const override;
};

}  // namespace tvn
