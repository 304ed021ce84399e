#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <unordered_map>
#include <vector>

struct AVBufferRef;
struct AVCodecContext;
struct AVFrame;

namespace tvn {

// Picture memory the clip decoders give back, kept for the next decoder that
// needs a buffer of the same size, instead of going back to the allocator.
//
// Why: a decoder keeps the frames it decodes on the way to a jump (about two
// seconds of pictures, for stepping back). FFmpeg's own buffer pool belongs to
// one decoder and goes with it, and memory the allocator returns to the system
// costs a page fault per 4 KiB when it is touched again - on a freshly opened
// clip about a third of the first jump. A coach opens clip after clip, often of
// the same size from the same camera, the mixer opens one decoder per source,
// and the decode-behind worker decodes on a second instance of the clip whose
// frames the first one adopts: with one pool for the process, the pictures of
// the clip closed before (or of frames the cache dropped) are written over
// instead of faulted in fresh. The first clip a process opens gains nothing.
//
// A buffer comes back only when FFmpeg frees its last reference, so a picture
// still held anywhere (the cache, a frame being converted) is never handed out.
// Only idle buffers count: at most kIdleLimitBytes (what the decoder keeps
// behind a jump), a buffer that would exceed it is freed, and buffers idle for
// longer than kIdleLife are freed at the next use of the pool or sweep()
// (a decoder closing sweeps).
//
// Memory goes back to the system, not only to the allocator: a thread of the
// pool's own ("tvn-framepool") frees the buffers that reach kIdleLife while
// the process is idle (no decoder asks, so no use of the pool frees them), and
// after each sweep, and whenever it freed buffers, it hands the allocator's
// free pages back (malloc_trim). The frames a closed clip's cache held are
// freed by their owners, mostly into the allocator's arenas of the decoder
// threads, where they would otherwise stay: after a 1080p clip with a full
// cache, 1.5 GB (bench/memory_bench measures it).
class FramePool {
public:
    static constexpr int64_t kIdleLimitBytes = 160LL * 1024 * 1024;
    static constexpr std::chrono::seconds kIdleLife{30};

    // The one pool of the process; never destroyed, as frames may be freed late at exit.
    static FramePool& instance();

    // Makes the decoder take its picture buffers from the pool; call before
    // avcodec_open2. Decoders that cannot decode into buffers of the caller
    // (no AV_CODEC_CAP_DR1), hardware frames and paletted formats keep FFmpeg's
    // own allocation.
    static void attach(AVCodecContext* codec);

    // Frees buffers idle for longer than kIdleLife and has the pool's thread
    // return the allocator's free pages to the system.
    void sweep();

private:
    using Clock = std::chrono::steady_clock;
    struct Idle {
        uint8_t* data;
        Clock::time_point since;
    };

    static int getBuffer(AVCodecContext* codec, AVFrame* frame, int flags);
    static void release(void* opaque, uint8_t* data);
    AVBufferRef* buffer(size_t size);
    void giveBack(uint8_t* data, size_t size);
    void sweepLocked(Clock::time_point now, std::vector<uint8_t*>& freed);
    // The pool's thread: frees what outlived kIdleLife, and trims, as it falls due.
    void keep();
    void startKeeperLocked();

    std::mutex mutex_;  // guards idle_, idleBytes_, lastSweep_, trimWanted_, keeperStarted_
    std::condition_variable keeperWake_;  // idle buffers arrived, or a trim is wanted
    std::unordered_map<size_t, std::vector<Idle>> idle_;  // by buffer size; the newest last
    int64_t idleBytes_ = 0;
    Clock::time_point lastSweep_ = Clock::now();
    bool trimWanted_ = false;
    bool keeperStarted_ = false;
};

}  // namespace tvn
