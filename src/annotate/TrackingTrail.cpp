#include "annotate/TrackingTrail.h"

#include "annotate/AnnotationStore.h"
#include "platform/Surface.h"
#include "playback/Transport.h"

namespace tvn {

QVariant TrackingTrail::TVN_SetTracking(bool& onOrOff) {
    // No handler of its own: a failure goes to the host unchanged.
    if (onOrOff) {
        props_.TVN_drawingTool = QStringLiteral("tracker");
        props_.TVN_TrackingActive = -1;
    } else {
        props_.TVN_drawingTool = QStringLiteral("none");
        store_.trackTrail.clear();
        store_.trackTrailCreated = true;
        props_.TVN_TrackingActive = 0;
    }
    return QVariant();
}

void TrackingTrail::DrawTrail(Surface& surface) {
    if (props_.TVN_TrackingActive == 0) return;
    drawPoints(surface, store_.trackTrail);
    for (const QList<KiteTail>& trail : tracked_) drawPoints(surface, trail);
}

void TrackingTrail::drawPoints(Surface& surface, const QList<KiteTail>& trail) const {
    if (trail.isEmpty()) return;
    const int64_t cur = transport_.TVN_GetFrame();
    const int64_t lo = cur - static_cast<int64_t>(props_.TVN_TrackingLength);
    const auto inWindow = [&](int32_t frame) { return lo <= frame && frame <= cur; };
    for (qsizetype i = 0; i + 1 < trail.size(); ++i) {
        const KiteTail& a = trail[i];
        const KiteTail& b = trail[i + 1];
        // Only the later point is tested, so the segment leading into the window's
        // oldest frame is drawn too.
        if (static_cast<int64_t>(b.frameNum) == static_cast<int64_t>(a.frameNum) + 1 && inWindow(b.frameNum))
            surface.line(a.x, a.y, b.x, b.y, a.color);
        if (inWindow(a.frameNum)) surface.line(a.x, a.y, a.x, a.y, 0);
    }
}

}  // namespace tvn
