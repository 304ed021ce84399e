#include "media/ffmpeg/FrameRun.h"

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
// Frames after the current one that making room for decode-behind leaves in place.
constexpr int kKeptAhead = 8;
// Decoded frames (the converted pictures aside) that decoding forward, a step
// or a jump, keeps behind the newest one: about 50 frames of 1080p, 2 s at 25
// fps. Beyond it the oldest go, so the decoder's buffer pool hands their memory
// back to the next picture instead of taking fresh memory (a page fault per
// 4 KiB, which costs as much as decoding); the rest of the budget is filled
// by the decode-behind worker while the owner is idle.
constexpr int64_t kForwardWindowBytes = 160LL * 1024 * 1024;
// The process's picture-buffer pool keeps what one such window gives back when its decoder closes.
static_assert(FramePool::kIdleLimitBytes >= kForwardWindowBytes);
// A decode-behind worker that decodes no picture for this long is taken as
// stuck: the caller stops waiting for it and decodes the frame itself.
constexpr std::chrono::milliseconds kBehindStall{1000};
// Pictures past the run's newest that a drag decodes on the caller's thread
// rather than show an older one: about what one converted picture costs.
constexpr int kScrubDecodeOn = 4;
// Pictures a decode-ahead job decodes between two hand-overs to its owner.
constexpr int kPublishEvery = 3;

// Memory a decoded picture holds: its buffers as the decoder allocated them
// (aligned rows and padding included), so the budget counts what is really used.
int64_t pictureBytes(const AVFrame* f) {
    int64_t bytes = 0;
    for (const AVBufferRef* b : f->buf) bytes += b ? int64_t(b->size) : 0;
    for (int i = 0; i < f->nb_extended_buf; ++i) bytes += int64_t(f->extended_buf[i]->size);
    if (bytes > 0) return bytes;
    const int size = av_image_get_buffer_size(static_cast<AVPixelFormat>(f->format), f->width, f->height, 1);
    return size > 0 ? size : int64_t(f->width) * f->height * 4;
}

}  // namespace

// The decode-behind job's own demuxer and run, on the worker thread.
struct FrameRun::BehindSource {
    ClipDemuxer clip;
    FrameRun run{clip, nullptr, false};
};

FrameRun::FrameRun(ClipDemuxer& clip, PictureConverter* pictures, bool forwardWindow)
    : clip_(clip),
      pictures_(pictures),
      forwardWindow_(forwardWindow),
      budget_(ClipDecoder::defaultCacheBudget()),
      behind_([this](const DecodeBehind::Request& r, DecodeBehind::Progress& p) { return decodeBehindJob(r, p); }) {}

FrameRun::~FrameRun() { behind_.stop(); }

void FrameRun::close() {
    behind_.stop();
    behindSource_.reset();
    run_.clear();
    bytes_ = 0;
    currentPts_ = AV_NOPTS_VALUE;
    reachesEnd_ = headFollows_ = false;
    keyInterval_ = 0;
}

void FrameRun::startAtFirstPicture() {
    headFollows_ = true;
    auto first = clip_.decodeNext();
    if (!first)
        throw ClipDemuxer::openError(err::ClipOpenFailed, clip_.fileName(),
                                     QStringLiteral("no picture could be decoded (the file is damaged or truncated)"));
    clip_.setFirstPts(first->best_effort_timestamp != AV_NOPTS_VALUE ? first->best_effort_timestamp : 0);
    push(std::move(first));
}

void FrameRun::restartAtFirstPicture() {
    restart();
    auto first = clip_.decodeNext();
    if (!first)
        throw ClipDemuxer::openError(err::ClipOpenFailed, clip_.fileName(),
                                     QStringLiteral("the first picture cannot be decoded again"));
    push(std::move(first));
}

void FrameRun::drop(CachedFrame& frame) {
    bytes_ -= frame.bytes + (frame.image.isNull() ? 0 : frame.image.sizeInBytes());
    if (pictures_) pictures_->recycle(std::move(frame.image));
}

bool FrameRun::push(ff::FramePtr frame) {
    int64_t pts = frame->best_effort_timestamp;
    if (pts == AV_NOPTS_VALUE) pts = run_.empty() ? clip_.firstPts() : run_.back().pts + run_.back().duration;
    // A picture that does not move time forward (a damaged timestamp) cannot be
    // placed in the run and is dropped.
    if (!run_.empty() && pts <= run_.back().pts) return false;
    if (!run_.empty()) run_.back().duration = pts - run_.back().pts;
    CachedFrame c;
    c.pts = pts;
    const int64_t duration = ff::frameDuration(frame.get());
    c.duration = duration > 0 ? duration : clip_.nominalDuration();
    c.bytes = pictureBytes(frame.get());
    c.frame = std::move(frame);
    bytes_ += c.bytes;
    run_.push_back(std::move(c));
    trimBehindHead();
    evict();
    return true;
}

// Keeps the frames behind the newest one within the forward window, the oldest
// going first. The current frame, where one is, stays. Within half the budget
// too, so that decode-behind (armed while the run up to the current frame
// holds at most half) can fill in the frames before it.
void FrameRun::trimBehindHead() {
    if (!forwardWindow_) return;
    const int64_t window = std::min(kForwardWindowBytes, budget_ / 2);
    int64_t kept = 0;
    size_t first = run_.size();
    while (first > 0 && kept + run_[first - 1].bytes <= window) kept += run_[--first].bytes;
    size_t count = std::min(first, run_.size() > 2 ? run_.size() - 2 : 0);
    if (const std::optional<int> current = currentIndex()) count = std::min(count, size_t(*current));
    for (size_t i = 0; i < count; ++i) {
        drop(run_.front());
        run_.pop_front();
    }
}

// Frees the frames farthest from the current one until the run and what the
// decode-behind worker may hold fit the budget. The front goes first while no
// frame is current (the run is being decoded forward); otherwise the end farther
// from the current frame. Two frames always stay: the one found and the one
// after it that proved where it ends.
void FrameRun::evict() {
    const int64_t limit = budget_ - behind_.reservedBytes();
    while (bytes_ > limit && run_.size() > 2) {
        const std::optional<int> current = currentIndex();
        const bool dropBack = current && *current < int(run_.size()) - 1 - *current;
        drop(dropBack ? run_.back() : run_.front());
        if (dropBack) {
            run_.pop_back();
            reachesEnd_ = false;
            headFollows_ = false;
        } else {
            run_.pop_front();
        }
    }
}

std::optional<int> FrameRun::lastAtOrBefore(int64_t ts) const {
    auto it = std::upper_bound(run_.begin(), run_.end(), ts, [](int64_t t, const CachedFrame& c) { return t < c.pts; });
    if (it == run_.begin()) return std::nullopt;
    return int(it - run_.begin()) - 1;
}

std::optional<int> FrameRun::currentIndex() const {
    if (currentPts_ == AV_NOPTS_VALUE) return std::nullopt;
    return lastAtOrBefore(currentPts_);
}

// Decodes on from the head until the frame containing target is known: its
// index, or nothing when the first picture decoded already lies past the target
// (the seek landed too late) or nothing could be decoded.
std::optional<int> FrameRun::decodeUntil(int64_t target) {
    const int64_t firstPts = clip_.firstPts();
    for (;;) {
        auto frame = clip_.decodeNext();
        if (!frame) {
            reachesEnd_ = true;
            if (run_.empty()) return std::nullopt;
            if (const std::optional<int> i = lastAtOrBefore(target)) return i;
            return run_.front().pts <= firstPts ? std::optional<int>(0) : std::nullopt;
        }
        if (!push(std::move(frame))) continue;
        if (run_.back().pts > target) {
            if (run_.size() >= 2) return int(run_.size()) - 2;
            return run_.back().pts <= firstPts ? std::optional<int>(0) : std::nullopt;
        }
    }
}

void FrameRun::restart() {
    // Frames decoded behind would end where the old run started; frames decoded
    // ahead for a drag do not depend on the run.
    const std::optional<DecodeBehind::Request> inHand = behind_.inHand();
    if (!inHand || !inHand->ahead) behind_.cancel();
    clip_.flush();
    for (auto& c : run_)
        if (pictures_) pictures_->recycle(std::move(c.image));
    run_.clear();
    bytes_ = 0;
    reachesEnd_ = false;
    headFollows_ = true;
}

int FrameRun::seekAndDecode(int64_t target) {
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
            settleBehind_ = false;  // a jump, not a held key: the interval before may be decoded at once
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
bool FrameRun::forwardIsCheaper(int64_t target) const {
    const int64_t head = run_.back().pts;
    const std::optional<ClipDemuxer::Keyframe> key = clip_.keyframeAtOrBefore(target);
    if (key && key->pts > head) return false;
    if (key && clip_.indexListsEveryKeyframe() && key->laterListed) return true;
    return target - head <= clip_.ticksPerSecond();
}

int FrameRun::locate(int64_t target) {
    target = std::max(target, clip_.firstPts());
    fetchAhead(target);
    if (!run_.empty() && target < run_.front().pts) fetchBehind(target);
    currentPts_ = AV_NOPTS_VALUE;  // while decoding, the front of the run is the farthest
    if (!run_.empty() && target >= run_.front().pts) {
        const int i = *lastAtOrBefore(target);
        if (i + 1 < int(run_.size()) || reachesEnd_) return i;
        if (headFollows_ && forwardIsCheaper(target))
            if (const std::optional<int> found = decodeUntil(target)) return *found;
    }
    return seekAndDecode(target);
}

// Runs on the decode-behind worker, on a demux+decode instance of its own:
// decodes from the keyframe before r.end up to the frame at r.end, keeping the
// last frames that fit r.bytes (with no current frame its run lets the oldest go).
std::vector<DecodeBehind::Frame> FrameRun::decodeBehindJob(const DecodeBehind::Request& r, DecodeBehind::Progress& p) {
    if (!behindSource_ || behindSource_->clip.fileName() != r.file) {
        behindSource_.reset();
        auto source = std::make_unique<BehindSource>();
        source->clip.watch(&p);
        source->clip.open(r.file, r.threads);
        source->run.startAtFirstPicture();
        behindSource_ = std::move(source);
    }
    behindSource_->clip.watch(&p);
    return r.ahead ? behindSource_->run.framesThrough(r.end, p, r.bytes) : behindSource_->run.framesEndingAt(r.end, r.bytes);
}

// On a decode-behind job's run: decodes from the keyframe before end, keeping
// the last frames that fit bytes, and hands over those before end, oldest first.
std::vector<DecodeBehind::Frame> FrameRun::framesEndingAt(int64_t end, int64_t bytes) {
    budget_ = bytes;
    aheadKey_ = AV_NOPTS_VALUE;
    run_.clear();
    bytes_ = 0;
    currentPts_ = AV_NOPTS_VALUE;
    locate(end - 1);
    // The frame at end proves the last one ends there; without it they do not join the owner's run.
    if (run_.empty() || run_.back().pts != end) return {};
    std::vector<DecodeBehind::Frame> frames;
    for (auto& c : run_)
        if (c.pts < end) frames.push_back({std::move(c.frame), c.pts, c.duration, c.bytes});
    run_.clear();
    bytes_ = 0;
    return frames;
}

// On a decode-ahead job's run: decodes from the keyframe key through the frame
// containing the progress's target, following the target while the owner moves
// it, keeping the latest frames that fit bytes. The run stays between jobs for
// the same keyframe, so a drag that moves on within the interval decodes on
// from where the last job stopped. Hands over references to every frame whose
// end is known (the owner's copies share the pictures' memory).
std::vector<DecodeBehind::Frame> FrameRun::framesThrough(int64_t key, DecodeBehind::Progress& progress, int64_t bytes) {
    budget_ = bytes;
    if (aheadKey_ != key) {
        run_.clear();
        bytes_ = 0;
        aheadKey_ = key;
    }
    currentPts_ = AV_NOPTS_VALUE;
    // The frames not handed over yet in this job: while it runs, those whose end
    // is known; at its end all of them, the newest proving where the one at the
    // target ends (a job going on from here hands it over again, with its end).
    int64_t handedUpTo = AV_NOPTS_VALUE;  // pts of the last frame handed over in this job
    const auto known = [&](bool final) {
        std::vector<DecodeBehind::Frame> frames;
        const size_t end = run_.size() - (final || reachesEnd_ || run_.empty() ? 0 : 1);
        for (size_t i = 0; i < end; ++i) {
            if (handedUpTo != AV_NOPTS_VALUE && run_[i].pts <= handedUpTo) continue;
            ff::FramePtr ref(av_frame_clone(run_[i].frame.get()));
            if (!ref) break;
            frames.push_back({std::move(ref), run_[i].pts, run_[i].duration, run_[i].bytes});
        }
        if (!frames.empty()) handedUpTo = frames.back().pts;
        // The owner has those now: the job keeps only the frames it goes on from.
        while (run_.size() > 2 && run_.front().pts <= handedUpTo) {
            drop(run_.front());
            run_.pop_front();
        }
        return frames;
    };
    // A few pictures at a time, so the owner shows them while the drag goes on.
    const int64_t step = kPublishEvery * clip_.nominalDuration();
    for (;;) {
        const int64_t target = std::max(progress.target.load(), key);
        // Not yet in the interval: its first few frames, then on a few at a time.
        const bool started = !run_.empty() && run_.front().pts <= target;
        const int64_t next = std::min(target, (started ? run_.back().pts : key) + step);
        locate(next);
        if (next >= target && progress.target.load() <= target) break;  // the target's frame is there
        if (progress.publish) progress.publish(known(false));
    }
    return known(true);
}

// Room for the converted pictures the run may still add (those it holds are in bytes_).
int64_t FrameRun::pictureReserve() const {
    int64_t held = 0;
    for (const auto& c : run_) held += c.image.isNull() ? 0 : 1;
    return std::max<int64_t>(0, kKeptPictures - held) * pictureBytes_;
}

// While idle, asks the worker for the frames before the run once the current
// frame is near its front (within half the budget), so they are ready before a
// step back reaches them. Room is made by letting go frames well ahead of the
// current one; the worker gets what is left of the budget.
void FrameRun::armBehind() {
    if (!behindOn_ || !clip_.isOpen() || run_.empty()) return;
    const int64_t end = run_.front().pts;
    if (behind_.holds(end)) return;
    behind_.cancel();  // work for a run that started elsewhere is of no use, nor its allowance
    const std::optional<int> current = currentIndex();
    if (!current || end <= clip_.firstPts()) return;
    int64_t toCurrent = 0;
    for (int i = 0; i <= *current; ++i) toCurrent += run_[size_t(i)].bytes;
    if (toCurrent > budget_ / 2) return;
    while (bytes_ + pictureReserve() > budget_ / 2 && int(run_.size()) - 1 > *current + kKeptAhead) {
        drop(run_.back());
        run_.pop_back();
        reachesEnd_ = false;
        headFollows_ = false;
    }
    const int64_t allowance = budget_ - bytes_ - pictureReserve();
    if (allowance < std::max(budget_ / 4, 3 * run_.front().bytes)) return;
    DecodeBehind::Request r{clip_.fileName(), clip_.threads(), end, allowance};
    r.settle = std::exchange(settleBehind_, true);
    behind_.request(r);
}

// While a drag points at target in the interval from key: the worker decodes
// the frames there and hands them over a few at a time, keeping only what it
// has not handed over yet (its allowance); the run takes them within the budget.
void FrameRun::requestAhead(int64_t key, int64_t target) {
    if (!behindOn_ || !clip_.isOpen()) return;
    const int64_t frameBytes = std::max(pictureBytes_ / 2, run_.empty() ? int64_t(1) : run_.front().bytes);
    const int64_t allowance = (kPublishEvery + 4) * frameBytes;
    if (budget_ < 4 * allowance) return;  // no room for a run worth the work
    DecodeBehind::Request r{clip_.fileName(), clip_.threads(), key, allowance};
    r.ahead = true;
    r.target = target;
    r.settle = false;
    behind_.request(r);
}

// Puts the frames a decode-ahead job finished into the run: after its newest
// frame where they carry it on, else in its place. No frame is current
// afterwards (the caller shows one next), so what goes over budget is the oldest.
bool FrameRun::adoptAhead() {
    const std::optional<DecodeBehind::Request> inHand = behind_.inHand();
    if (!inHand || !inHand->ahead) return false;
    std::vector<DecodeBehind::Frame> frames = behind_.take(inHand->end, true);
    if (frames.empty()) return false;
    currentPts_ = AV_NOPTS_VALUE;
    size_t from = 0;
    const bool carriesOn = !run_.empty() && frames.front().pts <= run_.back().pts && frames.back().pts > run_.back().pts;
    const bool follows = !run_.empty() && frames.front().pts == run_.back().pts + run_.back().duration;
    if (follows) {
        // The job's next frames, right after those it handed over before.
    } else if (carriesOn) {
        while (frames[from].pts < run_.back().pts) ++from;
        if (frames[from].pts != run_.back().pts) return false;  // not the same frames: of no use
        ++from;
        run_.back().duration = frames[from].pts - run_.back().pts;
    } else if (!run_.empty() && frames.front().pts >= run_.front().pts && frames.back().pts <= run_.back().pts) {
        return false;  // the run holds them already
    } else {
        for (auto& c : run_) drop(c);
        run_.clear();
        bytes_ = 0;
    }
    for (; from < frames.size(); ++from) {
        CachedFrame c;
        c.frame = std::move(frames[from].frame);
        c.pts = frames[from].pts;
        c.duration = frames[from].duration;
        c.bytes = frames[from].bytes;
        bytes_ += c.bytes;
        run_.push_back(std::move(c));
    }
    headFollows_ = false;  // the decoder here stands elsewhere
    reachesEnd_ = false;
    evict();
    return true;
}

// Before an exact jump decodes a frame itself: where a decode-ahead job is on
// the target's interval, it has a head start; takes its frames, or waits for
// them as long as it makes progress.
void FrameRun::fetchAhead(int64_t target) {
    const std::optional<DecodeBehind::Request> inHand = behind_.inHand();
    if (!inHand || !inHand->ahead) return;
    adoptAhead();
    if (!run_.empty() && target >= run_.front().pts) {
        const int i = *lastAtOrBefore(target);
        if (i + 1 < int(run_.size()) || reachesEnd_) return;
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

// Seeks to the keyframe at or before target and decodes its picture alone,
// which starts the run; nothing when the seek lands past target.
std::optional<int> FrameRun::keyframePicture(int64_t target) {
    if (clip_.seekBackward(target) < 0) return std::nullopt;
    ++demuxSeeks_;
    restart();
    currentPts_ = AV_NOPTS_VALUE;
    // A picture whose timestamp does not move time on is dropped by push; the next one is taken.
    for (int tries = 0; tries < 8 && run_.empty(); ++tries) {
        auto frame = clip_.decodeNext();
        if (!frame) {
            reachesEnd_ = true;
            break;
        }
        push(std::move(frame));
    }
    if (run_.empty() || run_.front().pts > target) return std::nullopt;
    return 0;
}

// Puts the frames the worker finished in front of the run.
bool FrameRun::adoptBehind() {
    if (run_.empty()) return false;
    auto frames = behind_.take(run_.front().pts);
    if (frames.empty()) return false;
    for (auto it = frames.rbegin(); it != frames.rend(); ++it) {
        CachedFrame c;
        c.frame = std::move(it->frame);
        c.pts = it->pts;
        c.duration = it->duration;
        c.bytes = it->bytes;
        bytes_ += c.bytes;
        run_.push_front(std::move(c));
    }
    evict();
    return true;
}

// Whether the frames the worker is decoding will include target: they start at
// the keyframe before the run, or later when not all of them fit its allowance.
bool FrameRun::behindWillHold(int64_t target) const {
    const CachedFrame& front = run_.front();
    const int64_t capacity = behind_.reservedBytes() / std::max<int64_t>(1, front.bytes) - 1;
    if (target < front.pts - capacity * clip_.nominalDuration()) return false;
    const std::optional<ClipDemuxer::Keyframe> key = clip_.keyframeAtOrBefore(front.pts - 1);
    return !key || target >= key->pts;
}

// Before decoding frames that lie before the run, takes those the worker has
// finished, or waits for those it is decoding, as long as it makes progress,
// rather than decode them a second time on this thread.
void FrameRun::fetchBehind(int64_t target) {
    if (adoptBehind() || !behind_.working(run_.front().pts) || !behindWillHold(target)) return;
    if (behind_.waitFor(run_.front().pts, kBehindStall))
        adoptBehind();
    else
        behind_.cancel();
}

void FrameRun::dropFarPictures(int index) {
    int kept = 0;
    for (const auto& c : run_) kept += c.image.isNull() ? 0 : 1;
    // Farthest from index first, from either end.
    for (int lo = 0, hi = int(run_.size()) - 1; kept > kKeptPictures && lo < hi;) {
        CachedFrame& far = (index - lo >= hi - index) ? run_[size_t(lo++)] : run_[size_t(hi--)];
        if (far.image.isNull()) continue;
        bytes_ -= far.image.sizeInBytes();
        pictures_->recycle(std::move(far.image));
        --kept;
    }
}

VideoFrame FrameRun::show(int index, bool withPicture) {
    CachedFrame& c = run_[size_t(index)];
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

VideoFrame FrameRun::showFirst() {
    const VideoFrame v = show(0);
    armBehind();
    return v;
}

VideoFrame FrameRun::seek(int64_t target) {
    const VideoFrame v = show(locate(target));
    armBehind();
    return v;
}

VideoFrame FrameRun::seekApproximate(int64_t target) {
    target = std::max(target, clip_.firstPts());
    adoptAhead();
    adoptBehind();
    currentPts_ = AV_NOPTS_VALUE;
    const std::optional<ClipDemuxer::Keyframe> key = clip_.keyframeAtOrBefore(target);
    if (!run_.empty() && target >= run_.front().pts) {
        const int i = *lastAtOrBefore(target);
        if (i + 1 < int(run_.size()) || reachesEnd_) return show(i);
        // Beyond the run with no keyframe between (where the index lists them all).
        const int64_t head = run_.back().pts;
        const bool sameInterval = key && key->pts <= head && clip_.indexListsEveryKeyframe();
        if (sameInterval && headFollows_ && target - head <= kScrubDecodeOn * clip_.nominalDuration())
            if (const std::optional<int> found = decodeUntil(target)) return show(*found);
        if (sameInterval) {
            requestAhead(key->pts, target);
            return show(int(run_.size()) - 1);
        }
    }
    if (const std::optional<int> at = keyframePicture(target)) {
        requestAhead(key ? key->pts : run_.front().pts, target);
        return show(*at);
    }
    return show(locate(target));
}

VideoFrame FrameRun::stepForward(bool withPicture) {
    const std::optional<int> i = currentIndex();
    if (!i) return {};
    if (*i + 1 < int(run_.size())) return show(*i + 1, withPicture);
    if (reachesEnd_) return show(*i, withPicture);
    if (headFollows_) {
        for (;;) {
            auto frame = clip_.decodeNext();
            if (!frame) {
                reachesEnd_ = true;
                return show(*currentIndex(), withPicture);
            }
            if (push(std::move(frame))) return show(int(run_.size()) - 1, withPicture);
        }
    }
    const CachedFrame& c = run_[size_t(*i)];
    return show(locate(c.pts + c.duration), withPicture);
}

VideoFrame FrameRun::stepBackward() {
    const std::optional<int> i = currentIndex();
    if (!i) return {};
    if (*i > 0) {
        const VideoFrame v = show(*i - 1);
        armBehind();
        return v;
    }
    if (run_.front().pts <= clip_.firstPts()) return show(0);
    return seek(run_.front().pts - 1);
}

VideoFrame FrameRun::current() {
    const std::optional<int> i = currentIndex();
    return i ? show(*i) : VideoFrame{};
}

bool FrameRun::atLastFrame() const {
    if (!reachesEnd_) return false;
    const std::optional<int> i = currentIndex();
    return i && *i == int(run_.size()) - 1;
}

void FrameRun::setBudget(int64_t bytes) {
    behind_.cancel();  // its allowance came from the old budget
    budget_ = std::max<int64_t>(0, bytes);
    evict();
    armBehind();
}

void FrameRun::setDecodeBehind(bool on) {
    if (behindOn_ == on) return;
    behindOn_ = on;
    if (on)
        armBehind();
    else
        behind_.cancel();
}

void FrameRun::dropPictures() {
    for (auto& c : run_) {
        if (!c.image.isNull()) bytes_ -= c.image.sizeInBytes();
        c.image = QImage();
    }
}

void FrameRun::addStats(ClipDecoder::Stats& stats) const {
    stats.demuxSeeks += demuxSeeks_;
    stats.cachedFrames = int64_t(run_.size());
    stats.cachedBytes = bytes_;
    stats.behindBytes = behind_.reservedBytes();
    stats.framesReadyBehind = behind_.framesReady();
}

}  // namespace tvn
