#pragma once

#include "motion/Track.h"

#include <QPointF>
#include <QString>
#include <atomic>
#include <functional>
#include <vector>

namespace tvn::motion {

// What to track: points marked on one frame of a clip, followed from there.
struct TrackingRequest {
    QString clip;
    // The frame the points were marked on, by its position (ms from the first
    // frame, as the control reports it: the frame whose interval contains it)
    // and its number; later frames are numbered on from it, one per picture.
    double startMs = 0;
    int startFrame = 0;
    std::vector<QPointF> points;  // picture pixels of the clip's display size
    bool backward = false;
    int maxFrames = -1;  // frames to follow after the start one; -1 to the clip's end (or start)
};

struct TrackingResult {
    std::vector<Track> tracks;  // one per requested point, in the request's order
    bool cancelled = false;     // stopped early: the tracks hold what was found until then
};

// Tracks the request's points through the clip on the calling thread, with its
// own FrameSource (grayscale pictures, no display conversion). Each point is followed
// by a PointTracker until it is lost or the clip (or maxFrames) ends; the run ends
// when every point is lost. progress is called after each frame with the frames
// done and the frames the run can take at most. A run that sees cancel set stops
// after the frame in hand and returns what it found, marked cancelled.
//
// Throws TvnError: the decoder's when the clip cannot be opened or decoded,
// InvalidCall when there are no points or a point cannot be tracked from the
// start frame (outside the picture, no detail).
class TrackingRun {
public:
    using Progress = std::function<void(int framesDone, int framesTotal)>;
    static TrackingResult run(const TrackingRequest& request, const Progress& progress,
                              const std::atomic<bool>& cancel);
};

}  // namespace tvn::motion
