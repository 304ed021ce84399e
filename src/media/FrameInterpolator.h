#pragma once

#include "media/PlanarPicture.h"

#include <memory>
#include <optional>

namespace tvn {

// In-between pictures for slow motion: a run of a clip's frames goes in, and
// pictures come out `factor` times as often, each made by motion-compensated
// interpolation between its two neighbours (FFmpeg's minterpolate: block
// motion estimated both ways, overlapped blocks, a scene cut repeats instead
// of blending). Slow motion that glides instead of stuttering, at a price: it
// is many times slower than repeating frames. Used from one thread.
class FrameInterpolator {
public:
    struct Picture {
        PlanarPicture picture;
        double position = 0;  // in input frames from the first one pushed (0, 1/factor, 2/factor ...)
    };

    // Pictures of width x height; inputs one frameMs apart. Throws TvnError
    // ExportFailed when FFmpeg has no minterpolate.
    static std::unique_ptr<FrameInterpolator> create(int width, int height, double frameMs, double factor);

    virtual ~FrameInterpolator() = default;
    // The run's next frame (of the size given).
    virtual void push(const PlanarPicture& frame) = 0;
    // No more frames: what the interpolator holds comes out.
    virtual void end() = 0;
    // The next picture out, if one is ready (push more, or end, for the rest).
    virtual std::optional<Picture> next() = 0;
};

}  // namespace tvn
