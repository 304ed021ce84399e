#pragma once

#include <QPointer>
#include <QWidget>

namespace tvn {

// The widget a visual component shows itself in, placed by its container in
// twips (Left, Top, Width, Height) and shown or hidden by it. Owns the widget.
class PlacedDisplay {
public:
    PlacedDisplay() = default;
    ~PlacedDisplay();
    PlacedDisplay(const PlacedDisplay&) = delete;
    PlacedDisplay& operator=(const PlacedDisplay&) = delete;

    QWidget* widget() const { return widget_; }
    // Replaces the widget; the new one keeps the shown/hidden state and the place.
    void replace(QWidget* widget);

    void setVisible(bool visible);
    bool visible() const { return widget_ && !widget_->isHidden(); }
    void setLeft(double twips) { left_ = twips; place(); }
    void setTop(double twips) { top_ = twips; place(); }
    void setWidth(double twips) { width_ = twips; place(); }
    void setHeight(double twips) { height_ = twips; place(); }
    double left() const { return left_; }
    double top() const { return top_; }
    double width() const { return width_; }
    double height() const { return height_; }

private:
    void place();

    QPointer<QWidget> widget_;
    double left_ = 0, top_ = 0, width_ = 0, height_ = 0;
};

}  // namespace tvn
