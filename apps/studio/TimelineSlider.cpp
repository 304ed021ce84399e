#include "TimelineSlider.h"

#include <QMouseEvent>
#include <QStyle>
#include <QStyleOptionSlider>

namespace studio {

TimelineSlider::TimelineSlider(QWidget* parent) : QSlider(Qt::Horizontal, parent) {
    connect(this, &QSlider::sliderMoved, this, &TimelineSlider::frameWanted);
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
