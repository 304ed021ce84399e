#include "annotate/AnnotationPen.h"

#include "platform/Surface.h"

namespace tvn {

namespace {
constexpr int32_t kBlack = 0;
// Labels in readable drawing: the design font, bold.
const QString kLabelFont = QStringLiteral("Arial Black");
}  // namespace

int32_t AnnotationPen::outlineOf(int32_t colour) const {
    const int32_t outline = colour == kBlack ? 0xE0E0E0 : kBlack;
    return outline == key_ ? outline ^ 0x010101 : outline;
}

void AnnotationPen::line(double x1, double y1, double x2, double y2, int32_t colour, int w, std::optional<QPointF> shadow) {
    if (readable_) {
        p.setDrawWidth(width(w) + 2 * rim());
        p.line(x1, y1, x2, y2, outlineOf(colour));
        p.setDrawWidth(width(w));
    } else if (shadow && colour != kBlack) {
        p.line(x1 + shadow->x(), y1 + shadow->y(), x2 + shadow->x(), y2 + shadow->y(), kBlack);
    }
    p.line(x1, y1, x2, y2, colour);
    p.setDrawWidth(w);
}

void AnnotationPen::print(const QString& text, int32_t colour, bool label) {
    const QString font = p.fontName();
    const bool bold = p.fontBold();
    if (readable_ && label) {
        p.setFontName(kLabelFont);
        p.setFontBold(true);
    }
    if (readable_) {
        const double x = p.currentX(), y = p.currentY();
        const double d = rim() * (p.unit() == Surface::Unit::Twips ? p.twipsPerPixel() : 1.0);
        p.setForeColor(outlineOf(colour));
        for (const QPointF o : {QPointF(-d, -d), QPointF(0, -d), QPointF(d, -d), QPointF(-d, 0), QPointF(d, 0),
                                QPointF(-d, d), QPointF(0, d), QPointF(d, d)}) {
            p.setCurrentPosition(x + o.x(), y + o.y());
            p.print(text);
        }
        p.setCurrentPosition(x, y);
    }
    p.setForeColor(colour);
    p.print(text);
    if (readable_ && label) {
        p.setFontName(font);
        p.setFontBold(bold);
    }
}

}  // namespace tvn
