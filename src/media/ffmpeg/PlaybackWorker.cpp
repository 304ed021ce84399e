#include "media/ffmpeg/PlaybackWorker.h"

#include "media/ffmpeg/LateFrameGate.h"

#include <chrono>

namespace tvn {

PlaybackWorker::~PlaybackWorker() { stop(); }

void PlaybackWorker::start(ClipDecoder& decoder, double rate, FrameSink sink) {
    stop();
    {
        std::scoped_lock lock(mutex_);
        stopRequested_ = false;
    }
    thread_ = std::thread(&PlaybackWorker::run, this, &decoder, rate > 0 ? rate : 1.0, std::move(sink));
}

void PlaybackWorker::stop() {
    {
        std::scoped_lock lock(mutex_);
        stopRequested_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
}

void PlaybackWorker::run(ClipDecoder* decoder, double rate, FrameSink sink) {
    using Clock = std::chrono::steady_clock;
    const VideoFrame start = decoder->current();
    const auto t0 = Clock::now();
    double lastPosition = start.positionMs;
    LateFrameGate late;
    for (;;) {
        VideoFrame frame;
        try {
            frame = decoder->stepForward(false);
        } catch (...) {
            frame = {};  // a clip that cannot be decoded further ends here
        }
        const bool ended = frame.positionMs <= lastPosition;
        if (ended) {
            sink(decoder->current(), true);
            return;
        }
        lastPosition = frame.positionMs;
        const auto due = t0 + std::chrono::duration_cast<Clock::duration>(
                                  std::chrono::duration<double, std::milli>((frame.positionMs - start.positionMs) / rate));
        if (late.drop(due, frame.durationMs / rate, LateFrameGate::Clock::now())) continue;
        try {
            frame = decoder->current();
        } catch (...) {
            frame = {};
        }
        if (frame.isNull()) {
            sink(decoder->current(), true);
            return;
        }
        {
            std::unique_lock lock(mutex_);
            if (wake_.wait_until(lock, due, [this] { return stopRequested_; })) return;
        }
        sink(frame, false);
    }
}

}  // namespace tvn
