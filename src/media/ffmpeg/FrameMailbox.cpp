#include "media/ffmpeg/FrameMailbox.h"

namespace tvn {

uint64_t FrameMailbox::generation() const {
    std::scoped_lock lock(mutex_);
    return generation_;
}

bool FrameMailbox::post(uint64_t generation, const VideoFrame& frame) {
    return put(generation, frame, false, std::nullopt);
}

bool FrameMailbox::postEnd(uint64_t generation, const VideoFrame& last, std::optional<TvnError> failure) {
    return put(generation, last, true, std::move(failure));
}

bool FrameMailbox::put(uint64_t generation, const VideoFrame& frame, bool atEnd, std::optional<TvnError> failure) {
    std::scoped_lock lock(mutex_);
    if (generation != generation_) return false;
    const bool wasEmpty = !full_;
    letter_.frame = frame;
    letter_.atEnd = letter_.atEnd || atEnd;
    if (failure) letter_.failure = std::move(failure);
    full_ = true;
    return wasEmpty;
}

std::optional<FrameMailbox::Letter> FrameMailbox::take() {
    std::scoped_lock lock(mutex_);
    if (!full_) return std::nullopt;
    full_ = false;
    return std::exchange(letter_, Letter{});
}

void FrameMailbox::close() {
    Letter dropped;  // its picture is freed outside the lock
    std::scoped_lock lock(mutex_);
    ++generation_;
    dropped = std::exchange(letter_, Letter{});
    full_ = false;
}

}  // namespace tvn
