#include "TimelineSlider.h"

#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionSlider>

namespace studio {

TimelineSlider::TimelineSlider(QWidget* parent) : QSlider(Qt::Horizontal, parent) {
    connect(this, &QSlider::sliderMoved, this, &TimelineSlider::frameWanted);
}

void TimelineSlider::setMarks(QList<Mark> marks) {
    marks_ = std::move(marks);
    update();
}

int TimelineSlider::markX(int frame) const {
    QStyleOptionSlider option;
    initStyleOption(&option);
    const QRect handle = style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this);
    const QRect groove = style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderGroove, this);
    return groove.x() + handle.width() / 2 +
           QStyle::sliderPositionFromValue(minimum(), maximum(), frame, groove.width() - handle.width(), option.upsideDown);
}

void TimelineSlider::paintEvent(QPaintEvent* event) {
    QSlider::paintEvent(event);
    if (marks_.isEmpty() || maximum() <= minimum()) return;
    // A narrow upright bar with a dark edge reads on any style's groove; the handle stays on top of the picture.
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const int top = 1, height = this->height() - 2;
    for (const Mark& mark : marks_) {
        if (mark.frame < minimum() || mark.frame > maximum()) continue;
        const QRectF bar(markX(mark.frame) - 2.5, top, 5, height);
        painter.setPen(QPen(QColor(0, 0, 0, 170), 1));
        painter.setBrush(mark.colour);
        painter.drawRoundedRect(bar, 1.5, 1.5);
    }
}

void TimelineSlider::mousePressEvent(QMouseEvent* event) {
    QStyleOptionSlider option;
    initStyleOption(&option);
    const QRect handle = style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this);
    if (event->button() == Qt::LeftButton && !handle.contains(event->position().toPoint()) && maximum() > minimum()) {
        const QRect groove = style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderGroove, this);
        const int x = event->position().toPoint().x() - groove.x() - handle.width() / 2;
        const int frame = QStyle::sliderValueFromPosition(minimum(), maximum(), x, groove.width() - handle.width(),
                                                          option.upsideDown);
        setValue(frame);
        emit frameWanted(frame);
    }
    // The handle is under the pointer now, so the press also starts a drag.
    QSlider::mousePressEvent(event);
}

}  // namespace studio
