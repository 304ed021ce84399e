#pragma once

// A planar picture shown as RGB32, the way a player converts a file's
// pictures (its tagged matrix, limited range), to compare it with the
// control's own pictures.

#include "media/PlanarPicture.h"
#include "media/ffmpeg/FrameScaler.h"

#include <QImage>
#include <cstring>

namespace tvn::testing {

inline QImage rgbOf(const PlanarPicture& picture) {
    if (picture.isNull()) return {};
    QImage image = FrameScaler::writableImage(picture.width(), picture.height(), QImage::Format_RGB32);
    const uint8_t* src[4] = {picture.plane(0), picture.plane(1), picture.plane(2), nullptr};
    const int srcStride[4] = {picture.stride(0), picture.stride(1), picture.stride(2), 0};
    uint8_t* dst[4] = {image.bits(), nullptr, nullptr, nullptr};
    const int dstStride[4] = {int(image.bytesPerLine()), 0, 0, 0};
    const AVColorSpace space = picture.matrix() == PlanarPicture::Matrix::Bt709 ? AVCOL_SPC_BT709 : AVCOL_SPC_SMPTE170M;
    FrameScaler scaler;
    if (!scaler.scale({picture.width(), picture.height(), AV_PIX_FMT_YUV420P, AVCOL_RANGE_MPEG, space}, src, srcStride,
                      {picture.width(), picture.height(), AV_PIX_FMT_RGB32, AVCOL_RANGE_JPEG, AVCOL_SPC_UNSPECIFIED},
                      dst, dstStride))
        return {};
    return image.copy();
}

// An RGB picture as 4:2:0 planes, converted as the encoder's converter does.
inline PlanarPicture planarOf(const QImage& given, PlanarPicture::Matrix matrix) {
    const QImage image = given.convertToFormat(QImage::Format_RGB32);
    PlanarPicture picture(image.width(), image.height(), matrix);
    const uint8_t* src[4] = {image.constBits(), nullptr, nullptr, nullptr};
    const int srcStride[4] = {int(image.bytesPerLine()), 0, 0, 0};
    uint8_t* dst[4] = {picture.plane(0), picture.plane(1), picture.plane(2), nullptr};
    const int dstStride[4] = {picture.stride(0), picture.stride(1), picture.stride(2), 0};
    const AVColorSpace space = matrix == PlanarPicture::Matrix::Bt709 ? AVCOL_SPC_BT709 : AVCOL_SPC_SMPTE170M;
    FrameScaler scaler;
    if (!scaler.scale({image.width(), image.height(), AV_PIX_FMT_RGB32, AVCOL_RANGE_JPEG, AVCOL_SPC_UNSPECIFIED}, src,
                      srcStride, {image.width(), image.height(), AV_PIX_FMT_YUV420P, AVCOL_RANGE_MPEG, space}, dst,
                      dstStride))
        return {};
    return picture;
}

// The luma plane as an 8-bit grey picture.
inline QImage lumaOf(const PlanarPicture& picture) {
    QImage image(picture.width(), picture.height(), QImage::Format_Grayscale8);
    for (int y = 0; y < picture.height(); ++y)
        std::memcpy(image.scanLine(y), picture.plane(0) + size_t(y) * picture.stride(0), size_t(picture.width()));
    return image;
}

// Mean absolute difference per channel between two pictures of one size (255 when the sizes differ).
inline double meanDifference(const QImage& a, const QImage& b) {
    const QImage x = a.convertToFormat(QImage::Format_RGB32), y = b.convertToFormat(QImage::Format_RGB32);
    if (x.size() != y.size()) return 255;
    double sum = 0;
    for (int row = 0; row < x.height(); ++row) {
        const auto* p = reinterpret_cast<const QRgb*>(x.constScanLine(row));
        const auto* q = reinterpret_cast<const QRgb*>(y.constScanLine(row));
        for (int col = 0; col < x.width(); ++col)
            sum += std::abs(qRed(p[col]) - qRed(q[col])) + std::abs(qGreen(p[col]) - qGreen(q[col])) +
                   std::abs(qBlue(p[col]) - qBlue(q[col]));
    }
    return sum / (3.0 * x.width() * x.height());
}

}  // namespace tvn::testing
