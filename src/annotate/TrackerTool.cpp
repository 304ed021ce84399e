#include "annotate/TrackerTool.h"

#include "annotate/AnnotationStore.h"
#include "annotate/ToolContext.h"
#include "control/KiteTail.h"
#include "core/Numeric.h"

namespace tvn {

void TrackerTool::press(ToolContext& ctx, float x, float y) const {
    AnnotationStore& st = ctx.store();
    KiteTail point;
    point.frameNum = ctx.currentFrame();
    point.color = ctx.drawingColor();
    point.width = ctx.drawingWidth();
    point.x = toInt32(x);
    point.y = toInt32(y);
    st.trackTrail.append(point);
    st.trackTrailCreated = true;
}

}  // namespace tvn
