#pragma once

#include <chrono>
#include <cstdint>

namespace tvn {

// Decides, frame by frame, whether a playing clip that has fallen behind its
// clock should drop a picture: a frame due more than one frame period ago is
// decoded but neither converted nor shown, so a clip too heavy for the machine
// keeps to the clock (and to its sound) instead of drifting behind it. At most
// kMaxDroppedInARow frames are dropped in a row, so the picture never freezes.
// Used from one thread (a playback worker).
class LateFrameGate {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr int kMaxDroppedInARow = 4;

    // True when the frame due at `due`, lasting frameMs of wall-clock time, is to be
    // dropped at `now` (the caller reads the clock, so the rule is testable without one).
    bool drop(Clock::time_point due, double frameMs, Clock::time_point now);
    int64_t dropped() const { return dropped_; }

private:
    int inARow_ = 0;
    int64_t dropped_ = 0;
};

}  // namespace tvn
