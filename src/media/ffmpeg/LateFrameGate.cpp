#include "media/ffmpeg/LateFrameGate.h"

namespace tvn {

bool LateFrameGate::drop(Clock::time_point due, double frameMs, Clock::time_point now) {
    const auto frameLength = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double, std::milli>(frameMs));
    if (now > due + frameLength && inARow_ < kMaxDroppedInARow) {
        ++inARow_;
        ++dropped_;
        return true;
    }
    inARow_ = 0;
    return false;
}

}  // namespace tvn
