#include "media/PlacedDisplay.h"

#include "core/Twips.h"

#include <cmath>

namespace tvn {

PlacedDisplay::~PlacedDisplay() { delete widget_.data(); }

void PlacedDisplay::replace(QWidget* widget) {
    if (widget_ == widget) return;
    const bool hidden = widget_ ? widget_->isHidden() : false;
    delete widget_.data();
    widget_ = widget;
    if (widget_) {
        widget_->setHidden(hidden);
        place();
    }
}

void PlacedDisplay::setVisible(bool visible) {
    if (widget_) widget_->setVisible(visible);
}

void PlacedDisplay::place() {
    if (!widget_) return;
    const double tx = twipsPerPixelX(widget_->parentWidget());
    const double ty = twipsPerPixelY(widget_->parentWidget());
    widget_->setGeometry(static_cast<int>(std::lround(left_ / tx)), static_cast<int>(std::lround(top_ / ty)),
                         static_cast<int>(std::lround(width_ / tx)), static_cast<int>(std::lround(height_ / ty)));
}

}  // namespace tvn
