#include "media/ffmpeg/PictureConverter.h"

#include "media/ffmpeg/FfmpegCompat.h"
#include "media/ffmpeg/PlanarFrames.h"

extern "C" {
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavutil/display.h>
#include <libavutil/pixdesc.h>
}

#include <QTransform>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>

namespace tvn {

namespace {

// Larger clips are shown scaled so that they fit the control's 16-bit twips
// (32767 twips = 2184 pixels at 15 twips per pixel).
constexpr int kMaxDisplaySide = 2160;
constexpr int kScaledSide = 1920;
// Converted pictures kept aside for reuse.
constexpr size_t kSpareImages = 6;

// Clockwise quarter turns (0 to 3) that stand a stream's pictures upright, from
// its display matrix; a matrix that is not a whole quarter turn counts as none.
int quarterTurnsOf(const AVStream* stream) {
    const uint8_t* matrix = ff::streamSideData(stream, AV_PKT_DATA_DISPLAYMATRIX);
    if (!matrix) return 0;
    const double counterClockwise = av_display_rotation_get(reinterpret_cast<const int32_t*>(matrix));
    if (std::isnan(counterClockwise)) return 0;
    const long turns = std::lround(-counterClockwise / 90.0);
    if (std::abs(-counterClockwise - 90.0 * double(turns)) > 1.0) return 0;
    return int(((turns % 4) + 4) % 4);
}


// Luma of 8-bit planar YUV at the picture's own size is its first plane as
// decoded (the clip's own range): copied, since swscale's path to gray costs
// more than its optimised one to RGB32. False when a conversion is needed.
bool copyLuma(const AVFrame* f, QImage& image) {
    const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(AVPixelFormat(f->format));
    if (!d || (d->flags & (AV_PIX_FMT_FLAG_RGB | AV_PIX_FMT_FLAG_PAL | AV_PIX_FMT_FLAG_HWACCEL)) ||
        d->comp[0].depth != 8 || d->comp[0].plane != 0 || d->comp[0].step != 1 || f->width != image.width() ||
        f->height != image.height())
        return false;
    for (int y = 0; y < f->height; ++y) std::memcpy(image.scanLine(y), f->data[0] + y * f->linesize[0], size_t(f->width));
    return true;
}

// The matrix planar pictures keep: the clip's own where it is BT.601 (or
// untagged, which the display shows as BT.601) or BT.709; RGB sources are
// converted to BT.709. Nothing for the rest.
std::optional<PlanarPicture::Matrix> planarMatrixOf(const AVFrame* f) {
    const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(AVPixelFormat(f->format));
    if (d && (d->flags & (AV_PIX_FMT_FLAG_RGB | AV_PIX_FMT_FLAG_PAL))) return PlanarPicture::Matrix::Bt709;
    switch (f->colorspace) {
    case AVCOL_SPC_BT709: return PlanarPicture::Matrix::Bt709;
    case AVCOL_SPC_UNSPECIFIED:
    case AVCOL_SPC_BT470BG:
    case AVCOL_SPC_SMPTE170M: return PlanarPicture::Matrix::Bt601;
    default: return std::nullopt;
    }
}

}  // namespace

PictureConverter::Geometry PictureConverter::geometryOf(AVFormatContext* format, AVStream* stream) {
    double w = stream->codecpar->width;
    double h = stream->codecpar->height;
    const AVRational sar = av_guess_sample_aspect_ratio(format, stream, nullptr);
    if (sar.num > 0 && sar.den > 0 && sar.num != sar.den) w = w * sar.num / sar.den;
    if (std::max(w, h) > kMaxDisplaySide) {
        const double s = kScaledSide / std::max(w, h);
        w *= s;
        h *= s;
    }
    Geometry g;
    g.quarterTurns = quarterTurnsOf(stream);
    g.uprightWidth = std::max(1, int(std::lround(w)));
    g.uprightHeight = std::max(1, int(std::lround(h)));
    return g;
}

void PictureConverter::reset() {
    scaler_ = FrameScaler();
    planarScaler_ = FrameScaler();
    spareImages_.clear();
    graph_.reset();
    graphIn_ = graphOut_ = nullptr;
    graphWidth_ = graphHeight_ = 0;
    graphFormat_ = -1;
}

// FFmpeg's estdif is an edge-directed deinterlacer that rebuilds one field from
// the other within the picture. Being spatial only, it needs no neighbouring
// pictures, so exact seeking and the cache stay as they are.
bool PictureConverter::buildDeinterlacer(const AVFrame* like) {
    graph_.reset(avfilter_graph_alloc());
    graphIn_ = graphOut_ = nullptr;
    graphFormat_ = -1;
    if (!graph_) return false;
    AVFilterContext* deint = nullptr;
    const QByteArray args = QStringLiteral("video_size=%1x%2:pix_fmt=%3:time_base=1/25:pixel_aspect=1/1")
                                .arg(like->width)
                                .arg(like->height)
                                .arg(like->format)
                                .toLatin1();
    if (avfilter_graph_create_filter(&graphIn_, avfilter_get_by_name("buffer"), "in", args.constData(), nullptr,
                                     graph_.get()) < 0 ||
        avfilter_graph_create_filter(&deint, avfilter_get_by_name("estdif"), "deint", "mode=frame:parity=auto:deint=all",
                                     nullptr, graph_.get()) < 0 ||
        avfilter_graph_create_filter(&graphOut_, avfilter_get_by_name("buffersink"), "out", nullptr, nullptr,
                                     graph_.get()) < 0 ||
        avfilter_link(graphIn_, 0, deint, 0) < 0 || avfilter_link(deint, 0, graphOut_, 0) < 0 ||
        avfilter_graph_config(graph_.get(), nullptr) < 0) {
        graph_.reset();
        return false;
    }
    graphWidth_ = like->width;
    graphHeight_ = like->height;
    graphFormat_ = like->format;
    return true;
}

ff::FramePtr PictureConverter::deinterlaced(const AVFrame* in) {
    if (!graph_ || in->width != graphWidth_ || in->height != graphHeight_ || in->format != graphFormat_)
        if (!buildDeinterlacer(in)) return nullptr;
    // estdif answers a picture only when the next one arrives (it holds one back
    // to time its output), so each picture goes in twice: the last answer is
    // this picture's, an earlier one the picture held back from the call before.
    for (int i = 0; i < 2; ++i) {
        ff::FramePtr copy(av_frame_clone(in));
        if (!copy) return nullptr;
        copy->pts = graphPts_++;
        if (av_buffersrc_add_frame(graphIn_, copy.get()) < 0) {
            graph_.reset();
            return nullptr;
        }
    }
    ff::FramePtr out;
    for (;;) {
        auto next = ff::makeFrame();
        if (!next || av_buffersink_get_frame(graphOut_, next.get()) < 0) break;
        out = std::move(next);
    }
    return out;
}

QImage PictureConverter::blankImage() {
    while (!spareImages_.empty()) {
        QImage image = std::move(spareImages_.back());
        spareImages_.pop_back();
        if (image.size() == QSize(geometry_.width(), geometry_.height()) && image.format() == format_ &&
            image.isDetached())
            return image;
    }
    return FrameScaler::writableImage(geometry_.width(), geometry_.height(), format_);
}

void PictureConverter::recycle(QImage&& image) {
    if (!image.isNull() && image.isDetached() && spareImages_.size() < kSpareImages)
        spareImages_.push_back(std::move(image));
    image = QImage();
}

QImage PictureConverter::convert(const AVFrame* frame) {
    ff::FramePtr filtered;
    if (deinterlace_) {
        filtered = deinterlaced(frame);
        if (filtered) frame = filtered.get();
    }
    const int turns = geometry_.quarterTurns;
    QImage image =
        turns ? FrameScaler::writableImage(geometry_.uprightWidth, geometry_.uprightHeight, format_) : blankImage();
    if (image.isNull()) return {};
    uint8_t* dst[4] = {image.bits(), nullptr, nullptr, nullptr};
    int dstStride[4] = {int(image.bytesPerLine()), 0, 0, 0};
    const bool gray = format_ == QImage::Format_Grayscale8;
    if (!(gray && copyLuma(frame, image)) &&
        !scaler_.scale(frame, {geometry_.uprightWidth, geometry_.uprightHeight, gray ? AV_PIX_FMT_GRAY8 : AV_PIX_FMT_RGB32},
                       dst, dstStride))
        return {};
    // Qt turns by whole quarter turns with a plain memory rotation, no resampling.
    if (turns) image = image.transformed(QTransform().rotate(90.0 * turns));
    return image;
}

PlanarPicture PictureConverter::planar(const AVFrame* frame) {
    ff::FramePtr filtered;
    if (deinterlace_) {
        filtered = deinterlaced(frame);
        if (filtered) frame = filtered.get();
    }
    const std::optional<PlanarPicture::Matrix> matrix = planarMatrixOf(frame);
    if (!matrix) return {};
    const bool asIs = frame->format == AV_PIX_FMT_YUV420P && frame->color_range != AVCOL_RANGE_JPEG &&
                      frame->width == geometry_.uprightWidth && frame->height == geometry_.uprightHeight;
    PlanarPicture out;
    if (asIs) {
        out = planarframes::showing(frame, *matrix);
    } else {
        out = PlanarPicture(geometry_.uprightWidth, geometry_.uprightHeight, *matrix);
        uint8_t* dst[4] = {out.plane(0), out.plane(1), out.plane(2), nullptr};
        const int strides[4] = {out.stride(0), out.stride(1), out.stride(2), 0};
        const AVColorSpace space = planarframes::spaceOf(*matrix);
        if (!planarScaler_.scale(frame, {out.width(), out.height(), AV_PIX_FMT_YUV420P, AVCOL_RANGE_MPEG, space}, dst,
                                 strides))
            return {};
    }
    return out.turned(geometry_.quarterTurns);
}

}  // namespace tvn
