#pragma once

#include "platform/Timer.h"

#include <QTimer>

namespace tvn {

// Timer on the Qt event loop (precise timer type: the lesson loop ticks every 17 ms).
class QtTimer : public Timer {
public:
    QtTimer();

    void setInterval(int milliseconds) override;
    int interval() const override { return timer_.interval(); }
    void setEnabled(bool enabled) override;
    bool isEnabled() const override { return timer_.isActive(); }

private:
    QTimer timer_;
};

}  // namespace tvn
