#pragma once

#include <QString>

#include "control/KiteTail.h"

#include <QList>
#include <QVariant>
#include <functional>

namespace tvn {

class AnnotationStore;
class Surface;

// The hand-built tracking trail: switching tracking on and off, and drawing the
// part of the trail that belongs to the frames just before the current one.
// Points are collected by the pointer press with the tool "tracker"; the release
// steps the video one frame on.
//
// Trails made elsewhere (the points the motion companion tracked, one list per
// point in frame order) are drawn by the same rules while tracking is on, so a
// tracked point shows exactly as a hand-built trail does. Switching tracking off
// drops only the hand-built points; the tracked ones belong to their maker.
class TrackingTrail {
public:
    // The host's properties it reads (const) and writes.
    struct Properties {
        QString& TVN_drawingTool;
        int32_t& TVN_TrackingActive;
        const int32_t& TVN_TrackingLength;
    };

    // currentFrame: the frame the trail window ends on (the control asks its
    // transport; a picture made away from the screen names the frame it makes).
    using CurrentFrame = std::function<int32_t()>;
    TrackingTrail(Properties props, AnnotationStore& store, CurrentFrame currentFrame)
        : props_(props), store_(store), currentFrame_(std::move(currentFrame)) {}

    // On: tool "tracker", TVN_TrackingActive -1; earlier points stay. Off: tool
    // "none", every point dropped, TVN_TrackingActive 0.
    QVariant TVN_SetTracking(bool& onOrOff);

    // The trail block of the full redraw: with tracking active, for each pair of
    // neighbouring points (in click order) a segment in the first point's colour
    // when the later point is one frame after the first and lies in the window
    // [current - TVN_TrackingLength, current]; a black dot on each point in the
    // window except the newest. Uses the surface's current pen width. With an
    // outline width (readable drawing), each segment is first drawn that wide in
    // black (light for a black one), so a trail reads on any picture.
    void DrawTrail(Surface& surface, int outlineWidth = 0);

    void setTrackedTrails(QList<QList<KiteTail>> trails) { tracked_ = std::move(trails); }
    const QList<QList<KiteTail>>& trackedTrails() const { return tracked_; }

private:
    void drawPoints(Surface& surface, const QList<KiteTail>& trail, int outlineWidth) const;

    Properties props_;
    AnnotationStore& store_;
    CurrentFrame currentFrame_;
    QList<QList<KiteTail>> tracked_;
};

}  // namespace tvn
