#include "annotate/LightMouseTool.h"

#include "annotate/AnnotationStore.h"
#include "annotate/ToolContext.h"

namespace tvn {

void LightMouseTool::press(ToolContext& ctx, float x, float y) const {
    AnnotationStore& st = ctx.store();
    st.lightMouseLeft = pointsLeft_;
    st.lightMouseX = x;
    st.lightMouseY = y;
    st.lightMouseColor = ctx.drawingColor();
    st.lightMouseShown = true;
}

bool LightMouseTool::drag(ToolContext& ctx, float x, float y) const {
    ctx.store().lightMouseX = x;
    ctx.store().lightMouseY = y;
    return false;
}

}  // namespace tvn
