#include "annotate/ShapeTool.h"

#include "annotate/AnnotationStore.h"
#include "annotate/ToolContext.h"

namespace tvn {

void ShapeTool::press(ToolContext& ctx, float x, float y) const {
    ctx.store().PlaceShapePoint(x, y, shape_, ctx.drawingColor());
}

bool ShapeTool::drag(ToolContext& ctx, float x, float y) const {
    AnnotationStore& st = ctx.store();
    if (!st.placementOpen) return true;
    const auto slot = static_cast<size_t>(st.nextShapeSlot);
    ShapeObject& s = st.Shape1.at(slot);
    // The edge that does not follow the pointer is the one last set.
    if (x <= st.shapeAnchorX.at(slot)) {
        s.Width = s.Left - x + s.Width;
        s.Left = x;
    } else {
        s.Width = x - s.Left;
    }
    if (y > st.shapeAnchorY.at(slot)) {
        s.Height = y - s.Top;
    } else {
        s.Height = s.Top - y + s.Height;
        s.Top = y;
    }
    return true;
}

void ShapeTool::release(ToolContext& ctx, float x, float y) const { placeCornerAndClose(ctx, x, y, shape_); }

}  // namespace tvn
