#include "platform/Surface.h"

#include "core/BitmapTable.h"

#include <QFontMetricsF>
#include <QPainter>
#include <cmath>

namespace tvn {

namespace {
constexpr double kDotsPerMeterAt96Dpi = 96.0 / 0.0254;

QImage blankImage(int w, int h, const QColor& fill) {
    QImage image(std::max(w, 1), std::max(h, 1), QImage::Format_RGB32);
    image.setDotsPerMeterX(static_cast<int>(std::lround(kDotsPerMeterAt96Dpi)));
    image.setDotsPerMeterY(static_cast<int>(std::lround(kDotsPerMeterAt96Dpi)));
    image.fill(fill);
    return image;
}

void preparePainter(QPainter& p) {
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setRenderHint(QPainter::TextAntialiasing, false);
}
}  // namespace

Surface::Surface(QString name, double twipsPerPixel)
    : name_(std::move(name)), twipsPerPixel_(twipsPerPixel > 0 ? twipsPerPixel : 15.0) {
    image_ = blankImage(1, 1, toQColor(backColor_));
}

Surface::~Surface() {
    if (handle_) BitmapTable::instance().release(handle_);
}

QColor Surface::toQColor(int32_t colour) {
    const auto c = static_cast<uint32_t>(colour);
    return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
}

int32_t Surface::fromQColor(const QColor& colour) {
    return colour.red() | (colour.green() << 8) | (colour.blue() << 16);
}

double Surface::toPixels(double value) const { return unit_ == Unit::Twips ? value / twipsPerPixel_ : value; }
double Surface::fromPixels(double pixels) const { return unit_ == Unit::Twips ? pixels * twipsPerPixel_ : pixels; }

void Surface::setSize(double width, double height) {
    const int w = std::max(1, static_cast<int>(std::lround(toPixels(width))));
    const int h = std::max(1, static_cast<int>(std::lround(toPixels(height))));
    if (w == image_.width() && h == image_.height()) return;
    QImage next = blankImage(w, h, toQColor(backColor_));
    QPainter p(&next);
    p.drawImage(0, 0, image_);
    p.end();
    image_ = next;
}

double Surface::width() const { return fromPixels(image_.width()); }
double Surface::height() const { return fromPixels(image_.height()); }

void Surface::setBackColor(int32_t colour) { backColor_ = colour; }

void Surface::clear() {
    image_.fill(toQColor(backColor_));
    if (!picture_.isNothing()) {
        QPainter p(&image_);
        p.drawImage(0, 0, picture_.image());
    }
    currentX_ = currentY_ = 0;
}

void Surface::clearTo(int32_t colour) {
    backColor_ = colour;
    clear();
}

void Surface::strokeLine(QPainter& p, double x1, double y1, double x2, double y2) const {
    const QPointF a(toPixels(x1), toPixels(y1));
    const QPointF b(toPixels(x2), toPixels(y2));
    if (a == b) {
        // A zero-length line is a dot of the pen width.
        const double d = drawWidth_;
        const QColor colour = p.pen().color();
        p.setPen(Qt::NoPen);
        p.setBrush(colour);
        if (d <= 1) {
            p.fillRect(QRectF(std::floor(a.x()), std::floor(a.y()), 1, 1), colour);
        } else {
            p.drawEllipse(a, d / 2.0, d / 2.0);
        }
        return;
    }
    p.drawLine(a, b);
}

void Surface::line(double x1, double y1, double x2, double y2, int32_t colour) {
    QPainter p(&image_);
    preparePainter(p);
    const QColor c = toQColor(colour);
    p.setPen(QPen(c, drawWidth_, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(c);
    strokeLine(p, x1, y1, x2, y2);
}

void Surface::box(double x1, double y1, double x2, double y2, int32_t colour) {
    QPainter p(&image_);
    preparePainter(p);
    p.setPen(QPen(toQColor(colour), drawWidth_, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(QPointF(toPixels(x1), toPixels(y1)), QPointF(toPixels(x2), toPixels(y2))).normalized());
}

void Surface::circle(double cx, double cy, double radius, int32_t colour) {
    QPainter p(&image_);
    preparePainter(p);
    p.setPen(QPen(toQColor(colour), drawWidth_));
    p.setBrush(Qt::NoBrush);
    const double r = std::abs(toPixels(radius));
    p.drawEllipse(QPointF(toPixels(cx), toPixels(cy)), r, r);
}

QFont Surface::currentFont() const {
    QFont font(fontName_);
    font.setPointSizeF(fontSize_ > 0 ? fontSize_ : 8.25);
    font.setBold(fontBold_);
    font.setStyleStrategy(QFont::NoAntialias);
    return font;
}

void Surface::print(const QString& text) {
    QPainter p(&image_);
    preparePainter(p);
    const QFont font = currentFont();
    p.setFont(font);
    p.setPen(toQColor(foreColor_));
    const QFontMetricsF metrics(font, &image_);
    const QPointF topLeft(toPixels(currentX_), toPixels(currentY_));
    p.drawText(QPointF(topLeft.x(), topLeft.y() + metrics.ascent()), text);
    currentX_ = 0;
    currentY_ += fromPixels(metrics.height());
}

void Surface::paintPicture(const QImage& image, double x, double y) {
    if (image.isNull()) return;
    QPainter p(&image_);
    p.drawImage(QPointF(toPixels(x), toPixels(y)), image);
}

void Surface::paintPicture(const QImage& image, double x, double y, double width, double height,
                           double srcX, double srcY) {
    if (image.isNull()) return;
    QPainter p(&image_);
    p.setRenderHint(QPainter::SmoothPixmapTransform, true);
    const QRectF source(srcX, srcY, image.width() - srcX, image.height() - srcY);
    QRectF target(toPixels(x), toPixels(y), toPixels(width), toPixels(height));
    const bool mirrorX = target.width() < 0;
    const bool mirrorY = target.height() < 0;
    if (mirrorX || mirrorY) {
        p.translate(target.x(), target.y());
        p.scale(mirrorX ? -1 : 1, mirrorY ? -1 : 1);
        target = QRectF(0, 0, std::abs(target.width()), std::abs(target.height()));
    }
    p.drawImage(target, image, source);
}

void Surface::combineAnd(const Surface& other, const QRect& area) {
    const QImage source = other.image_.convertToFormat(QImage::Format_RGB32);
    const QRect part = (area.isNull() ? source.rect() : area) & source.rect() & image_.rect();
    if (part.isEmpty()) return;
    if (image_.format() != QImage::Format_RGB32) {
        QPainter p(&image_);
        p.setCompositionMode(QPainter::RasterOp_SourceAndDestination);
        p.drawImage(part.topLeft(), source, part);
        return;
    }
    // By hand: the painter's raster operation takes a few times as long, which
    // a video export pays on every frame.
    for (int y = part.top(); y <= part.bottom(); ++y) {
        const auto* from = reinterpret_cast<const quint32*>(source.constScanLine(y)) + part.left();
        quint32 all = 0xFFFFFFFFu;
        for (int x = 0; x < part.width(); ++x) all &= from[x];
        if ((all & 0xFFFFFF) == 0xFFFFFF) continue;  // a white row changes nothing
        auto* to = reinterpret_cast<quint32*>(image_.scanLine(y)) + part.left();
        for (int x = 0; x < part.width(); ++x) to[x] &= from[x] | 0xFF000000u;
    }
}

void Surface::setPicture(const Picture& picture) {
    picture_ = picture;
    if (!picture_.isNothing()) {
        QPainter p(&image_);
        p.drawImage(0, 0, picture_.image());
    }
}

int32_t Surface::handle() {
    auto& table = BitmapTable::instance();
    if (!handle_ || !table.update(handle_, image_)) handle_ = table.add(image_);
    return handle_;
}

}  // namespace tvn
