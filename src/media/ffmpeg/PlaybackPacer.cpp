#include "media/ffmpeg/PlaybackPacer.h"

#include <cmath>

namespace tvn {

namespace {
// Share of each new reading taken into the offset: about ten frames to settle,
// while a drift of 1 % leaves an error of a tenth of a frame.
constexpr double kSmoothing = 0.1;
// A reading this far from the offset is a jump, taken at once.
constexpr double kJumpMs = 80;
}  // namespace

PlaybackPacer::PlaybackPacer(Clock::time_point start, double startPositionMs, double rate, SoundClock sound)
    : start_(start), startPositionMs_(startPositionMs), rate_(rate > 0 ? rate : 1.0), sound_(std::move(sound)) {}

PlaybackPacer::Clock::time_point PlaybackPacer::due(double positionMs, Clock::time_point now) {
    if (const std::optional<double> heard = sound_ ? sound_(now) : std::nullopt) {
        const double steadyPositionMs =
            startPositionMs_ + std::chrono::duration<double, std::milli>(now - start_).count() * rate_;
        const double measured = *heard - steadyPositionMs;
        if (!locked_ || std::abs(measured - offsetMs_) > kJumpMs) offsetMs_ = measured;
        else offsetMs_ += kSmoothing * (measured - offsetMs_);
        locked_ = true;
    }
    return start_ + std::chrono::duration_cast<Clock::duration>(
                        std::chrono::duration<double, std::milli>((positionMs - startPositionMs_ - offsetMs_) / rate_));
}

double PlaybackPacer::positionAt(Clock::time_point now) const {
    return startPositionMs_ + offsetMs_ + std::chrono::duration<double, std::milli>(now - start_).count() * rate_;
}

}  // namespace tvn
