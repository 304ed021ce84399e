#pragma once

#include "media/FrameSource.h"
#include "media/ffmpeg/ClipDecoder.h"

namespace tvn {

// FrameSource on FFmpeg: a ClipDecoder of its own, without decode-behind (the
// reader steps on the calling thread and waits for nothing idle).
class ClipFrameSource final : public FrameSource {
public:
    ClipFrameSource(const QString& fileName, const Options& options);

    const ClipInfo& info() const override { return decoder_.info(); }
    VideoFrame seek(double ms) override { return withPlanes(decoder_.seek(ms)); }
    VideoFrame stepForward() override { return withPlanes(decoder_.stepForward(!planar_)); }
    VideoFrame stepBackward() override { return withPlanes(decoder_.stepBackward()); }

private:
    // With planar pictures asked for: the frame's planes in place of its image,
    // or its image where the clip's colours need RGB.
    VideoFrame withPlanes(VideoFrame frame);

    ClipDecoder decoder_;
    bool planar_ = false;
};

}  // namespace tvn
