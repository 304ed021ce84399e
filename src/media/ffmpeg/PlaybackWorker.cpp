#include "media/ffmpeg/PlaybackWorker.h"

#include "media/ffmpeg/LateFrameGate.h"

#include <algorithm>
#include <chrono>
#include <cmath>

namespace tvn {

PlaybackWorker::~PlaybackWorker() { stop(); }

void PlaybackWorker::start(ClipDecoder& decoder, PlaybackPacer pacer, FrameSink frameDue, EndSink ended) {
    stop();
    {
        std::scoped_lock lock(mutex_);
        stopRequested_ = false;
    }
    thread_.run([this, decoder = &decoder, pacer = std::move(pacer), frameDue = std::move(frameDue),
                 ended = std::move(ended)]() mutable { run(decoder, std::move(pacer), std::move(frameDue), std::move(ended)); });
}

void PlaybackWorker::stop() {
    {
        std::scoped_lock lock(mutex_);
        stopRequested_ = true;
    }
    wake_.notify_all();
    thread_.wait();
}

// Why a decoder that gives no further frame stopped before the clip's end, or
// nothing when it reached the end: the decoder's own failure (cause) or data
// that ran out early. The source is "(Play)->" and the component's name.
std::optional<TvnError> PlaybackWorker::endFailure(ClipDecoder& decoder, const std::exception_ptr& cause) const {
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
                    QLatin1String(component_))
        .prefixed("Play");
}

void PlaybackWorker::run(ClipDecoder* decoder, PlaybackPacer pacer, FrameSink frameDue, EndSink ended) {
    using Clock = PlaybackPacer::Clock;
    const auto end = [&](const std::exception_ptr& cause) {
        std::optional<TvnError> failure = endFailure(*decoder, cause);
        VideoFrame last;
        try {
            last = decoder->current();
        } catch (...) {
        }
        ended(last, std::move(failure));
    };
    double lastPosition = 0;
    try {
        lastPosition = decoder->current().positionMs;
    } catch (...) {
        return end(std::current_exception());
    }
    LateFrameGate late;
    for (;;) {
        VideoFrame frame;
        try {
            frame = decoder->stepForward(false);
        } catch (...) {
            return end(std::current_exception());  // the last good frame stays shown
        }
        if (frame.positionMs <= lastPosition) return end(nullptr);  // the last frame stays shown
        lastPosition = frame.positionMs;
        const auto due = pacer.due(frame.positionMs, Clock::now());
        if (late.drop(due, frame.durationMs / pacer.rate(), Clock::now())) continue;
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
        frameDue(frame);
    }
}

}  // namespace tvn
