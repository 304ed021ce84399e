#pragma once

#include "core/Picture.h"

#include <QFont>
#include <QImage>
#include <QString>
#include <cstdint>

namespace tvn {

// A picture box with a persistent bitmap: what the control draws on. Coordinates
// are in the surface's scale unit (twips by default, pixels where a work surface
// is sized in pixels); pen widths are always pixels; colours are 0x00BBGGRR.
// Drawing is not anti-aliased, so every pixel has exactly one of the colours
// drawn: the engine keys one colour out as transparent, and a blended edge
// would show as a halo around every stroke.
class Surface {
public:
    enum class Unit { Twips, Pixels };

    explicit Surface(QString name, double twipsPerPixel = 15.0);
    ~Surface();
    Surface(const Surface&) = delete;
    Surface& operator=(const Surface&) = delete;

    const QString& name() const { return name_; }

    // Scale unit of coordinates and sizes.
    void setUnit(Unit unit) { unit_ = unit; }
    Unit unit() const { return unit_; }
    double twipsPerPixel() const { return twipsPerPixel_; }
    void setTwipsPerPixel(double value) { twipsPerPixel_ = value; }

    // Size in the surface's unit. A new size keeps what was drawn at the top-left
    // and fills the rest with the background colour.
    void setSize(double width, double height);
    double width() const;
    double height() const;
    int widthPixels() const { return image_.width(); }
    int heightPixels() const { return image_.height(); }

    bool isVisible() const { return visible_; }
    void setVisible(bool visible) { visible_ = visible; }

    int32_t backColor() const { return backColor_; }
    void setBackColor(int32_t colour);
    int32_t foreColor() const { return foreColor_; }
    void setForeColor(int32_t colour) { foreColor_ = colour; }
    int drawWidth() const { return drawWidth_; }
    void setDrawWidth(int pixels) { drawWidth_ = pixels < 1 ? 1 : pixels; }

    QString fontName() const { return fontName_; }
    void setFontName(const QString& name) { fontName_ = name; }
    double fontSize() const { return fontSize_; }
    void setFontSize(double points) { fontSize_ = points; }
    bool fontBold() const { return fontBold_; }
    void setFontBold(bool bold) { fontBold_ = bold; }

    double currentX() const { return currentX_; }
    double currentY() const { return currentY_; }
    void setCurrentPosition(double x, double y) { currentX_ = x; currentY_ = y; }

    // Clears the bitmap to the background colour (and the picture, if any, is
    // painted again as the background); the text position returns to (0, 0).
    void clear();
    // Clears to the given colour, which becomes the background colour.
    void clearTo(int32_t colour);

    void line(double x1, double y1, double x2, double y2, int32_t colour);
    void box(double x1, double y1, double x2, double y2, int32_t colour);
    void circle(double cx, double cy, double radius, int32_t colour);
    // Prints at the text position in the fore colour with a transparent background,
    // then moves the text position to the start of the next line.
    void print(const QString& text);

    // Paints an image with its top-left corner at (x, y), at its natural size.
    void paintPicture(const QImage& image, double x, double y);
    // Paints the part of image from (srcX, srcY) onward (source pixels) stretched
    // into the destination rectangle (surface units). A negative size mirrors.
    void paintPicture(const QImage& image, double x, double y, double width, double height,
                      double srcX = 0, double srcY = 0);
    // Each colour bit of this surface is ANDed with the same bit of the other.
    // Only the other's pixels inside area when one is given (the rest is known
    // to be white, which the AND leaves as it is); rows of white are passed over.
    void combineAnd(const Surface& other, const QRect& area = QRect());

    // The background picture: painted at (0, 0) now and by every clear().
    void setPicture(const Picture& picture);
    const Picture& picture() const { return picture_; }
    // The current bitmap as an image (implicitly shared copy).
    const QImage& image() const { return image_; }
    // A handle of the current bitmap in the bitmap table; the same handle for
    // the surface's whole life, always showing its current content.
    int32_t handle();
    // Whether handle is this surface's handle; unlike handle(), it neither makes
    // one nor copies the bitmap into the table.
    bool hasHandle(int32_t handle) const { return handle_ != 0 && handle == handle_; }

    static QColor toQColor(int32_t colour);
    static int32_t fromQColor(const QColor& colour);

private:
    double toPixels(double value) const;
    double fromPixels(double pixels) const;
    QFont currentFont() const;
    void strokeLine(class QPainter& p, double x1, double y1, double x2, double y2) const;

    QString name_;
    double twipsPerPixel_;
    Unit unit_ = Unit::Twips;
    QImage image_;
    Picture picture_;
    bool visible_ = true;
    int32_t backColor_ = 0xFFFFFF;
    int32_t foreColor_ = 0;
    int drawWidth_ = 1;
    QString fontName_ = QStringLiteral("Arial");
    double fontSize_ = 8.25;
    bool fontBold_ = false;
    double currentX_ = 0;
    double currentY_ = 0;
    int32_t handle_ = 0;
};

}  // namespace tvn
