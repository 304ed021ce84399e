#include "media/ffmpeg/PlaybackWorker.h"

#include "media/ffmpeg/LateFrameGate.h"

#include <algorithm>
#include <chrono>
#include <cmath>

namespace tvn {

PlaybackWorker::~PlaybackWorker() { stop(); }

void PlaybackWorker::start(ClipDecoder& decoder, double rate, FrameSink sink, FailureSink failed,
                           PlaybackPacer::SoundClock sound) {
    stop();
    {
        std::scoped_lock lock(mutex_);
        stopRequested_ = false;
    }
    thread_ = std::thread(&PlaybackWorker::run, this, &decoder, rate > 0 ? rate : 1.0, std::move(sink),
                          std::move(failed), std::move(sound));
}

void PlaybackWorker::stop() {
    {
        std::scoped_lock lock(mutex_);
        stopRequested_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
}

std::optional<TvnError> PlaybackWorker::endFailure(ClipDecoder& decoder, const std::exception_ptr& cause,
                                                   const char* component) {
    if (cause) {
        try {
            std::rethrow_exception(cause);
        } catch (...) {
            return errorInFlight("Play");
        }
    }
    const VideoFrame last = decoder.current();
    const ClipInfo& info = decoder.info();
    // Frame ends and the clip's duration agree to within rounding; a frame and a
    // half short of it, the data ran out before the clip's index said it would.
    const double reachedMs = last.positionMs + last.durationMs;
    if (reachedMs >= info.durationMs - 1.5 * std::max(info.nominalFrameMs, last.durationMs) - 1) return std::nullopt;
    return TvnError(err::PlaybackFailed,
                    QStringLiteral("Cannot play '%1' past %2 ms of its %3 ms: the clip is damaged or cut short there")
                        .arg(decoder.fileName())
                        .arg(std::lround(reachedMs))
                        .arg(std::lround(info.durationMs)),
                    QLatin1String(component))
        .prefixed("Play");
}

void PlaybackWorker::run(ClipDecoder* decoder, double rate, FrameSink sink, FailureSink failed,
                         PlaybackPacer::SoundClock sound) {
    using Clock = std::chrono::steady_clock;
    const VideoFrame start = decoder->current();
    PlaybackPacer pacer(Clock::now(), start.positionMs, rate, std::move(sound));
    double lastPosition = start.positionMs;
    LateFrameGate late;
    const auto end = [&](const std::exception_ptr& cause) {
        const std::optional<TvnError> failure = endFailure(*decoder, cause, "VideoEngine");
        if (failure && failed) failed(*failure);
        VideoFrame last;
        try {
            last = decoder->current();
        } catch (...) {
        }
        sink(last, true);
    };
    for (;;) {
        VideoFrame frame;
        try {
            frame = decoder->stepForward(false);
        } catch (...) {
            return end(std::current_exception());
        }
        if (frame.positionMs <= lastPosition) return end(nullptr);
        lastPosition = frame.positionMs;
        const auto due = pacer.due(frame.positionMs, Clock::now());
        if (late.drop(due, frame.durationMs / rate, Clock::now())) continue;
        try {
            frame = decoder->current();
        } catch (...) {
            return end(std::current_exception());
        }
        if (frame.isNull()) return end(nullptr);
        {
            std::unique_lock lock(mutex_);
            if (wake_.wait_until(lock, due, [this] { return stopRequested_; })) return;
        }
        sink(frame, false);
    }
}

}  // namespace tvn
