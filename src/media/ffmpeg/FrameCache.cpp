#include "media/ffmpeg/FrameCache.h"

#include "media/ffmpeg/ClipDecoder.h"
#include "media/ffmpeg/FfmpegCompat.h"
#include "media/ffmpeg/FramePool.h"
#include "media/ffmpeg/PictureConverter.h"

extern "C" {
#include <libavutil/imgutils.h>
}

#include <algorithm>
#include <utility>

namespace tvn {

namespace {

// Converted pictures kept in the run, nearest the current frame first; the
// others keep only their decoded picture (a third of the memory) and are
// converted again when shown.
constexpr int kKeptPictures = 8;
// Decoded frames (the converted pictures aside) that decoding forward, a step
// or a jump, keeps behind the newest one: about 50 frames of 1080p, 2 s at 25
// fps. Beyond it the oldest go, so the decoder's buffer pool hands their memory
// back to the next picture instead of taking fresh memory (a page fault per
// 4 KiB, which costs as much as decoding); the rest of the budget is filled
// by the decode-behind worker while the owner is idle.
constexpr int64_t kForwardWindowBytes = 160LL * 1024 * 1024;
// The process's picture-buffer pool keeps what one such window gives back when its decoder closes.
static_assert(FramePool::kIdleLimitBytes >= kForwardWindowBytes);

// Memory a decoded picture holds: its buffers as the decoder allocated them
// (aligned rows and padding included), so the budget counts what is really used.
int64_t bytesHeld(const AVFrame* f) {
    int64_t bytes = 0;
    for (const AVBufferRef* b : f->buf) bytes += b ? int64_t(b->size) : 0;
    for (int i = 0; i < f->nb_extended_buf; ++i) bytes += int64_t(f->extended_buf[i]->size);
    if (bytes > 0) return bytes;
    const int size = av_image_get_buffer_size(static_cast<AVPixelFormat>(f->format), f->width, f->height, 1);
    return size > 0 ? size : int64_t(f->width) * f->height * 4;
}

FrameCache::CachedFrame cachedOf(DecodeBehind::Frame&& f) {
    FrameCache::CachedFrame c;
    c.frame = std::move(f.frame);
    c.pts = f.pts;
    c.duration = f.duration;
    c.bytes = f.bytes;
    return c;
}

}  // namespace

FrameCache::FrameCache(ClipDemuxer& clip, PictureConverter* pictures, bool forwardWindow, Reserved reserved)
    : clip_(clip),
      pictures_(pictures),
      forwardWindow_(forwardWindow),
      reserved_(std::move(reserved)),
      budget_(ClipDecoder::defaultCacheBudget()) {}

void FrameCache::drop(CachedFrame& frame) {
    bytes_ -= frame.bytes + (frame.image.isNull() ? 0 : frame.image.sizeInBytes());
    if (pictures_) pictures_->recycle(std::move(frame.image));
}

bool FrameCache::push(ff::FramePtr frame) {
    int64_t pts = frame->best_effort_timestamp;
    if (pts == AV_NOPTS_VALUE) pts = frames_.empty() ? clip_.firstPts() : frames_.back().pts + frames_.back().duration;
    // A picture that does not move time forward (a damaged timestamp) cannot be
    // placed in the run and is dropped.
    if (!frames_.empty() && pts <= frames_.back().pts) return false;
    if (!frames_.empty()) frames_.back().duration = pts - frames_.back().pts;
    CachedFrame c;
    c.pts = pts;
    const int64_t duration = ff::frameDuration(frame.get());
    c.duration = duration > 0 ? duration : clip_.nominalDuration();
    c.bytes = bytesHeld(frame.get());
    c.frame = std::move(frame);
    bytes_ += c.bytes;
    frames_.push_back(std::move(c));
    trimBehindHead();
    evict();
    return true;
}

void FrameCache::append(DecodeBehind::Frame&& frame) {
    bytes_ += frame.bytes;
    frames_.push_back(cachedOf(std::move(frame)));
}

void FrameCache::prepend(DecodeBehind::Frame&& frame) {
    bytes_ += frame.bytes;
    frames_.push_front(cachedOf(std::move(frame)));
}

void FrameCache::dropFront() {
    drop(frames_.front());
    frames_.pop_front();
}

void FrameCache::dropBack() {
    drop(frames_.back());
    frames_.pop_back();
    reachesEnd_ = false;
    headFollows_ = false;
}

void FrameCache::dropAll() {
    for (auto& c : frames_) drop(c);
    clear();
}

void FrameCache::clear() {
    frames_.clear();
    bytes_ = 0;
}

// Keeps the frames behind the newest one within the forward window, the oldest
// going first. The current frame, where one is, stays. Within half the budget
// too, so that decode-behind (armed while the run up to the current frame
// holds at most half) can fill in the frames before it.
void FrameCache::trimBehindHead() {
    if (!forwardWindow_) return;
    const int64_t window = std::min(kForwardWindowBytes, budget_ / 2);
    int64_t kept = 0;
    size_t first = frames_.size();
    while (first > 0 && kept + frames_[first - 1].bytes <= window) kept += frames_[--first].bytes;
    size_t count = std::min(first, frames_.size() > 2 ? frames_.size() - 2 : 0);
    if (const std::optional<int> current = currentIndex()) count = std::min(count, size_t(*current));
    for (size_t i = 0; i < count; ++i) dropFront();
}

// Frees the frames farthest from the current one until the run and what the
// decode-behind worker may hold fit the budget. The front goes first while no
// frame is current (the run is being decoded forward); otherwise the end farther
// from the current frame. Two frames always stay: the one found and the one
// after it that proved where it ends.
void FrameCache::evict() {
    const int64_t limit = budget_ - reserved_();
    while (bytes_ > limit && frames_.size() > 2) {
        const std::optional<int> current = currentIndex();
        const bool dropBackEnd = current && *current < int(frames_.size()) - 1 - *current;
        if (dropBackEnd)
            dropBack();
        else
            dropFront();
    }
}

std::optional<int> FrameCache::lastAtOrBefore(int64_t ts) const {
    auto it = std::upper_bound(frames_.begin(), frames_.end(), ts, [](int64_t t, const CachedFrame& c) { return t < c.pts; });
    if (it == frames_.begin()) return std::nullopt;
    return int(it - frames_.begin()) - 1;
}

std::optional<int> FrameCache::currentIndex() const {
    if (currentPts_ == AV_NOPTS_VALUE) return std::nullopt;
    return lastAtOrBefore(currentPts_);
}

int64_t FrameCache::pictureReserve() const {
    int64_t held = 0;
    for (const auto& c : frames_) held += c.image.isNull() ? 0 : 1;
    return std::max<int64_t>(0, kKeptPictures - held) * pictureBytes_;
}

void FrameCache::dropFarPictures(int index) {
    int kept = 0;
    for (const auto& c : frames_) kept += c.image.isNull() ? 0 : 1;
    // Farthest from index first, from either end.
    for (int lo = 0, hi = int(frames_.size()) - 1; kept > kKeptPictures && lo < hi;) {
        CachedFrame& far = (index - lo >= hi - index) ? frames_[size_t(lo++)] : frames_[size_t(hi--)];
        if (far.image.isNull()) continue;
        bytes_ -= far.image.sizeInBytes();
        pictures_->recycle(std::move(far.image));
        --kept;
    }
}

VideoFrame FrameCache::show(int index, bool withPicture) {
    CachedFrame& c = frames_[size_t(index)];
    currentPts_ = c.pts;
    if (c.image.isNull() && withPicture) {
        c.image = pictures_->convert(c.frame.get());
        bytes_ += c.image.sizeInBytes();
        dropFarPictures(index);
        evict();
    }
    VideoFrame v;
    v.image = c.image;
    v.positionMs = clip_.toMs(c.pts - clip_.firstPts());
    v.durationMs = clip_.toMs(c.duration);
    return v;
}

void FrameCache::dropPictures() {
    for (auto& c : frames_) {
        if (!c.image.isNull()) bytes_ -= c.image.sizeInBytes();
        c.image = QImage();
    }
}

}  // namespace tvn
