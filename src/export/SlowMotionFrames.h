#pragma once

#include "media/FrameInterpolator.h"
#include "media/FrameSource.h"

#include <QString>
#include <memory>
#include <optional>

namespace tvn {

// The in-between pictures of one slow-motion range of a video export: a
// decoder of its own reads the clip from the range's first frame on, only as
// far as the pictures asked for need (the interpolation looks a frame or two
// ahead), and a FrameInterpolator makes the pictures between its frames.
// Used from the export's thread.
class SlowMotionFrames {
public:
    // options: how the export reads the clip (planar pictures are asked for here).
    SlowMotionFrames(const QString& clip, FrameSource::Options options, int32_t firstFrame, double frameMs,
                     double factor);

    // The in-between picture nearest position (in frames from the first, never
    // less than the position asked before). Null when the clip's pictures
    // cannot be had as planes (colours only RGB shows) or are too small to
    // interpolate (under 32 pixels a side): the caller repeats frames.
    PlanarPicture at(double position);

private:
    std::optional<FrameInterpolator::Picture> pull();
    bool feed();

    std::unique_ptr<FrameSource> source_;
    std::unique_ptr<FrameInterpolator> interpolator_;
    VideoFrame pending_;  // the next frame to push
    bool sourceDone_ = false;
    bool ended_ = false;
    std::optional<FrameInterpolator::Picture> before_, after_;
};

}  // namespace tvn
