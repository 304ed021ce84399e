#include "media/ffmpeg/BehindCoordinator.h"

#include "media/ffmpeg/FrameCache.h"
#include "media/ffmpeg/FrameRun.h"

#include <algorithm>
#include <utility>

namespace tvn {

namespace {
// Frames after the current one that making room for decode-behind leaves in place.
constexpr int kKeptAhead = 8;
// A decode-behind worker that decodes no picture for this long is taken as
// stuck: the caller stops waiting for it and decodes the frame itself.
constexpr std::chrono::milliseconds kBehindStall{1000};
}  // namespace

// The decode-behind job's own demuxer and run, on the worker thread.
struct BehindCoordinator::BehindSource {
    ClipDemuxer clip;
    FrameRun run{clip, nullptr, false};
};

BehindCoordinator::BehindCoordinator(ClipDemuxer& clip, FrameCache& cache)
    : clip_(clip),
      cache_(cache),
      behind_([this](const DecodeBehind::Request& r, DecodeBehind::Progress& p) { return job(r, p); }) {}

BehindCoordinator::~BehindCoordinator() { behind_.stop(); }

void BehindCoordinator::close() {
    behind_.stop();
    source_.reset();
}

void BehindCoordinator::setOn(bool on) {
    if (on_ == on) return;
    on_ = on;
    if (on)
        arm();
    else
        behind_.cancel();
}

void BehindCoordinator::restarting() {
    const std::optional<DecodeBehind::Request> inHand = behind_.inHand();
    if (!inHand || !inHand->ahead) behind_.cancel();
}

// Runs on the decode-behind worker, on a demux+decode instance of its own:
// decodes from the keyframe before r.end up to the frame at r.end, keeping the
// last frames that fit r.bytes (with no current frame its run lets the oldest go).
std::vector<DecodeBehind::Frame> BehindCoordinator::job(const DecodeBehind::Request& r, DecodeBehind::Progress& p) {
    if (!source_ || source_->clip.fileName() != r.file) {
        source_.reset();
        auto source = std::make_unique<BehindSource>();
        source->clip.watch(&p);
        source->clip.open(r.file, r.threads);
        source->run.startAtFirstPicture();
        source_ = std::move(source);
    }
    source_->clip.watch(&p);
    return r.ahead ? source_->run.framesThrough(r.end, p, r.bytes) : source_->run.framesEndingAt(r.end, r.bytes);
}

// While idle, asks the worker for the frames before the run once the current
// frame is near its front (within half the budget), so they are ready before a
// step back reaches them. Room is made by letting go frames well ahead of the
// current one; the worker gets what is left of the budget.
void BehindCoordinator::arm() {
    if (!on_ || !clip_.isOpen() || cache_.empty()) return;
    const int64_t end = cache_.frames().front().pts;
    if (behind_.holds(end)) return;
    behind_.cancel();  // work for a run that started elsewhere is of no use, nor its allowance
    const std::optional<int> current = cache_.currentIndex();
    if (!current || end <= clip_.firstPts()) return;
    const int64_t budget = cache_.budget();
    int64_t toCurrent = 0;
    for (int i = 0; i <= *current; ++i) toCurrent += cache_.frames()[size_t(i)].bytes;
    if (toCurrent > budget / 2) return;
    while (cache_.bytes() + cache_.pictureReserve() > budget / 2 && cache_.size() - 1 > *current + kKeptAhead)
        cache_.dropBack();
    const int64_t allowance = budget - cache_.bytes() - cache_.pictureReserve();
    if (allowance < std::max(budget / 4, 3 * cache_.frames().front().bytes)) return;
    DecodeBehind::Request r{clip_.fileName(), clip_.threads(), end, allowance};
    r.settle = std::exchange(settle_, true);
    behind_.request(r);
}

// The worker decodes the frames there and hands them over a few at a time,
// keeping only what it has not handed over yet (its allowance); the run takes
// them within the budget.
void BehindCoordinator::requestAhead(int64_t key, int64_t target) {
    if (!on_ || !clip_.isOpen()) return;
    const int64_t frameBytes = std::max(cache_.pictureBytes() / 2, cache_.empty() ? int64_t(1) : cache_.frames().front().bytes);
    const int64_t allowance = (kPublishEvery + 4) * frameBytes;
    if (cache_.budget() < 4 * allowance) return;  // no room for a run worth the work
    DecodeBehind::Request r{clip_.fileName(), clip_.threads(), key, allowance};
    r.ahead = true;
    r.target = target;
    r.settle = false;
    behind_.request(r);
}

// Puts the frames a decode-ahead job finished into the run: after its newest
// frame where they carry it on, else in its place. No frame is current
// afterwards (the caller shows one next), so what goes over budget is the oldest.
bool BehindCoordinator::adoptAhead() {
    const std::optional<DecodeBehind::Request> inHand = behind_.inHand();
    if (!inHand || !inHand->ahead) return false;
    std::vector<DecodeBehind::Frame> frames = behind_.take(inHand->end, true);
    if (frames.empty()) return false;
    cache_.clearCurrent();
    auto& run = cache_.frames();
    size_t from = 0;
    const bool carriesOn = !run.empty() && frames.front().pts <= run.back().pts && frames.back().pts > run.back().pts;
    const bool follows = !run.empty() && frames.front().pts == run.back().pts + run.back().duration;
    if (follows) {
        // The job's next frames, right after those it handed over before.
    } else if (carriesOn) {
        while (frames[from].pts < run.back().pts) ++from;
        if (frames[from].pts != run.back().pts) return false;  // not the same frames: of no use
        ++from;
        run.back().duration = frames[from].pts - run.back().pts;
    } else if (!run.empty() && frames.front().pts >= run.front().pts && frames.back().pts <= run.back().pts) {
        return false;  // the run holds them already
    } else {
        cache_.dropAll();
    }
    for (; from < frames.size(); ++from) cache_.append(std::move(frames[from]));
    cache_.setHeadFollows(false);  // the decoder here stands elsewhere
    cache_.setReachesEnd(false);
    cache_.evict();
    return true;
}

// Before an exact jump decodes a frame itself: where a decode-ahead job is on
// the target's interval, it has a head start; takes its frames, or waits for
// them as long as it makes progress.
void BehindCoordinator::fetchAhead(int64_t target) {
    const std::optional<DecodeBehind::Request> inHand = behind_.inHand();
    if (!inHand || !inHand->ahead) return;
    adoptAhead();
    if (!cache_.empty() && target >= cache_.frames().front().pts) {
        const int i = *cache_.lastAtOrBefore(target);
        if (i + 1 < cache_.size() || cache_.reachesEnd()) return;
    }
    const int64_t key = inHand->end;
    const std::optional<ClipDemuxer::Keyframe> keyOfTarget = clip_.keyframeAtOrBefore(target);
    if (target < key || (keyOfTarget && keyOfTarget->pts != key)) return;
    requestAhead(key, target);
    if (!behind_.holds(key, true)) return;
    if (behind_.waitFor(key, kBehindStall, true))
        adoptAhead();
    else
        behind_.cancel();
}

// Puts the frames the worker finished in front of the run.
bool BehindCoordinator::adoptBehind() {
    if (cache_.empty()) return false;
    auto frames = behind_.take(cache_.frames().front().pts);
    if (frames.empty()) return false;
    for (auto it = frames.rbegin(); it != frames.rend(); ++it) cache_.prepend(std::move(*it));
    cache_.evict();
    return true;
}

// Whether the frames the worker is decoding will include target: they start at
// the keyframe before the run, or later when not all of them fit its allowance.
bool BehindCoordinator::willHold(int64_t target) const {
    const FrameCache::CachedFrame& front = cache_.frames().front();
    const int64_t capacity = behind_.reservedBytes() / std::max<int64_t>(1, front.bytes) - 1;
    if (target < front.pts - capacity * clip_.nominalDuration()) return false;
    const std::optional<ClipDemuxer::Keyframe> key = clip_.keyframeAtOrBefore(front.pts - 1);
    return !key || target >= key->pts;
}

// Before decoding frames that lie before the run, takes those the worker has
// finished, or waits for those it is decoding, as long as it makes progress,
// rather than decode them a second time on this thread.
void BehindCoordinator::fetchBehind(int64_t target) {
    if (adoptBehind() || !behind_.working(cache_.frames().front().pts) || !willHold(target)) return;
    if (behind_.waitFor(cache_.frames().front().pts, kBehindStall))
        adoptBehind();
    else
        behind_.cancel();
}

void BehindCoordinator::addStats(ClipDecoder::Stats& stats) const {
    stats.behindBytes = behind_.reservedBytes();
    stats.framesReadyBehind = behind_.framesReady();
}

}  // namespace tvn
