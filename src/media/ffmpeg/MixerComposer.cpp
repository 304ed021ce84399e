#include "media/ffmpeg/MixerComposer.h"

#include <QPainter>
#include <algorithm>

namespace tvn {

namespace {
// A mirrored copy of a 32-bit picture by plain row copies (QImage::mirrored
// takes a slow generic path for pictures wrapped around decoder buffers).
QImage mirroredCopy(const QImage& source, bool mirrorX, bool mirrorY) {
    const QImage in = source.depth() == 32 ? source : source.convertToFormat(QImage::Format_RGB32);
    QImage out(in.size(), in.format());
    const int w = in.width(), h = in.height();
    for (int row = 0; row < h; ++row) {
        const auto* from = reinterpret_cast<const quint32*>(in.constScanLine(mirrorY ? h - 1 - row : row));
        auto* to = reinterpret_cast<quint32*>(out.scanLine(row));
        if (mirrorX) {
            for (int x = 0; x < w; ++x) to[x] = from[w - 1 - x];
        } else {
            std::copy(from, from + w, to);
        }
    }
    return out;
}
}  // namespace

QImage MixerComposer::compose(const std::vector<Layer>& layers, QSize displaySize, QColor background) {
    // ARGB32_Premultiplied is the format QPainter blends into fastest; no pixel
    // is ever transparent (the background is opaque), so it shows as RGB32 does.
    QImage picture(displaySize, QImage::Format_ARGB32_Premultiplied);
    if (picture.isNull()) return picture;
    picture.fill(QColor(background.red(), background.green(), background.blue()));
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    for (const Layer& layer : layers) {
        const float alpha = std::clamp(layer.alpha, 0.0f, 1.0f);
        if (layer.image.isNull() || alpha <= 0.0f || layer.rect.width() == 0 || layer.rect.height() == 0) continue;
        const QRectF r = layer.rect;
        const bool mirrorX = r.width() < 0;
        const bool mirrorY = r.height() < 0;
        painter.setOpacity(alpha);
        if (mirrorX || mirrorY) {
            // Mirroring the picture first keeps the draw on the painter's
            // untransformed path, several times faster than a negative scale.
            const QRectF target(mirrorX ? r.x() + r.width() : r.x(), mirrorY ? r.y() + r.height() : r.y(),
                                std::abs(r.width()), std::abs(r.height()));
            painter.drawImage(target, mirroredCopy(layer.image, mirrorX, mirrorY));
        } else {
            painter.drawImage(r, layer.image);
        }
    }
    painter.end();
    return picture;
}

}  // namespace tvn
