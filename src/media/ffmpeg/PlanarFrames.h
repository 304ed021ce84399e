#pragma once

#include "media/PlanarPicture.h"
#include "media/ffmpeg/FfmpegHandles.h"

namespace tvn::planarframes {

// A planar picture showing a yuv420p frame's planes, holding a reference to
// the frame (no copy). Null when the frame is not yuv420p or out of memory.
PlanarPicture showing(const AVFrame* frame, PlanarPicture::Matrix matrix);

// A yuv420p frame showing a planar picture's planes, keeping the picture alive
// as long as FFmpeg holds the frame (no copy). Null when out of memory.
ff::FramePtr frameShowing(const PlanarPicture& picture);

// FFmpeg's name of a matrix (BT.601 as SMPTE 170M).
AVColorSpace spaceOf(PlanarPicture::Matrix matrix);

}  // namespace tvn::planarframes
