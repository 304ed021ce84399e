#pragma once

#include "annotate/ToolBehaviour.h"

namespace tvn {

// "line": the press starts a line, a drag moves its free end while the placement
// is open, the release closes it.
class LineTool final : public ToolBehaviour {
public:
    void press(ToolContext& ctx, float x, float y) const override;
    bool drag(ToolContext& ctx, float x, float y) const override;
    void release(ToolContext& ctx, float x, float y) const override;
};

}  // namespace tvn
