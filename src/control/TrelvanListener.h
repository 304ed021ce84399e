#pragma once

#include "core/TrelvanExport.h"

#include <cstdint>

namespace tvn {

// Receives the control's events, as an alternative to connecting its Qt signals.
// Called right after the signal, with the same variables: a change made by a
// handler of either kind is seen by the control.
class TVN_EXPORT TrelvanListener {
public:
    virtual ~TrelvanListener() = default;
    virtual void VideoEnd() {}
    virtual void MouseDown(int16_t& /*Button*/, int16_t& /*Shift*/, float& /*x*/, float& /*y*/) {}
    virtual void MouseUp(int16_t& /*Button*/, int16_t& /*Shift*/, float& /*x*/, float& /*y*/) {}
    virtual void MouseMove(int16_t& /*Button*/, int16_t& /*Shift*/, float& /*x*/, float& /*y*/) {}
    virtual void KeyPress(int16_t& /*KeyAscii*/) {}
    virtual void FullScreenLost() {}
    virtual void LessonCompressionComplete() {}
    virtual void LessonCompressionProgress() {}
};

}  // namespace tvn
