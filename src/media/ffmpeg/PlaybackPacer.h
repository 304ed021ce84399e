#pragma once

#include <chrono>
#include <functional>
#include <optional>

namespace tvn {

// Times the frames of a playing clip. Alone it follows the steady clock: the
// frame at position p is due at start + (p - startPosition) / rate. Given the
// clock of the clip's sound (the position being heard), it follows the sound,
// as players do: a sound device's clock drifts from the system's by up to a
// few parts in ten thousand, which over a match adds up to many frames, so the
// picture waits for the sound or hurries to it and the two stay within a frame
// over any length of play. The offset between the two clocks is smoothed, so
// jitter in the device's delay reports does not shake the picture; a jump (the
// sound starting, a device stall) is taken at once. While the sound clock has
// nothing to say (no sound, no device, the sound ended) the last offset holds.
// Used from one thread (a playback worker); the sound clock is called on it.
// Its owner may keep a copy to read where the clock stands (positionAt).
class PlaybackPacer {
public:
    using Clock = std::chrono::steady_clock;
    // The clip position (ms) being heard at an instant; nullopt when none is.
    using SoundClock = std::function<std::optional<double>(Clock::time_point)>;

    PlaybackPacer(Clock::time_point start, double startPositionMs, double rate, SoundClock sound = {});

    // When the frame starting at positionMs is due, with the sound clock read at now.
    Clock::time_point due(double positionMs, Clock::time_point now);
    // The clip position the clock has reached at now (the inverse of due).
    double positionAt(Clock::time_point now) const;
    double rate() const { return rate_; }

private:
    Clock::time_point start_;
    double startPositionMs_;
    double rate_;
    SoundClock sound_;
    double offsetMs_ = 0;  // sound position minus steady position, smoothed
    bool locked_ = false;  // offsetMs_ comes from a reading of the sound clock
};

}  // namespace tvn
