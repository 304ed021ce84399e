#include "media/FrameComposer.h"

#include <QPainter>
#include <algorithm>

namespace tvn {

namespace {

constexpr int kChunk = 16;

// Whether any of the n pixels at p is other than the key colour (alpha aside):
// no early exit inside, so the compiler checks many pixels per instruction.
bool anyNotKey(const QRgb* p, int n, QRgb key) {
    QRgb differ = 0;
    for (int i = 0; i < n; ++i) differ |= (p[i] ^ key) & 0xFFFFFF;
    return differ != 0;
}

// The first pixel in [from, to) other than the key colour; to when there is none.
// A layer is mostly key colour, so whole chunks are passed over at a time.
int firstNotKey(const QRgb* line, int from, int to, QRgb key) {
    int c = from;
    while (c + kChunk <= to && !anyNotKey(line + c, kChunk, key)) c += kChunk;
    while (c < to && (line[c] & 0xFFFFFF) == key) ++c;
    return c;
}

// The last pixel in [from, to) other than the key colour; from - 1 when there is none.
int lastNotKey(const QRgb* line, int from, int to, QRgb key) {
    int e = to;
    while (e - kChunk >= from && !anyNotKey(line + e - kChunk, kChunk, key)) e -= kChunk;
    while (e > from && (line[e - 1] & 0xFFFFFF) == key) --e;
    return e - 1;
}

}  // namespace

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
            const int c = firstNotKey(line, 0, left, key);
            if (c == left && right < 0) continue;  // nothing in this row up to where the band starts
            left = std::min(left, c);
            right = std::max(right, lastNotKey(line, right + 1, source.width(), key));
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
    for (const auto& [slot, c] : captions_) drawCaption(c, painter, captionBox(c, painter, out.size()));
    return out;
}

void FrameComposer::compose(PlanarPicture& frame) const {
    if (frame.isNull() || isPlain()) return;
    if (mirrored_) frame.mirror();
    for (const auto& [slot, o] : overlays_)
        for (const Piece& piece : o.pieces) {
            if (piece.rect.size() == piece.keyed.size()) frame.blend(piece.keyed, piece.rect.topLeft());
            else frame.blend(piece.keyed.scaled(piece.rect.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation),
                             piece.rect.topLeft());
        }
    for (const auto& [slot, c] : captions_) {
        QImage measure(1, 1, QImage::Format_ARGB32_Premultiplied);
        QPainter measuring(&measure);
        const QRect box = captionBox(c, measuring, QSize(frame.width(), frame.height()));
        measuring.end();
        if (box.isEmpty()) continue;
        QImage drawn(box.size(), QImage::Format_ARGB32_Premultiplied);
        drawn.fill(Qt::transparent);
        QPainter painter(&drawn);
        painter.translate(-box.topLeft());
        drawCaption(c, painter, box);
        painter.end();
        frame.blend(drawn, box.topLeft());
    }
}

QRect FrameComposer::captionBox(const Caption& c, QPainter& painter, QSize picture) {
    painter.setFont(c.font);
    return painter.fontMetrics().boundingRect(QRect(c.at, picture), Qt::AlignLeft | Qt::AlignTop, c.text);
}

void FrameComposer::drawCaption(const Caption& c, QPainter& painter, const QRect& box) {
    if (c.background.isValid()) painter.fillRect(box, c.background);
    painter.setPen(c.colour);
    painter.drawText(box, Qt::AlignLeft | Qt::AlignTop, c.text);
}

}  // namespace tvn
