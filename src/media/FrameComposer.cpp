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
    QImage keyed = bitmap.convertToFormat(QImage::Format_ARGB32);
    const QRgb key = colourOf(keyColour).rgb() & 0xFFFFFF;
    const int opacity = alpha <= Opaque ? 255 : std::clamp(alpha, 0, 255);
    for (int row = 0; row < keyed.height(); ++row) {
        auto* line = reinterpret_cast<QRgb*>(keyed.scanLine(row));
        for (int col = 0; col < keyed.width(); ++col) {
            const QRgb p = line[col];
            if ((p & 0xFFFFFF) == key) {
                line[col] = 0;
            } else {
                line[col] = qRgba(qRed(p), qGreen(p), qBlue(p), qAlpha(p) * opacity / 255);
            }
        }
    }
    const QSize size(width > 0 ? width : bitmap.width(), height > 0 ? height : bitmap.height());
    if (size != keyed.size()) keyed = keyed.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    overlays_[slot] = Overlay{keyed.convertToFormat(QImage::Format_ARGB32_Premultiplied), QRect(QPoint(x, y), size)};
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
    for (const auto& [slot, o] : overlays_) painter.drawImage(o.rect, o.keyed);
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
