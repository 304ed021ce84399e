#pragma once

#include "media/ffmpeg/ClipDecoder.h"
#include "media/ffmpeg/ClipDemuxer.h"
#include "media/ffmpeg/DecodeBehind.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace tvn {

class FrameCache;

// What a frame run asks of its decode-behind worker and takes from it. While
// the owner is idle, the frames before the cache, once the current frame is
// near its front, so a step back finds them decoded; while a slider is dragged,
// the frames from the keyframe before the target to the target (decode-ahead),
// handed over a few at a time. Before the run decodes such frames itself, it
// takes those the worker has, or waits for those it is decoding as long as the
// worker makes progress. The worker's job runs on a demuxer and a run of its own
// (see DecodeBehind for why it needs a second reader).
class BehindCoordinator {
public:
    // Pictures a decode-ahead job decodes between two hand-overs to its owner.
    static constexpr int kPublishEvery = 3;

    BehindCoordinator(ClipDemuxer& clip, FrameCache& cache);
    ~BehindCoordinator();
    BehindCoordinator(const BehindCoordinator&) = delete;
    BehindCoordinator& operator=(const BehindCoordinator&) = delete;

    // On while the owner is idle; off while a player steps forward.
    void setOn(bool on);
    // Asks for the frames before the cache when the current frame is near its front.
    void arm();
    // A drag points at target in the interval from key: the worker decodes there.
    void requestAhead(int64_t key, int64_t target);
    // Puts a finished decode-ahead job's frames (or the worker's frames before
    // the cache) into the cache; whether any came.
    bool adoptAhead();
    bool adoptBehind();
    // Before the run decodes to target itself: the worker's frames ahead (on
    // the target's interval) or behind (before the cache), taken or waited for.
    void fetchAhead(int64_t target);
    void fetchBehind(int64_t target);
    // The cache starts afresh after a seek: work for the old run is of no use
    // (frames decoded ahead for a drag do not depend on it and stay).
    void restarting();
    // A jump restarted the run: the next request starts at once, not after the owner settles.
    void jumped() { settle_ = false; }
    void cancel() { behind_.cancel(); }
    void close();
    int64_t reservedBytes() const { return behind_.reservedBytes(); }
    void addStats(ClipDecoder::Stats& stats) const;

private:
    struct BehindSource;
    std::vector<DecodeBehind::Frame> job(const DecodeBehind::Request& r, DecodeBehind::Progress& p);
    bool willHold(int64_t target) const;

    ClipDemuxer& clip_;
    FrameCache& cache_;
    bool on_ = false;
    bool settle_ = true;  // false right after a jump restarted the run: decode-behind starts at once
    // The job's demuxer and run are touched only by the worker thread (declared
    // before the worker, which is stopped first when this goes).
    std::unique_ptr<BehindSource> source_;
    DecodeBehind behind_;
};

}  // namespace tvn
