#pragma once

#include "media/ffmpeg/ClipDemuxer.h"

#include <cstdint>
#include <optional>

namespace tvn {

class BehindCoordinator;
class FrameCache;

// The way to a frame the cache does not hold: decoding on from the decoder's
// head when no keyframe lies between, else seeking to the keyframe before it
// (further back where a container lands late), and the keyframe's picture alone
// for a quick look while a slider is dragged. Each seek starts the cache afresh.
class SeekPlanner {
public:
    SeekPlanner(ClipDemuxer& clip, FrameCache& cache, BehindCoordinator& behind)
        : clip_(clip), cache_(cache), behind_(behind) {}

    // Decodes on from the head until the frame containing target is known: its
    // index, or nothing when the first picture decoded already lies past the
    // target (the seek landed too late) or nothing could be decoded.
    std::optional<int> decodeUntil(int64_t target);
    // Seeks and decodes to the frame containing target; throws ClipOpenFailed
    // when the clip cannot be decoded there.
    int seekAndDecode(int64_t target);
    bool forwardIsCheaper(int64_t target) const;
    // Seeks to the keyframe at or before target and decodes its picture alone,
    // which starts the cache; nothing when the seek lands past target.
    std::optional<int> keyframePicture(int64_t target);
    // The decoder forgets what it holds and the cache starts afresh, its next
    // picture the decoder's (after a seek).
    void restart();

    // Mean distance between keyframes where the clip's counting found it (MPEG-TS), stream ticks.
    void setKeyInterval(int64_t ticks) { keyInterval_ = ticks; }
    int64_t demuxSeeks() const { return demuxSeeks_; }

private:
    ClipDemuxer& clip_;
    FrameCache& cache_;
    BehindCoordinator& behind_;
    int64_t keyInterval_ = 0;
    int64_t demuxSeeks_ = 0;
};

}  // namespace tvn
