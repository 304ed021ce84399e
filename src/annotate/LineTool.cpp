#include "annotate/LineTool.h"

#include "annotate/AnnotationStore.h"
#include "annotate/ToolContext.h"

namespace tvn {

void LineTool::press(ToolContext& ctx, float x, float y) const { ctx.store().PlaceLinePoint(x, y, ctx.drawingColor()); }

bool LineTool::drag(ToolContext& ctx, float x, float y) const {
    AnnotationStore& st = ctx.store();
    if (st.placementOpen) {
        LineObject& line = st.Lines.at(static_cast<size_t>(st.nextLineSlot));
        line.X2 = x;
        line.Y2 = y;
    }
    return true;
}

// With the placement the press opened this closes the line, which keeps the end
// the drag gave it; with none open it leaves a zero-length line here.
void LineTool::release(ToolContext& ctx, float x, float y) const {
    ctx.store().PlaceLinePoint(x, y, ctx.drawingColor());
    closePlacement(ctx);
}

}  // namespace tvn
