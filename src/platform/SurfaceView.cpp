#include "platform/SurfaceView.h"

#include "platform/Surface.h"

#include <QPainter>

namespace tvn {

SurfaceView::SurfaceView(const Surface& surface, QWidget* parent) : QWidget(parent), surface_(surface) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void SurfaceView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.drawImage(rect(), surface_.image());
}

}  // namespace tvn
