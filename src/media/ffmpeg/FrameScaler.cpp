#include "media/ffmpeg/FrameScaler.h"

extern "C" {
#include <libavutil/mem.h>
}

#include <limits>

namespace tvn {

namespace {

// The plain format a full-range "J" format stands for, and whether it was one.
AVPixelFormat plainFormat(AVPixelFormat f, bool& fullRange) {
    switch (f) {
    case AV_PIX_FMT_YUVJ420P: fullRange = true; return AV_PIX_FMT_YUV420P;
    case AV_PIX_FMT_YUVJ422P: fullRange = true; return AV_PIX_FMT_YUV422P;
    case AV_PIX_FMT_YUVJ444P: fullRange = true; return AV_PIX_FMT_YUV444P;
    case AV_PIX_FMT_YUVJ440P: fullRange = true; return AV_PIX_FMT_YUV440P;
    case AV_PIX_FMT_YUVJ411P: fullRange = true; return AV_PIX_FMT_YUV411P;
    default: return f;
    }
}

bool sameSide(const FrameScaler::Side& a, const FrameScaler::Side& b) {
    return a.width == b.width && a.height == b.height && a.format == b.format && a.range == b.range &&
           a.space == b.space;
}

const int* coefficientsFor(AVColorSpace space) {
    // sws_getCoefficients takes the SWS_CS_* numbers, which match AVColorSpace;
    // unspecified, RGB and reserved fall back to BT.601 there.
    return sws_getCoefficients(space == AVCOL_SPC_UNSPECIFIED ? SWS_CS_DEFAULT : int(space));
}

}  // namespace

FrameScaler::Side FrameScaler::sideOf(const AVFrame* frame) {
    return {frame->width, frame->height, static_cast<AVPixelFormat>(frame->format), frame->color_range,
            frame->colorspace};
}

QImage FrameScaler::writableImage(int width, int height, QImage::Format format) {
    constexpr qsizetype kRowAlign = 64;
    if (width <= 0 || height <= 0) return {};
    const int bitsPerPixel = QImage::toPixelFormat(format).bitsPerPixel();
    if (bitsPerPixel <= 0) return {};
    const qsizetype packed = (qsizetype(width) * bitsPerPixel + 7) / 8;
    const qsizetype stride = (packed + kRowAlign - 1) / kRowAlign * kRowAlign;
    if (stride > std::numeric_limits<int>::max() / 2) return {};
    auto* data = static_cast<uchar*>(av_malloc(size_t(stride) * size_t(height + 1)));
    if (!data) return {};
    QImage image(data, width, height, stride, format, [](void* d) { av_free(d); }, data);
    if (image.isNull()) av_free(data);
    return image;
}

bool FrameScaler::prepare(const Side& from, const Side& to) {
    if (sws_ && sameSide(from, from_) && sameSide(to, to_)) return true;
    bool srcFull = from.range == AVCOL_RANGE_JPEG, dstFull = to.range == AVCOL_RANGE_JPEG;
    const AVPixelFormat srcFormat = plainFormat(from.format, srcFull);
    const AVPixelFormat dstFormat = plainFormat(to.format, dstFull);
    sws_.reset(sws_getContext(from.width, from.height, srcFormat, to.width, to.height, dstFormat, SWS_BILINEAR,
                              nullptr, nullptr, nullptr));
    if (!sws_) return false;
    // Range flags matter only on the YUV side; swscale ignores them for RGB.
    sws_setColorspaceDetails(sws_.get(), coefficientsFor(from.space), srcFull, coefficientsFor(to.space), dstFull, 0,
                             1 << 16, 1 << 16);
    from_ = from;
    to_ = to;
    return true;
}

bool FrameScaler::scale(const Side& from, const uint8_t* const src[], const int srcStride[], const Side& to,
                        uint8_t* const dst[], const int dstStride[]) {
    if (!prepare(from, to)) return false;
    return sws_scale(sws_.get(), src, srcStride, 0, from.height, dst, dstStride) > 0;
}

bool FrameScaler::scale(const AVFrame* frame, const Side& to, uint8_t* const dst[], const int dstStride[]) {
    return scale(sideOf(frame), frame->data, frame->linesize, to, dst, dstStride);
}

}  // namespace tvn
