#pragma once

#include <functional>

namespace tvn {

// A timer that ticks on the UI thread while enabled. Injectable: the desktop
// one runs on the event loop, the one tests use is fired by hand.
class Timer {
public:
    virtual ~Timer() = default;

    virtual void setInterval(int milliseconds) = 0;
    virtual int interval() const = 0;
    virtual void setEnabled(bool enabled) = 0;
    virtual bool isEnabled() const = 0;

    // Called on every tick.
    void setTickHandler(std::function<void()> handler) { tick_ = std::move(handler); }

protected:
    void fireTick() {
        if (tick_) tick_();
    }

private:
    std::function<void()> tick_;
};

}  // namespace tvn
