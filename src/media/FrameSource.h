#pragma once

#include "media/ClipInfo.h"
#include "media/VideoFrame.h"

#include <QString>
#include <memory>

namespace tvn {

// A clip's frames, one after another, for code that reads a clip outside a
// display engine (the probe, motion tracking): what the clip is, and its frames
// by time and by step, with the positions and frame count the engine uses. Used
// from one thread at a time; each source reads the clip on its own.
class FrameSource {
public:
    struct Options {
        // Pictures as 8-bit luma (QImage::Format_Grayscale8) instead of RGB32,
        // same size and orientation, for analysis that needs only brightness.
        bool grayscale = false;
        // Keep decoded frames around the position, so steps back find them
        // ready; off for a reader that only moves forward.
        bool keepFramesAround = true;
        // Pictures as 4:2:0 planes (VideoFrame::planar) as the decoder gives
        // them, without a conversion to RGB, for code that encodes them again
        // (video export). A clip whose colours are not in BT.601 or BT.709 (an
        // HDR phone clip) still gives RGB32 images, as shown.
        bool planar = false;
        // Deinterlaced as the display does it (TVN_DoDeinterlace).
        bool deinterlace = false;
    };

    // Opens the clip and its first frame. Throws TvnError naming the file and
    // the cause: FileNotFound (53), PathFileAccess (75), or ClipOpenFailed.
    static std::unique_ptr<FrameSource> open(const QString& fileName, const Options& options);

    virtual ~FrameSource() = default;
    virtual const ClipInfo& info() const = 0;
    // The frame whose interval contains ms (clamped into the clip) becomes current.
    virtual VideoFrame seek(double ms) = 0;
    // The next (previous) frame becomes current; at the last (first) it stays there.
    virtual VideoFrame stepForward() = 0;
    virtual VideoFrame stepBackward() = 0;
};

}  // namespace tvn
