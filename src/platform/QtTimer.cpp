#include "platform/QtTimer.h"

namespace tvn {

QtTimer::QtTimer() {
    timer_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer_, &QTimer::timeout, [this] { fireTick(); });
}

void QtTimer::setInterval(int milliseconds) { timer_.setInterval(milliseconds < 0 ? 0 : milliseconds); }

void QtTimer::setEnabled(bool enabled) {
    if (enabled && !timer_.isActive()) timer_.start();
    if (!enabled) timer_.stop();
}

}  // namespace tvn
