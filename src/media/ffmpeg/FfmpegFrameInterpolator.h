#pragma once

#include "media/FrameInterpolator.h"
#include "media/ffmpeg/FfmpegHandles.h"

namespace tvn {

// FrameInterpolator on an FFmpeg filter graph: buffer -> minterpolate (motion-
// compensated, bidirectional motion estimation, overlapped blocks, variable
// block size) -> buffersink, in yuv420p. Inputs are numbered 0, 1, 2 ... in a
// time base of one input frame, so a picture's position is its time.
class FfmpegFrameInterpolator final : public FrameInterpolator {
public:
    FfmpegFrameInterpolator(int width, int height, double frameMs, double factor);

    void push(const PlanarPicture& frame) override;
    void end() override;
    std::optional<Picture> next() override;

private:
    [[noreturn]] void fail(const QString& what, int rc) const;

    ff::FilterGraphPtr graph_;
    AVFilterContext* in_ = nullptr;
    AVFilterContext* out_ = nullptr;
    PlanarPicture::Matrix matrix_ = PlanarPicture::Matrix::Bt709;
    AVRational outBase_{1, 1};
    int64_t pushed_ = 0;
    double inputFrameSeconds_ = 0;
    bool ended_ = false;
};

}  // namespace tvn
