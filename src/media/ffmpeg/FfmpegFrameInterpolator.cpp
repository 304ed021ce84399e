#include "media/ffmpeg/FfmpegFrameInterpolator.h"

#include "core/TvnError.h"
#include "media/ffmpeg/FfmpegCompat.h"
#include "media/ffmpeg/PlanarFrames.h"

extern "C" {
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
}

namespace tvn {

std::unique_ptr<FrameInterpolator> FrameInterpolator::create(int width, int height, double frameMs, double factor) {
    return std::make_unique<FfmpegFrameInterpolator>(width, height, frameMs, factor);
}

FfmpegFrameInterpolator::FfmpegFrameInterpolator(int width, int height, double frameMs, double factor)
    : graph_(avfilter_graph_alloc()) {
    if (!graph_) fail(QStringLiteral("out of memory"), AVERROR(ENOMEM));
    if (!avfilter_get_by_name("minterpolate")) fail(QStringLiteral("this FFmpeg has no minterpolate filter"), AVERROR_FILTER_NOT_FOUND);
    // One input frame is one tick; the output rate is factor times the input's.
    const AVRational inputRate = av_d2q(1000.0 / frameMs, 100000);
    const AVRational outputRate = av_d2q(1000.0 / frameMs * factor, 100000);
    inputFrameSeconds_ = av_q2d(av_inv_q(inputRate));
    const QByteArray source = QStringLiteral("video_size=%1x%2:pix_fmt=%3:time_base=%4/%5:pixel_aspect=1/1:frame_rate=%5/%4")
                                  .arg(width)
                                  .arg(height)
                                  .arg(int(AV_PIX_FMT_YUV420P))
                                  .arg(inputRate.den)
                                  .arg(inputRate.num)
                                  .toLatin1();
    const QByteArray interpolate = QStringLiteral("fps=%1/%2:mi_mode=mci:mc_mode=aobmc:me_mode=bidir:vsbmc=1")
                                       .arg(outputRate.num)
                                       .arg(outputRate.den)
                                       .toLatin1();
    AVFilterContext* mi = nullptr;
    int rc = avfilter_graph_create_filter(&in_, avfilter_get_by_name("buffer"), "in", source.constData(), nullptr, graph_.get());
    if (rc >= 0) rc = avfilter_graph_create_filter(&mi, avfilter_get_by_name("minterpolate"), "mi", interpolate.constData(), nullptr, graph_.get());
    if (rc >= 0) rc = avfilter_graph_create_filter(&out_, avfilter_get_by_name("buffersink"), "out", nullptr, nullptr, graph_.get());
    if (rc >= 0) rc = avfilter_link(in_, 0, mi, 0);
    if (rc >= 0) rc = avfilter_link(mi, 0, out_, 0);
    if (rc >= 0) rc = avfilter_graph_config(graph_.get(), nullptr);
    if (rc < 0) fail(QStringLiteral("cannot build the interpolation"), rc);
    outBase_ = av_buffersink_get_time_base(out_);
}

void FfmpegFrameInterpolator::fail(const QString& what, int rc) const {
    throw TvnError(err::ExportFailed, QStringLiteral("Cannot interpolate the slow motion: %1: %2").arg(what, ff::errorText(rc)),
                   QStringLiteral("FrameInterpolator"));
}

void FfmpegFrameInterpolator::push(const PlanarPicture& frame) {
    if (ended_ || frame.isNull()) return;
    matrix_ = frame.matrix();
    ff::FramePtr in = planarframes::frameShowing(frame);
    if (!in) fail(QStringLiteral("out of memory"), AVERROR(ENOMEM));
    in->pts = pushed_++;
    const int rc = av_buffersrc_add_frame(in_, in.get());
    if (rc < 0) fail(QStringLiteral("cannot take a frame"), rc);
}

void FfmpegFrameInterpolator::end() {
    if (ended_) return;
    ended_ = true;
    const int rc = av_buffersrc_add_frame(in_, nullptr);
    if (rc < 0) fail(QStringLiteral("cannot end the run"), rc);
}

std::optional<FrameInterpolator::Picture> FfmpegFrameInterpolator::next() {
    ff::FramePtr out = ff::makeFrame();
    if (!out) fail(QStringLiteral("out of memory"), AVERROR(ENOMEM));
    const int rc = av_buffersink_get_frame(out_, out.get());
    if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) return std::nullopt;
    if (rc < 0) fail(QStringLiteral("cannot make a picture"), rc);
    Picture p;
    p.picture = planarframes::showing(out.get(), matrix_);
    if (p.picture.isNull()) fail(QStringLiteral("out of memory"), AVERROR(ENOMEM));
    p.position = double(out->pts) * av_q2d(outBase_) / inputFrameSeconds_;
    return p;
}

}  // namespace tvn
