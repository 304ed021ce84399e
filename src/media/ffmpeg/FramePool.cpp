#include "media/ffmpeg/FramePool.h"

#include "media/ffmpeg/FfmpegCompat.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/buffer.h>
#include <libavutil/imgutils.h>
#include <libavutil/mem.h>
#include <libavutil/pixdesc.h>
}

#include <algorithm>
#include <malloc.h>
#include <optional>
#include <pthread.h>
#include <thread>

namespace tvn {

namespace {

// Bytes past each plane that FFmpeg's decoders may read (SIMD loads past a
// row's end), as FFmpeg's own buffer pool adds: 16 plus the largest stride alignment.
constexpr size_t kPlanePadding = 16 + 64 - 1;
// Idle buffers are looked at for their age at most this often.
constexpr std::chrono::seconds kSweepEvery{1};

}  // namespace

FramePool& FramePool::instance() {
    static FramePool* pool = new FramePool;
    return *pool;
}

// getBuffer may be called on any of the decoder's threads at once (the pool
// locks). FFmpeg before 6.0 must be told so: with a get_buffer2 of the caller's
// and thread_safe_callbacks unset, a frame-threaded decoder hands every buffer
// request over to the thread that sends packets and waits for it, a round of
// thread switches per picture that made a jump about 40 % dearer than FFmpeg's
// own allocator.
void FramePool::attach(AVCodecContext* codec) {
    if (!codec->codec || !(codec->codec->capabilities & AV_CODEC_CAP_DR1)) return;
    codec->get_buffer2 = &FramePool::getBuffer;
    ff::declareThreadSafeGetBuffer(codec);
}

// The planes laid out as FFmpeg's default allocator does (rows widened until
// every plane's stride meets the decoder's alignment, the height aligned as it
// asks), one pooled buffer per plane.
int FramePool::getBuffer(AVCodecContext* codec, AVFrame* frame, int flags) {
    const auto format = static_cast<AVPixelFormat>(frame->format);
    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(format);
    if (codec->codec_type != AVMEDIA_TYPE_VIDEO || codec->hw_frames_ctx || !desc ||
        (desc->flags & (AV_PIX_FMT_FLAG_HWACCEL | AV_PIX_FMT_FLAG_PAL)))
        return avcodec_default_get_buffer2(codec, frame, flags);

    int w = frame->width;
    int h = frame->height;
    int align[AV_NUM_DATA_POINTERS] = {};
    avcodec_align_dimensions2(codec, &w, &h, align);
    int linesize[4] = {};
    for (;; w += w & ~(w - 1)) {  // the next step widens by w's lowest set bit
        if (w <= 0 || av_image_fill_linesizes(linesize, format, w) < 0) return AVERROR(EINVAL);
        bool aligned = true;
        for (int i = 0; i < 4; ++i) aligned = aligned && (align[i] <= 0 || linesize[i] % align[i] == 0);
        if (aligned) break;
    }
    const ptrdiff_t strides[4] = {linesize[0], linesize[1], linesize[2], linesize[3]};
    size_t sizes[4] = {};
    if (av_image_fill_plane_sizes(sizes, format, h, strides) < 0) return AVERROR(EINVAL);

    FramePool& pool = instance();
    for (int i = 0; i < 4 && sizes[i] > 0; ++i) {
        frame->buf[i] = pool.buffer(sizes[i] + kPlanePadding);
        if (!frame->buf[i]) {
            av_frame_unref(frame);
            return AVERROR(ENOMEM);
        }
        frame->data[i] = frame->buf[i]->data;
        frame->linesize[i] = linesize[i];
    }
    frame->extended_data = frame->data;
    return 0;
}

AVBufferRef* FramePool::buffer(size_t size) {
    uint8_t* data = nullptr;
    std::vector<uint8_t*> freed;
    {
        std::lock_guard lock(mutex_);
        sweepLocked(Clock::now(), freed);
        auto it = idle_.find(size);
        if (it != idle_.end() && !it->second.empty()) {
            data = it->second.back().data;
            it->second.pop_back();
            idleBytes_ -= int64_t(size);
        }
    }
    for (uint8_t* f : freed) av_free(f);
    if (!data) data = static_cast<uint8_t*>(av_mallocz(size));
    if (!data) return nullptr;
    // The size travels in the opaque pointer, so giving back needs no lookup.
    AVBufferRef* ref = av_buffer_create(data, size, &FramePool::release, reinterpret_cast<void*>(size), 0);
    if (!ref) giveBack(data, size);
    return ref;
}

// FFmpeg calls this when the last reference to a buffer goes, on whichever
// thread dropped it (a decoder thread, the decode-behind worker, the caller's).
void FramePool::release(void* opaque, uint8_t* data) { instance().giveBack(data, reinterpret_cast<size_t>(opaque)); }

void FramePool::giveBack(uint8_t* data, size_t size) {
    std::vector<uint8_t*> freed;
    {
        std::lock_guard lock(mutex_);
        const Clock::time_point now = Clock::now();
        sweepLocked(now, freed);
        if (idleBytes_ + int64_t(size) <= kIdleLimitBytes) {
            const bool wasEmpty = idle_.empty();
            idle_[size].push_back({data, now});
            idleBytes_ += int64_t(size);
            data = nullptr;
            startKeeperLocked();
            if (wasEmpty) keeperWake_.notify_one();  // it has a time to wait for now
        }
    }
    for (uint8_t* f : freed) av_free(f);
    av_free(data);
}

void FramePool::sweep() {
    std::vector<uint8_t*> freed;
    {
        std::lock_guard lock(mutex_);
        lastSweep_ = Clock::time_point{};  // due now
        sweepLocked(Clock::now(), freed);
        trimWanted_ = true;
        startKeeperLocked();
        keeperWake_.notify_one();
    }
    for (uint8_t* f : freed) av_free(f);
}

void FramePool::startKeeperLocked() {
    if (keeperStarted_) return;
    keeperStarted_ = true;
    // Lives as long as the process, like the pool itself.
    std::thread([this] { keep(); }).detach();
}

void FramePool::keep() {
    pthread_setname_np(pthread_self(), "tvn-framepool");
    std::unique_lock lock(mutex_);
    for (;;) {
        // The oldest idle buffer says when the next one reaches its life.
        std::optional<Clock::time_point> oldest;
        for (const auto& [size, list] : idle_)
            if (!list.empty() && (!oldest || list.front().since < *oldest)) oldest = list.front().since;
        if (!trimWanted_) {
            if (oldest) keeperWake_.wait_until(lock, *oldest + kIdleLife + kSweepEvery);
            else keeperWake_.wait(lock);
        }
        std::vector<uint8_t*> freed;
        lastSweep_ = Clock::time_point{};
        sweepLocked(Clock::now(), freed);
        const bool trim = trimWanted_ || !freed.empty();
        trimWanted_ = false;
        lock.unlock();
        for (uint8_t* f : freed) av_free(f);
        if (trim) malloc_trim(0);  // the allocator's free pages, every arena, back to the system
        lock.lock();
    }
}

// Collects what is to be freed, so the freeing happens outside the lock.
void FramePool::sweepLocked(Clock::time_point now, std::vector<uint8_t*>& freed) {
    if (now - lastSweep_ < kSweepEvery) return;
    lastSweep_ = now;
    for (auto it = idle_.begin(); it != idle_.end();) {
        auto& list = it->second;
        // Oldest first: the buffers idle too long are a prefix.
        const auto keep =
            std::find_if(list.begin(), list.end(), [&](const Idle& i) { return now - i.since < kIdleLife; });
        for (auto i = list.begin(); i != keep; ++i) {
            freed.push_back(i->data);
            idleBytes_ -= int64_t(it->first);
        }
        list.erase(list.begin(), keep);
        it = list.empty() ? idle_.erase(it) : std::next(it);
    }
}

}  // namespace tvn
