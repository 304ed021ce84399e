#include "annotate/AngleSecondArmTool.h"

#include "annotate/AnnotationStore.h"
#include "annotate/ToolContext.h"
#include "core/Numeric.h"
#include "platform/Surface.h"

namespace tvn {

bool AngleSecondArmTool::drag(ToolContext& ctx, float x, float y) const {
    AnnotationStore& st = ctx.store();
    if (st.placementOpen) {
        st.Angle2.X2 = x;
        st.Angle2.Y2 = y;
        ctx.measureAngle();
    }
    return true;
}

void AngleSecondArmTool::release(ToolContext& ctx, float, float) const {
    AnnotationStore& st = ctx.store();
    ctx.measureAngle();
    AngleAnnotation a;
    a.text = ctx.angleText();
    a.color = st.Angle1.BorderColor;
    a.fontName = ctx.annotationLayer().fontName();
    a.fontSize = toInt16(ctx.annotationLayer().fontSize());
    a.x1 = toInt32(st.Angle1.X1);
    a.y1 = toInt32(st.Angle1.Y1);
    a.x2 = toInt32(st.Angle1.X2);
    a.y2 = toInt32(st.Angle1.Y2);
    a.x3 = toInt32(st.Angle2.X1);
    a.y3 = toInt32(st.Angle2.Y1);
    a.x4 = toInt32(st.Angle2.X2);
    a.y4 = toInt32(st.Angle2.Y2);
    a.kind = 1;
    a.shown = true;
    st.angleNotes.at(static_cast<size_t>(st.nextAngleSlot)) = a;
    st.Angle1.Visible = false;
    st.nextAngleSlot = st.nextAngleSlot >= AnnotationStore::kPoolSize - 1 ? 0 : st.nextAngleSlot + 1;
    st.recordHistory(HistoryAngle);
    ctx.switchTool(st.quickAngle ? DrawingTool::QuickAngle : DrawingTool::Angle);
    closePlacement(ctx);
}

}  // namespace tvn
