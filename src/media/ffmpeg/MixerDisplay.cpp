#include "media/ffmpeg/MixerDisplay.h"

#include <QPaintEvent>
#include <QPainter>

namespace tvn {

MixerDisplay::MixerDisplay(QWidget* parent) : QWidget(parent) {
    // The picture covers the whole widget; nothing behind it needs painting.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void MixerDisplay::setPicture(const QImage& picture) {
    picture_ = picture;
    update();
}

void MixerDisplay::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    const QRect area = event->rect();
    if (picture_.isNull()) {
        painter.fillRect(area, Qt::black);
        return;
    }
    painter.drawImage(area.topLeft(), picture_, area);
    // A picture composed for an earlier, smaller size leaves the rest black until the next composition.
    const QRegion uncovered = QRegion(area) - QRegion(picture_.rect());
    for (const QRect& r : uncovered) painter.fillRect(r, Qt::black);
}

void MixerDisplay::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    emit resized();
}

}  // namespace tvn
