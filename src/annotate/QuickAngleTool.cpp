#include "annotate/QuickAngleTool.h"

#include "annotate/AnnotationStore.h"
#include "annotate/ToolContext.h"

namespace tvn {

void QuickAngleTool::press(ToolContext& ctx, float x, float y) const {
    AnnotationStore& st = ctx.store();
    st.quickAngle = true;
    st.angleNotes.at(static_cast<size_t>(st.nextAngleSlot)).shown = false;
    // The first arm is a one-twip horizontal reference; the drag pulls the second.
    st.Angle1.X1 = x;
    st.Angle1.Y1 = y;
    st.Angle1.X2 = x + 1;
    st.Angle1.Y2 = y;
    st.Angle2.X1 = st.Angle2.X2 = x;
    st.Angle2.Y1 = st.Angle2.Y2 = y;
    st.Angle1.Visible = st.Angle2.Visible = true;
    st.Angle1.BorderColor = st.Angle2.BorderColor = ctx.drawingColor();
    ctx.clearAngleText();
    ctx.switchTool(DrawingTool::AngleSecondArm);
    st.placementOpen = true;
}

void QuickAngleTool::release(ToolContext& ctx, float x, float y) const {
    placeCornerAndClose(ctx, x, y, ShapeObject::Rectangle);
}

}  // namespace tvn
