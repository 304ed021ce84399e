#pragma once

#include <cstdint>

namespace tvn {

// Raising the control's documented events: each raise emits the signal, then
// calls the host's listener, with the same variables, so a handler's change to a
// by-reference argument reaches the subsystem that raised it. The control
// implements it; subsystems that raise events are handed it.
class ControlEvents {
public:
    virtual void raiseVideoEnd() = 0;
    virtual void raiseMouseDown(int16_t& Button, int16_t& Shift, float& x, float& y) = 0;
    virtual void raiseMouseUp(int16_t& Button, int16_t& Shift, float& x, float& y) = 0;
    virtual void raiseMouseMove(int16_t& Button, int16_t& Shift, float& x, float& y) = 0;
    virtual void raiseKeyPress(int16_t& KeyAscii) = 0;
    virtual void raiseFullScreenLost() = 0;
    virtual void raiseLessonCompressionComplete() = 0;
    virtual void raiseLessonCompressionProgress() = 0;

protected:
    ~ControlEvents() = default;
};

}  // namespace tvn
