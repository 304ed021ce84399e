#pragma once

#include <cstdint>

// The values the video engine and the mixer give a meaning to, named once for
// the FFmpeg components. Hosts and the control pass them as plain numbers
// (VideoEngine.h, VideoMixer.h); inside the components they are read by name.
namespace tvn::engine {

// FlipMode: the picture mirrored left to right (overlays are not); anything else is normal.
constexpr int16_t kFlipMirrored = 101;

// StateChange codes.
enum class State : int32_t { Closed = 0, Paused = 1, Running = 2 };

// SetRate clamps into this range; a rate that is not a positive number is refused.
constexpr double kMinRate = 0.1;
constexpr double kMaxRate = 4.0;

// SetOverlayBitmap: a handle of 0 removes the slot; an alpha of -1 (any negative) is opaque.
constexpr int32_t kNoBitmap = 0;
constexpr int32_t kOpaque = -1;
// SetTextOverlay: a background of -1 leaves the picture visible behind the text.
constexpr int32_t kNoTextBackground = -1;

// VideoCompressor: no encoder chosen; the lesson is recorded as high-quality MJPEG.
constexpr int32_t kDefaultCompressor = -1;

// MixedFramePicture: the mixed picture shown rather than one source's frame.
constexpr int32_t kMixedPicture = -1;

}  // namespace tvn::engine
