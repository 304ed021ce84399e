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
    VideoFrame seek(double ms) override { return decoder_.seek(ms); }
    VideoFrame stepForward() override { return decoder_.stepForward(); }
    VideoFrame stepBackward() override { return decoder_.stepBackward(); }

private:
    ClipDecoder decoder_;
};

}  // namespace tvn
