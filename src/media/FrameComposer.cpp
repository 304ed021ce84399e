#include "media/FrameComposer.h"

#include <QPainter>
#include <algorithm>

namespace tvn {

QColor FrameComposer::colourOf(int32_t bgr) {
    const auto c = static_cast<uint32_t>(bgr);
    return QColor(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF));
}

void FrameComposer::setOverlay(int32_t slot, const QImage& bitmap, int x, int y, int width, int height,
                               int32_t keyColour, int32_t alpha) {
    if (bitmap.isNull()) {
        removeOverlay(slot);
        return;
    }
    // Keying and opacity are applied once here, so composing a frame only draws.
    const QRgb key = colourOf(keyColour).rgb() & 0xFFFFFF;
    const int opacity = alpha <= Opaque ? 255 : std::clamp(alpha, 0, 255);
    const QSize size(width > 0 ? width : bitmap.width(), height > 0 ? height : bitmap.height());
    const auto keyedPixel = [&](QRgb p) -> QRgb {
        if ((p & 0xFFFFFF) == key) return 0;
        return qPremultiply(qRgba(qRed(p), qGreen(p), qBlue(p), qAlpha(p) * opacity / 255));
    };
    Overlay overlay;
    if (size != bitmap.size()) {
        // Stretched: keyed whole, then scaled smoothly (the key's edge blends).
        QImage keyed = bitmap.convertToFormat(QImage::Format_ARGB32);
        for (int row = 0; row < keyed.height(); ++row) {
            auto* line = reinterpret_cast<QRgb*>(keyed.scanLine(row));
            for (int col = 0; col < keyed.width(); ++col) {
                const QRgb p = line[col];
                line[col] = (p & 0xFFFFFF) == key ? 0 : qRgba(qRed(p), qGreen(p), qBlue(p), qAlpha(p) * opacity / 255);
            }
        }
        keyed = keyed.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        overlay.pieces.push_back({keyed.convertToFormat(QImage::Format_ARGB32_Premultiplied), QRect(QPoint(x, y), size)});
        overlays_[slot] = std::move(overlay);
        return;
    }
    const QImage source = bitmap.format() == QImage::Format_RGB32 || bitmap.format() == QImage::Format_ARGB32
                              ? bitmap
                              : bitmap.convertToFormat(QImage::Format_ARGB32);
    // An RGB32 picture's top byte is not alpha: every pixel is opaque.
    const QRgb opaqueBits = source.format() == QImage::Format_RGB32 ? 0xFF000000u : 0;
    for (int top = 0; top < source.height(); top += BandRows) {
        const int rows = std::min(BandRows, source.height() - top);
        int left = source.width(), right = -1;
        for (int row = top; row < top + rows; ++row) {
            const auto* line = reinterpret_cast<const QRgb*>(source.constScanLine(row));
            int c = 0;
            while (c < left && (line[c] & 0xFFFFFF) == key) ++c;
            left = std::min(left, c);
            int e = source.width() - 1;
            while (e > right && (line[e] & 0xFFFFFF) == key) --e;
            right = std::max(right, e);
        }
        if (right < left) continue;  // the whole band is the key colour
        QImage piece(right - left + 1, rows, QImage::Format_ARGB32_Premultiplied);
        for (int row = 0; row < rows; ++row) {
            const auto* in = reinterpret_cast<const QRgb*>(source.constScanLine(top + row)) + left;
            auto* out = reinterpret_cast<QRgb*>(piece.scanLine(row));
            for (int col = 0; col < piece.width(); ++col) out[col] = keyedPixel(in[col] | opaqueBits);
        }
        overlay.pieces.push_back({std::move(piece), QRect(x + left, y + top, right - left + 1, rows)});
    }
    overlays_[slot] = std::move(overlay);
}

void FrameComposer::removeOverlay(int32_t slot) { overlays_.erase(slot); }

void FrameComposer::setCaption(int32_t slot, const QString& text, int x, int y, const QString& fontName,
                               int fontSize, int32_t colour, int32_t background) {
    if (text.isEmpty()) {
        captions_.erase(slot);
        return;
    }
    Caption c;
    c.text = text;
    c.at = QPoint(x, y);
    c.font = QFont(fontName);
    c.font.setPointSize(std::max(1, fontSize));
    c.colour = colourOf(colour);
    if (background != NoBackground) c.background = colourOf(background);
    captions_[slot] = c;
}

void FrameComposer::clear() {
    overlays_.clear();
    captions_.clear();
    mirrored_ = false;
}

QImage FrameComposer::compose(const QImage& frame) const {
    if (frame.isNull() || isPlain()) return frame;
    QImage out = mirrored_ ? frame.mirrored(true, false) : frame.copy();
    if (out.format() != QImage::Format_RGB32) out = out.convertToFormat(QImage::Format_RGB32);
    QPainter painter(&out);
    for (const auto& [slot, o] : overlays_)
        for (const Piece& piece : o.pieces) painter.drawImage(piece.rect, piece.keyed);
    for (const auto& [slot, c] : captions_) {
        painter.setFont(c.font);
        const QRect box = painter.fontMetrics().boundingRect(QRect(c.at, QSize(out.width(), out.height())),
                                                             Qt::AlignLeft | Qt::AlignTop, c.text);
        if (c.background.isValid()) painter.fillRect(box, c.background);
        painter.setPen(c.colour);
        painter.drawText(box, Qt::AlignLeft | Qt::AlignTop, c.text);
    }
    return out;
}

}  // namespace tvn
