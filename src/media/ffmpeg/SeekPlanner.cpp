#include "media/ffmpeg/SeekPlanner.h"

#include "media/ffmpeg/BehindCoordinator.h"
#include "media/ffmpeg/FrameCache.h"

#include <algorithm>

namespace tvn {

std::optional<int> SeekPlanner::decodeUntil(int64_t target) {
    const int64_t firstPts = clip_.firstPts();
    for (;;) {
        auto frame = clip_.decodeNext();
        if (!frame) {
            cache_.setReachesEnd(true);
            if (cache_.empty()) return std::nullopt;
            if (const std::optional<int> i = cache_.lastAtOrBefore(target)) return i;
            return cache_.frames().front().pts <= firstPts ? std::optional<int>(0) : std::nullopt;
        }
        if (!cache_.push(std::move(frame))) continue;
        if (cache_.frames().back().pts > target) {
            if (cache_.size() >= 2) return cache_.size() - 2;
            return cache_.frames().back().pts <= firstPts ? std::optional<int>(0) : std::nullopt;
        }
    }
}

void SeekPlanner::restart() {
    behind_.restarting();
    clip_.flush();
    cache_.dropAll();
    cache_.setReachesEnd(false);
    cache_.setHeadFollows(true);
}

int SeekPlanner::seekAndDecode(int64_t target) {
    // Some containers (MPEG-TS) land after a keyframe or past the target; seek
    // further back until the decoder's first picture starts at or before it,
    // and at last go to the clip's start, by time and then by byte.
    const int64_t firstPts = clip_.firstPts();
    int64_t backoff = 0;
    bool atStartByTime = false;
    for (int attempt = 0; attempt < 7; ++attempt) {
        const int64_t seekTs = target - backoff;
        int r = -1;
        if (seekTs > firstPts && attempt < 4) {
            r = clip_.seekBackward(seekTs);
        } else if (!atStartByTime) {
            atStartByTime = true;
            r = clip_.seekToStartByTime();
        }
        if (r < 0) r = clip_.seekToStartByByte();
        if (r < 0) r = clip_.seekToStartByTime();
        ++demuxSeeks_;
        restart();
        if (const std::optional<int> found = decodeUntil(target)) {
            behind_.jumped();  // a jump, not a held key: the interval before may be decoded at once
            return *found;
        }
        if (r < 0) break;
        // A seek to a packet rather than a keyframe (MPEG-TS) lands too late; one keyframe
        // interval further back is where the keyframe before the target is.
        backoff = backoff == 0 ? std::max(clip_.ticksPerSecond(), keyInterval_ + clip_.nominalDuration()) : backoff * 4;
    }
    throw TvnError(err::ClipOpenFailed,
                   QStringLiteral("Cannot show the frame at %1 ms of '%2': the clip cannot be decoded there")
                       .arg(clip_.toMs(target - firstPts))
                       .arg(clip_.fileName()),
                   QStringLiteral("ClipDecoder"));
}

// Decoding on from the head is cheaper than a seek when no keyframe lies
// between the head and the target (the seek would land before the head). The
// stream's index answers that only where it lists every keyframe up to past the
// target: MP4, MOV and AVI list them all at open; Matroska (and WebM) reads its
// cues on the first seek and until then lists only the keyframes read so far;
// MPEG-TS has no index, only the few keyframes earlier seeks happened to find.
// Elsewhere the distance decides.
bool SeekPlanner::forwardIsCheaper(int64_t target) const {
    const int64_t head = cache_.frames().back().pts;
    const std::optional<ClipDemuxer::Keyframe> key = clip_.keyframeAtOrBefore(target);
    if (key && key->pts > head) return false;
    if (key && clip_.indexListsEveryKeyframe() && key->laterListed) return true;
    return target - head <= clip_.ticksPerSecond();
}

std::optional<int> SeekPlanner::keyframePicture(int64_t target) {
    if (clip_.seekBackward(target) < 0) return std::nullopt;
    ++demuxSeeks_;
    restart();
    cache_.clearCurrent();
    // A picture whose timestamp does not move time on is dropped by push; the next one is taken.
    for (int tries = 0; tries < 8 && cache_.empty(); ++tries) {
        auto frame = clip_.decodeNext();
        if (!frame) {
            cache_.setReachesEnd(true);
            break;
        }
        cache_.push(std::move(frame));
    }
    if (cache_.empty() || cache_.frames().front().pts > target) return std::nullopt;
    return 0;
}

}  // namespace tvn
