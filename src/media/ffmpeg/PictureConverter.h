#pragma once

#include "media/ffmpeg/FfmpegHandles.h"
#include "media/PlanarPicture.h"
#include "media/ffmpeg/FrameScaler.h"

#include <QImage>
#include <vector>

namespace tvn {

// Turns a decoded picture into what the display shows: RGB32 at the clip's
// display size, deinterlaced when asked (FFmpeg's estdif), turned upright.
// The deinterlacer's filter graph and the swscale context are kept from
// picture to picture and rebuilt only when the pictures change size or format.
// Used from one thread at a time.
class PictureConverter {
public:
    // The display size of a stream's pictures: the sample aspect ratio applied,
    // a picture whose larger side exceeds 2160 pixels scaled so that side is
    // 1920 (aspect kept), and turned upright by whole quarter turns as its
    // display matrix says (portrait phone footage).
    struct Geometry {
        int uprightWidth = 1;  // scaled, before it is turned (coded orientation)
        int uprightHeight = 1;
        int quarterTurns = 0;  // clockwise
        int width() const { return quarterTurns % 2 ? uprightHeight : uprightWidth; }
        int height() const { return quarterTurns % 2 ? uprightWidth : uprightHeight; }
    };
    static Geometry geometryOf(AVFormatContext* format, AVStream* stream);

    void setGeometry(const Geometry& geometry) { geometry_ = geometry; }
    void setDeinterlace(bool on) { deinterlace_ = on; }
    bool deinterlace() const { return deinterlace_; }
    // Pictures as 8-bit luma (QImage::Format_Grayscale8) instead of RGB32.
    void setFormat(QImage::Format format) { format_ = format; }
    QImage::Format format() const { return format_; }
    // The picture as shown; null when it cannot be converted.
    QImage convert(const AVFrame* frame);
    // The same picture as 4:2:0 planes in limited range, in the clip's own
    // matrix: the decoder's planes themselves where they are already so (no
    // copy), else converted by swscale, scaled and turned upright as convert()
    // does. Null for colours in neither BT.601 nor BT.709 (BT.2020 HDR), which
    // only the RGB picture shows as the display does.
    PlanarPicture planar(const AVFrame* frame);
    // Keeps a picture nobody else holds for the next conversion: fresh memory
    // costs a page fault per 4 KiB, more than the conversion itself.
    void recycle(QImage&& image);
    // Forgets the clip: the contexts and the kept pictures.
    void reset();

private:
    ff::FramePtr deinterlaced(const AVFrame* in);
    bool buildDeinterlacer(const AVFrame* like);
    QImage blankImage();

    Geometry geometry_;
    bool deinterlace_ = false;
    QImage::Format format_ = QImage::Format_RGB32;
    FrameScaler scaler_;
    FrameScaler planarScaler_;
    std::vector<QImage> spareImages_;
    // The deinterlacer, for pictures of the size and format it was built for.
    ff::FilterGraphPtr graph_;
    AVFilterContext* graphIn_ = nullptr;
    AVFilterContext* graphOut_ = nullptr;
    int graphWidth_ = 0;
    int graphHeight_ = 0;
    int graphFormat_ = -1;
    int64_t graphPts_ = 0;
};

}  // namespace tvn
