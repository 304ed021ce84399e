#include "media/ffmpeg/MixerSource.h"

#include <algorithm>

namespace tvn {

namespace {
// A position up to 1 µs before a frame's start shows that frame, so that
// duration / frameCount x n lands on frame n despite floating-point rounding.
constexpr double kFrameStartToleranceMs = 0.001;
// Containers such as Matroska and WebM keep times in whole milliseconds, so a
// frame may start up to half a millisecond after duration / frameCount x n; a
// position that close before the next frame's start shows that next frame.
constexpr double kContainerRoundingMs = 0.5 + kFrameStartToleranceMs;
}  // namespace

MixerSource::MixerSource(FrameDue frameDue, Failure failed)
    : frameDue_(std::move(frameDue)), failed_(std::move(failed)) {}

MixerSource::~MixerSource() { stopWorker(); }

void MixerSource::open(const QString& fileName) {
    stopWorker();
    decoder_.open(fileName);
    shown_ = decoder_.current();
}

void MixerSource::seek(double ms, Clock::time_point now) {
    const WorkerRestart restart = restartAfterChange(now);
    shown_ = seekDecoder(ms);
}

void MixerSource::play(Clock::time_point now) {
    if (playing_) return;
    startWorker(now);
}

void MixerSource::pause(Clock::time_point now) {
    if (!playing_) return;
    stopWorker();
    const double clockPositionMs = clock_->positionAt(now);
    if (clockPositionMs < shown_.positionMs || shown_.positionMs + shown_.durationMs <= clockPositionMs)
        shown_ = decoder_.seek(std::min(clockPositionMs, decoder_.info().durationMs));
}

void MixerSource::setDeinterlace(bool on) {
    if (decoder_.deinterlace() == on) return;
    const WorkerRestart restart = restartAfterChange(Clock::now());
    decoder_.setDeinterlace(on);
    // Decode the shown frame again through (or without) the deinterlacer.
    shown_ = decoder_.seek(shown_.positionMs);
}

VideoFrame MixerSource::seekDecoder(double ms) {
    VideoFrame frame = decoder_.seek(ms + kFrameStartToleranceMs);
    if (!decoder_.atLastFrame() && frame.durationMs > 2 * kContainerRoundingMs &&
        frame.positionMs + frame.durationMs - ms <= kContainerRoundingMs)
        frame = decoder_.stepForward();
    return frame;
}

bool MixerSource::adoptDueFrame() {
    std::optional<FrameMailbox::Letter> letter = mailbox_.take();
    if (!letter || letter->frame.isNull()) return false;
    shown_ = std::move(letter->frame);
    return true;
}

void MixerSource::startWorker(Clock::time_point now) {
    stopWorker();
    if (decoder_.atLastFrame() && decoder_.current().positionMs == shown_.positionMs) return;
    // The worker continues from the frame on screen, not from one decoded ahead.
    if (decoder_.current().positionMs != shown_.positionMs) decoder_.seek(shown_.positionMs);
    playing_ = true;
    clock_.emplace(now, shown_.positionMs, 1.0);
    const uint64_t generation = mailbox_.generation();
    worker_.start(
        decoder_, *clock_,
        [this, generation](const VideoFrame& frame) {
            if (mailbox_.post(generation, frame)) frameDue_();
        },
        // The last frame handed over stays shown.
        [this](const VideoFrame&, std::optional<TvnError> failure) {
            if (failure && failed_) failed_(*failure);
        });
}

WorkerRestart MixerSource::restartAfterChange(Clock::time_point now) {
    return WorkerRestart(playing_, {[this] { stopWorker(); }, [this, now] { startWorker(now); }, "PlaySource",
                                    [this](const TvnError& error) {
                                        if (failed_) failed_(error);
                                    }});
}

void MixerSource::stopWorker() {
    worker_.stop();
    // A frame that was due before the stop is still the one the user saw last.
    adoptDueFrame();
    mailbox_.close();
    playing_ = false;
}

}  // namespace tvn
