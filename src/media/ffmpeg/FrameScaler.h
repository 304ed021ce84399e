#pragma once

#include "media/ffmpeg/FfmpegHandles.h"

#include <QImage>

namespace tvn {

// One picture conversion (size and pixel format) through swscale, with the
// colour range and matrix stated rather than implied. The full-range "J"
// formats (yuvj420p, which MJPEG decodes to and encodes from) are given to
// swscale as their plain twins plus a full-range flag, as swscale wants them;
// a source's tagged matrix (BT.709 for most HD footage) is honoured, and an
// untagged one keeps swscale's BT.601. The context is kept between calls and
// rebuilt only when the conversion changes. Used from one thread.
class FrameScaler {
public:
    struct Side {
        int width = 0;
        int height = 0;
        AVPixelFormat format = AV_PIX_FMT_NONE;
        AVColorRange range = AVCOL_RANGE_UNSPECIFIED;
        AVColorSpace space = AVCOL_SPC_UNSPECIFIED;
    };

    // The source side of a decoded frame.
    static Side sideOf(const AVFrame* frame);

    // A picture swscale can write into. swscale's SIMD converters write whole
    // blocks of pixels (up to 16 at a time on x86) and so run past the end of
    // a row whose width is not a multiple of the block: into the next row, which
    // is written afterwards, and past the buffer on the last row. A QImage's own
    // rows are packed to 4 bytes, so a 1080-wide picture lost 32 bytes of heap
    // after its last row. These rows are 64-byte aligned and the buffer has a
    // spare row behind the last one; the picture stays a plain QImage to its users.
    static QImage writableImage(int width, int height, QImage::Format format);

    // Converts from src to dst; false when swscale cannot do this conversion.
    bool scale(const Side& from, const uint8_t* const src[], const int srcStride[], const Side& to,
               uint8_t* const dst[], const int dstStride[]);
    bool scale(const AVFrame* frame, const Side& to, uint8_t* const dst[], const int dstStride[]);

private:
    bool prepare(const Side& from, const Side& to);

    ff::SwsPtr sws_;
    Side from_, to_;
};

}  // namespace tvn
