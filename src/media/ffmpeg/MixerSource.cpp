#include "media/ffmpeg/MixerSource.h"

#include "media/ffmpeg/LateFrameGate.h"
#include "media/ffmpeg/PlaybackWorker.h"
#include "media/ffmpeg/WorkerRestart.h"

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
    const WorkerRestart restart(playing_, [this] { stopWorker(); }, [this, now] { restartWorker(now); });
    shown_ = seekDecoder(ms);
}

void MixerSource::play(Clock::time_point now) {
    if (playing_) return;
    startWorker(now);
}

void MixerSource::pause(Clock::time_point now) {
    if (!playing_) return;
    stopWorker();
    const double clockPositionMs =
        anchorPositionMs_ + std::chrono::duration<double, std::milli>(now - anchorTime_).count();
    if (clockPositionMs < shown_.positionMs || shown_.positionMs + shown_.durationMs <= clockPositionMs)
        shown_ = decoder_.seek(std::min(clockPositionMs, decoder_.info().durationMs));
}

void MixerSource::setDeinterlace(bool on) {
    if (decoder_.deinterlace() == on) return;
    const WorkerRestart restart(playing_, [this] { stopWorker(); }, [this] { restartWorker(Clock::now()); });
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
    VideoFrame frame;
    {
        std::scoped_lock lock(mutex_);
        if (!duePending_) return false;
        frame = std::move(due_);
        due_ = {};
        duePending_ = false;
    }
    if (frame.isNull()) return false;
    shown_ = std::move(frame);
    return true;
}

void MixerSource::startWorker(Clock::time_point now) {
    stopWorker();
    if (decoder_.atLastFrame() && decoder_.current().positionMs == shown_.positionMs) return;
    // The worker continues from the frame on screen, not from one decoded ahead.
    if (decoder_.current().positionMs != shown_.positionMs) decoder_.seek(shown_.positionMs);
    uint64_t generation;
    {
        std::scoped_lock lock(mutex_);
        stopRequested_ = false;
        generation = generation_;
    }
    playing_ = true;
    anchorTime_ = now;
    anchorPositionMs_ = shown_.positionMs;
    worker_ = std::thread(&MixerSource::run, this, generation, now, shown_.positionMs);
}

void MixerSource::restartWorker(Clock::time_point now) noexcept {
    try {
        startWorker(now);
    } catch (...) {
        // The source stays paused on the frame it shows; the host hears why.
        stopWorker();
        if (failed_) failed_(errorInFlight("PlaySource"));
    }
}

void MixerSource::endRun(const std::exception_ptr& cause) {
    if (!failed_) return;
    if (const std::optional<TvnError> failure = PlaybackWorker::endFailure(decoder_, cause, "VideoMixer"))
        failed_(*failure);
}

void MixerSource::stopWorker() {
    {
        std::scoped_lock lock(mutex_);
        stopRequested_ = true;
    }
    wake_.notify_all();
    if (worker_.joinable()) worker_.join();
    // A frame that was due before the stop is still the one the user saw last.
    adoptDueFrame();
    {
        std::scoped_lock lock(mutex_);
        ++generation_;
    }
    playing_ = false;
}

void MixerSource::run(uint64_t generation, Clock::time_point anchor, double anchorPositionMs) {
    double lastPosition = anchorPositionMs;
    LateFrameGate late;
    for (;;) {
        VideoFrame frame;
        try {
            frame = decoder_.stepForward(false);
        } catch (...) {
            return endRun(std::current_exception());  // the last good frame stays shown
        }
        if (frame.positionMs <= lastPosition) return endRun(nullptr);  // the last frame stays shown
        lastPosition = frame.positionMs;
        const auto due = anchor + std::chrono::duration_cast<Clock::duration>(
                                      std::chrono::duration<double, std::milli>(frame.positionMs - anchorPositionMs));
        if (late.drop(due, frame.durationMs, LateFrameGate::Clock::now())) continue;
        try {
            frame = decoder_.current();
        } catch (...) {
            return endRun(std::current_exception());
        }
        if (frame.isNull()) return endRun(nullptr);
        bool notify = false;
        {
            std::unique_lock lock(mutex_);
            if (wake_.wait_until(lock, due, [this] { return stopRequested_; })) return;
            if (generation != generation_) return;
            notify = !duePending_;
            due_ = std::move(frame);
            duePending_ = true;
        }
        if (notify) frameDue_();
    }
}

}  // namespace tvn
