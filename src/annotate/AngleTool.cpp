#include "annotate/AngleTool.h"

#include "annotate/AnnotationStore.h"
#include "annotate/ToolContext.h"

namespace tvn {

void AngleTool::press(ToolContext& ctx, float x, float y) const {
    AnnotationStore& st = ctx.store();
    st.angleNotes.at(static_cast<size_t>(st.nextAngleSlot)).shown = false;
    st.Angle1.X1 = x;
    st.Angle1.Y1 = y;
    st.Angle2.X1 = x;
    st.Angle2.Y1 = y;
    st.Angle1.X2 = x;
    st.Angle1.Y2 = y;
    st.Angle2.X2 = x;
    st.Angle2.Y2 = y;
    st.Angle1.Visible = st.Angle2.Visible = true;
    st.Angle1.BorderColor = st.Angle2.BorderColor = ctx.drawingColor();
    ctx.clearAngleText();
    st.placementOpen = true;
}

bool AngleTool::drag(ToolContext& ctx, float x, float y) const {
    AnnotationStore& st = ctx.store();
    if (st.placementOpen) {
        st.Angle1.X2 = x;
        st.Angle1.Y2 = y;
    }
    return true;
}

// The release point is the vertex: the second arm starts there.
void AngleTool::release(ToolContext& ctx, float x, float y) const {
    AnnotationStore& st = ctx.store();
    ctx.switchTool(DrawingTool::AngleSecondArm);
    st.Angle2.X1 = x;
    st.Angle2.Y1 = y;
    st.Angle2.X2 = x;
    st.Angle2.Y2 = y;
}

}  // namespace tvn
