#pragma once

#include "annotate/ToolBehaviour.h"

#include <cstdint>

namespace tvn {

// "square" (a rectangle) and "circle" (an oval): the press starts a 1 x 1 shape
// at the pointer, a drag stretches it between its anchor and the pointer while
// the placement is open, and the release closes it.
class ShapeTool : public ToolBehaviour {
public:
    explicit ShapeTool(int16_t shape) : shape_(shape) {}
    void press(ToolContext& ctx, float x, float y) const override;
    bool drag(ToolContext& ctx, float x, float y) const override;
    void release(ToolContext& ctx, float x, float y) const override;

protected:
    int16_t shape() const { return shape_; }

private:
    int16_t shape_;
};

}  // namespace tvn
