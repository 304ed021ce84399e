#include "annotate/TrackingTrail.h"

#include "annotate/AnnotationStore.h"
#include "platform/Surface.h"

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

void TrackingTrail::DrawTrail(Surface& surface, int outlineWidth) {
    if (props_.TVN_TrackingActive == 0) return;
    drawPoints(surface, store_.trackTrail, outlineWidth);
    for (const QList<KiteTail>& trail : tracked_) drawPoints(surface, trail, outlineWidth);
}

void TrackingTrail::drawPoints(Surface& surface, const QList<KiteTail>& trail, int outlineWidth) const {
    if (trail.isEmpty()) return;
    const int64_t cur = currentFrame_();
    const int64_t lo = cur - static_cast<int64_t>(props_.TVN_TrackingLength);
    const auto inWindow = [&](int32_t frame) { return lo <= frame && frame <= cur; };
    // Only the later point is tested, so the segment leading into the window's
    // oldest frame is drawn too.
    const auto drawn = [&](qsizetype i) {
        return static_cast<int64_t>(trail[i + 1].frameNum) == static_cast<int64_t>(trail[i].frameNum) + 1 &&
               inWindow(trail[i + 1].frameNum);
    };
    if (outlineWidth > 0) {
        // Every outline first, so none covers the segment before it.
        const int width = surface.drawWidth();
        surface.setDrawWidth(outlineWidth);
        for (qsizetype i = 0; i + 1 < trail.size(); ++i)
            if (drawn(i)) surface.line(trail[i].x, trail[i].y, trail[i + 1].x, trail[i + 1].y, trail[i].color == 0 ? 0xE0E0E0 : 0);
        surface.setDrawWidth(width);
    }
    for (qsizetype i = 0; i + 1 < trail.size(); ++i) {
        const KiteTail& a = trail[i];
        const KiteTail& b = trail[i + 1];
        if (drawn(i)) surface.line(a.x, a.y, b.x, b.y, a.color);
        if (inWindow(a.frameNum)) surface.line(a.x, a.y, a.x, a.y, 0);
    }
}

}  // namespace tvn
