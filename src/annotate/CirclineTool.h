#pragma once

#include "annotate/ShapeTool.h"

namespace tvn {

// "circline", an oval with guide lines: the press hides the previous circline
// circle (one guide at a time) and starts an oval, a drag stretches it as a
// shape, and the release keeps the circle's centre and size for the guide and
// switches to "linecirc1".
class CirclineTool final : public ShapeTool {
public:
    CirclineTool();
    void press(ToolContext& ctx, float x, float y) const override;
    void release(ToolContext& ctx, float x, float y) const override;
};

}  // namespace tvn
