#include "annotate/CirclineTool.h"

#include "annotate/AnnotationStore.h"
#include "annotate/ToolContext.h"

namespace tvn {

CirclineTool::CirclineTool() : ShapeTool(ShapeObject::Oval) {}

void CirclineTool::press(ToolContext& ctx, float x, float y) const {
    AnnotationStore& st = ctx.store();
    // Only one circline guide at a time: the previous circle goes.
    st.circlineSpread = 0;
    if (st.circlineShape != -1) {
        st.Shape1.at(static_cast<size_t>(st.circlineShape)).Visible = false;
        st.circlineShape = -1;
    }
    ShapeTool::press(ctx, x, y);
}

void CirclineTool::release(ToolContext& ctx, float x, float y) const {
    AnnotationStore& st = ctx.store();
    ctx.switchTool(DrawingTool::CirclineGuide);
    const ShapeObject& circle = st.Shape1.at(static_cast<size_t>(st.nextShapeSlot));
    st.circlineLeft = circle.Left;
    st.circlineSpread = circle.Width;
    st.circlineTop = circle.Top;
    st.circlineCenterX = st.circlineSpread / 2 + st.circlineLeft;
    st.circlineCenterY = circle.Height / 2 + st.circlineTop;
    // The guide lines start 500 twips wider than the circle and as deep.
    st.circlineSpread = st.circlineSpread + 500;
    st.circlineShape = st.nextShapeSlot;
    st.circlineDrop = st.circlineSpread;
    // The corner is placed once the tool is the guide's, so a shape it starts
    // (no placement open) is a rectangle, as under a keyword of its own.
    placeCornerAndClose(ctx, x, y, ShapeObject::Rectangle);
}

}  // namespace tvn
