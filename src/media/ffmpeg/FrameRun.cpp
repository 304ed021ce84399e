#include "media/ffmpeg/FrameRun.h"

#include <algorithm>

namespace tvn {

namespace {
// Pictures past the run's newest that a drag decodes on the caller's thread
// rather than show an older one: about what one converted picture costs.
constexpr int kScrubDecodeOn = 4;
}  // namespace

FrameRun::FrameRun(ClipDemuxer& clip, PictureConverter* pictures, bool forwardWindow)
    : clip_(clip),
      cache_(clip, pictures, forwardWindow, [this] { return behind_.reservedBytes(); }),
      behind_(clip, cache_),
      planner_(clip, cache_, behind_) {}

FrameRun::~FrameRun() { behind_.close(); }

void FrameRun::close() {
    behind_.close();
    cache_.clear();
    cache_.clearCurrent();
    cache_.setReachesEnd(false);
    cache_.setHeadFollows(false);
    planner_.setKeyInterval(0);
}

void FrameRun::startAtFirstPicture() {
    cache_.setHeadFollows(true);
    auto first = clip_.decodeNext();
    if (!first)
        throw ClipDemuxer::openError(err::ClipOpenFailed, clip_.fileName(),
                                     QStringLiteral("no picture could be decoded (the file is damaged or truncated)"));
    clip_.setFirstPts(first->best_effort_timestamp != AV_NOPTS_VALUE ? first->best_effort_timestamp : 0);
    cache_.push(std::move(first));
}

void FrameRun::restartAtFirstPicture() {
    planner_.restart();
    auto first = clip_.decodeNext();
    if (!first)
        throw ClipDemuxer::openError(err::ClipOpenFailed, clip_.fileName(),
                                     QStringLiteral("the first picture cannot be decoded again"));
    cache_.push(std::move(first));
}

int FrameRun::locate(int64_t target) {
    target = std::max(target, clip_.firstPts());
    behind_.fetchAhead(target);
    if (!cache_.empty() && target < cache_.frames().front().pts) behind_.fetchBehind(target);
    cache_.clearCurrent();  // while decoding, the front of the run is the farthest
    if (!cache_.empty() && target >= cache_.frames().front().pts) {
        const int i = *cache_.lastAtOrBefore(target);
        if (i + 1 < cache_.size() || cache_.reachesEnd()) return i;
        if (cache_.headFollows() && planner_.forwardIsCheaper(target))
            if (const std::optional<int> found = planner_.decodeUntil(target)) return *found;
    }
    return planner_.seekAndDecode(target);
}

// On a decode-behind job's run: decodes from the keyframe before end, keeping
// the last frames that fit bytes, and hands over those before end, oldest first.
std::vector<DecodeBehind::Frame> FrameRun::framesEndingAt(int64_t end, int64_t bytes) {
    cache_.setBudget(bytes);
    aheadKey_ = AV_NOPTS_VALUE;
    cache_.clear();
    cache_.clearCurrent();
    locate(end - 1);
    // The frame at end proves the last one ends there; without it they do not join the owner's run.
    if (cache_.empty() || cache_.frames().back().pts != end) return {};
    std::vector<DecodeBehind::Frame> frames;
    for (auto& c : cache_.frames())
        if (c.pts < end) frames.push_back({std::move(c.frame), c.pts, c.duration, c.bytes});
    cache_.clear();
    return frames;
}

// On a decode-ahead job's run: decodes from the keyframe key through the frame
// containing the progress's target, following the target while the owner moves
// it, keeping the latest frames that fit bytes. The run stays between jobs for
// the same keyframe, so a drag that moves on within the interval decodes on
// from where the last job stopped. Hands over references to every frame whose
// end is known (the owner's copies share the pictures' memory).
std::vector<DecodeBehind::Frame> FrameRun::framesThrough(int64_t key, DecodeBehind::Progress& progress, int64_t bytes) {
    cache_.setBudget(bytes);
    if (aheadKey_ != key) {
        cache_.clear();
        aheadKey_ = key;
    }
    cache_.clearCurrent();
    auto& run = cache_.frames();
    // The frames not handed over yet in this job: while it runs, those whose end
    // is known; at its end all of them, the newest proving where the one at the
    // target ends (a job going on from here hands it over again, with its end).
    int64_t handedUpTo = AV_NOPTS_VALUE;  // pts of the last frame handed over in this job
    const auto known = [&](bool final) {
        std::vector<DecodeBehind::Frame> frames;
        const size_t end = run.size() - (final || cache_.reachesEnd() || run.empty() ? 0 : 1);
        for (size_t i = 0; i < end; ++i) {
            if (handedUpTo != AV_NOPTS_VALUE && run[i].pts <= handedUpTo) continue;
            ff::FramePtr ref(av_frame_clone(run[i].frame.get()));
            if (!ref) break;
            frames.push_back({std::move(ref), run[i].pts, run[i].duration, run[i].bytes});
        }
        if (!frames.empty()) handedUpTo = frames.back().pts;
        // The owner has those now: the job keeps only the frames it goes on from.
        while (run.size() > 2 && run.front().pts <= handedUpTo) cache_.dropFront();
        return frames;
    };
    // A few pictures at a time, so the owner shows them while the drag goes on.
    const int64_t step = BehindCoordinator::kPublishEvery * clip_.nominalDuration();
    for (;;) {
        const int64_t target = std::max(progress.target.load(), key);
        // Not yet in the interval: its first few frames, then on a few at a time.
        const bool started = !run.empty() && run.front().pts <= target;
        const int64_t next = std::min(target, (started ? run.back().pts : key) + step);
        locate(next);
        if (next >= target && progress.target.load() <= target) break;  // the target's frame is there
        if (progress.publish) progress.publish(known(false));
    }
    return known(true);
}

VideoFrame FrameRun::showFirst() {
    const VideoFrame v = cache_.show(0);
    behind_.arm();
    return v;
}

VideoFrame FrameRun::seek(int64_t target) {
    const VideoFrame v = cache_.show(locate(target));
    behind_.arm();
    return v;
}

VideoFrame FrameRun::seekApproximate(int64_t target) {
    target = std::max(target, clip_.firstPts());
    behind_.adoptAhead();
    behind_.adoptBehind();
    cache_.clearCurrent();
    const std::optional<ClipDemuxer::Keyframe> key = clip_.keyframeAtOrBefore(target);
    if (!cache_.empty() && target >= cache_.frames().front().pts) {
        const int i = *cache_.lastAtOrBefore(target);
        if (i + 1 < cache_.size() || cache_.reachesEnd()) return cache_.show(i);
        // Beyond the run with no keyframe between (where the index lists them all).
        const int64_t head = cache_.frames().back().pts;
        const bool sameInterval = key && key->pts <= head && clip_.indexListsEveryKeyframe();
        if (sameInterval && cache_.headFollows() && target - head <= kScrubDecodeOn * clip_.nominalDuration())
            if (const std::optional<int> found = planner_.decodeUntil(target)) return cache_.show(*found);
        if (sameInterval) {
            behind_.requestAhead(key->pts, target);
            return cache_.show(cache_.size() - 1);
        }
    }
    if (const std::optional<int> at = planner_.keyframePicture(target)) {
        behind_.requestAhead(key ? key->pts : cache_.frames().front().pts, target);
        return cache_.show(*at);
    }
    return cache_.show(locate(target));
}

VideoFrame FrameRun::stepForward(bool withPicture) {
    const std::optional<int> i = cache_.currentIndex();
    if (!i) return {};
    if (*i + 1 < cache_.size()) return cache_.show(*i + 1, withPicture);
    if (cache_.reachesEnd()) return cache_.show(*i, withPicture);
    if (cache_.headFollows()) {
        for (;;) {
            auto frame = clip_.decodeNext();
            if (!frame) {
                cache_.setReachesEnd(true);
                return cache_.show(*cache_.currentIndex(), withPicture);
            }
            if (cache_.push(std::move(frame))) return cache_.show(cache_.size() - 1, withPicture);
        }
    }
    const FrameCache::CachedFrame& c = cache_.frames()[size_t(*i)];
    return cache_.show(locate(c.pts + c.duration), withPicture);
}

VideoFrame FrameRun::stepBackward() {
    const std::optional<int> i = cache_.currentIndex();
    if (!i) return {};
    if (*i > 0) {
        const VideoFrame v = cache_.show(*i - 1);
        behind_.arm();
        return v;
    }
    if (cache_.frames().front().pts <= clip_.firstPts()) return cache_.show(0);
    return seek(cache_.frames().front().pts - 1);
}

VideoFrame FrameRun::current() {
    const std::optional<int> i = cache_.currentIndex();
    return i ? cache_.show(*i) : VideoFrame{};
}

const AVFrame* FrameRun::currentDecoded() const {
    const std::optional<int> i = cache_.currentIndex();
    return i ? cache_.frames()[size_t(*i)].frame.get() : nullptr;
}

bool FrameRun::atLastFrame() const {
    if (!cache_.reachesEnd()) return false;
    const std::optional<int> i = cache_.currentIndex();
    return i && *i == cache_.size() - 1;
}

void FrameRun::setBudget(int64_t bytes) {
    behind_.cancel();  // its allowance came from the old budget
    cache_.setBudget(std::max<int64_t>(0, bytes));
    cache_.evict();
    behind_.arm();
}

void FrameRun::addStats(ClipDecoder::Stats& stats) const {
    stats.demuxSeeks += planner_.demuxSeeks();
    stats.cachedFrames = int64_t(cache_.size());
    stats.cachedBytes = cache_.bytes();
    behind_.addStats(stats);
}

}  // namespace tvn
