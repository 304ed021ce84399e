#pragma once

#include "core/TrelvanExport.h"

#include <QPointF>
#include <QString>
#include <optional>
#include <vector>

namespace tvn::motion {

// One tracked position: the frame, its exact start time from the clip's own
// timestamps (ms from the first frame, so variable-frame-rate footage keeps its
// real spacing), the position in picture pixels of the clip's display size
// (origin at the top-left corner of the top-left pixel), and how well the
// point's appearance matched there (0 to 1; normalised cross-correlation).
struct TVN_EXPORT TrackSample {
    int frame = 0;
    double timeMs = 0;
    double x = 0;
    double y = 0;
    double confidence = 1;
    QPointF position() const { return {x, y}; }
};

// Where and why tracking stopped following a point instead of guessing on.
struct TVN_EXPORT TrackLoss {
    int frame = 0;     // the first frame the point was not found on
    double timeMs = 0;
    QString reason;    // "occluded or changed beyond recognition", "left the picture", ...
};

// The path of one point, in frame order (ascending, whichever way it was
// tracked), and the loss that ended the latest run on it, if one did.
class TVN_EXPORT Track {
public:
    std::vector<TrackSample> samples;
    std::optional<TrackLoss> loss;

    bool isEmpty() const { return samples.empty(); }
    // The sample of a frame, or nothing.
    const TrackSample* at(int frame) const;

    // The track after a correction: the coach put the point right on the
    // continuation's first frame and tracked on from there (forward, or backward
    // when backward is set). The continuation replaces this track from that frame
    // on (forward: that frame and later; backward: that frame and earlier), and
    // its loss replaces the old one on that side.
    Track corrected(const Track& continuation, bool backward) const;
};

}  // namespace tvn::motion
