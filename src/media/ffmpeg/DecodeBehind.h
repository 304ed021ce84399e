#pragma once

#include "media/ffmpeg/FfmpegHandles.h"

#include <QString>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace tvn {

// Decodes, on a thread of its own, the frames just before the first one a
// decoder holds, while its owner is idle (a paused picture). A step back across
// a keyframe then finds its frames decoded, instead of decoding the whole
// interval before it on the owner's thread and throwing most of it away.
// The same worker decodes ahead while a slider is dragged: the frames from a
// keyframe up to the frame the drag points at (a target the owner moves while
// the job runs), so the exact frame is ready, or nearly, when the drag ends.
//
// The owner asks for the frames that end where its run of decoded frames
// starts, within a memory allowance; the job (given at construction, run on the
// worker thread on a demux+decode instance of its own) decodes from the keyframe
// before that point and keeps the last frames that fit. The result waits here
// until the owner takes it. A new request or cancel() drops older work by a
// generation number and tells the running job to stop; the job checks between
// pictures, so a cancelled job gives the processor back within one decode. A
// request starts only once no newer one came for a moment (the owner is idle),
// or at once when the owner waits for it or asks for no settling (a jump just
// landed, or a drag, which wants its frames as soon as possible).
// Every method is called from the owner's thread; only the job runs on the worker.
class DecodeBehind {
public:
    struct Frame {
        ff::FramePtr frame;
        int64_t pts = 0;  // stream time base
        int64_t duration = 0;
        int64_t bytes = 0;
    };
    struct Request {
        QString file;
        int threads = 0;    // decoder threads, as the owner's
        // Behind: the frames wanted end here (the owner's first frame). Ahead:
        // they start at the keyframe here.
        int64_t end = 0;
        int64_t bytes = 0;  // memory the job may hold at any time
        bool ahead = false;
        int64_t target = 0;  // ahead: the last frame wanted is the one containing this time
        bool settle = true;  // wait for the owner's requests to settle before starting
    };
    // What the owner and the running job share: the job stops when cancelled
    // is set and counts each picture it decodes, so a wait can tell a slow job
    // from a stuck one; an ahead job reads its target here as it goes.
    struct Progress {
        std::atomic<bool> cancelled{false};
        std::atomic<int64_t> pictures{0};
        std::atomic<int64_t> target{0};
        // An ahead job hands over the frames it has so far, oldest first, each once,
        // before it is done: the owner takes them while it runs (set by the worker).
        std::function<void(std::vector<Frame>&&)> publish;
    };
    // Behind: consecutive frames, oldest first, the last one ending at
    // request.end. Ahead: consecutive frames from the keyframe at request.end
    // (or the latest that fit the allowance) through the frame containing the
    // target. Empty when they cannot be had. May throw; a throw counts as empty.
    using Job = std::function<std::vector<Frame>(const Request& request, Progress& progress)>;

    explicit DecodeBehind(Job job);
    ~DecodeBehind();
    DecodeBehind(const DecodeBehind&) = delete;
    DecodeBehind& operator=(const DecodeBehind&) = delete;

    // Starts work on request, unless the same request is already in hand (in
    // work or finished), so repeating it costs nothing. An ahead request for
    // the keyframe in hand while its job runs moves that job's target instead.
    void request(const Request& request);
    // Drops the request in hand and its frames.
    void cancel();
    // Cancels and waits for the worker thread to end (before the job's state goes away).
    void stop();

    // A request is known by its end and its kind (ahead or behind).
    // The finished frames of it, handed over once; empty while they are not
    // ready. Of an ahead request, also the frames its job has handed over so
    // far while it runs (working() stays true until it is done).
    std::vector<Frame> take(int64_t end, bool ahead = false);
    // True while its job runs.
    bool working(int64_t end, bool ahead = false) const;
    // True while it is in hand, running or finished and not taken.
    bool holds(int64_t end, bool ahead = false) const;
    // The request in hand, if any.
    std::optional<Request> inHand() const;
    // Waits for its job to finish while it keeps decoding (a picture at least
    // every stall); true when it finished (then take()), false when it stalled
    // or was dropped.
    bool waitFor(int64_t end, std::chrono::milliseconds stall, bool ahead = false);
    // Memory set aside for the request in hand (its allowance), 0 with none.
    int64_t reservedBytes() const;
    // Frames finished and not yet taken.
    int64_t framesReady() const;

private:
    void run();
    bool same(int64_t end, bool ahead) const { return inHand_ && inHand_->end == end && inHand_->ahead == ahead; }

    Job job_;
    std::thread thread_;
    mutable std::mutex mutex_;  // guards queued_, inHand_, done_, ready_, generation_, quit_, hurry_
    std::condition_variable wake_;      // signalled when queued_, quit_ or hurry_ is set
    std::condition_variable finished_;  // signalled when done_ is set
    std::optional<Request> queued_;     // waiting for the worker to pick it up
    std::optional<Request> inHand_;     // the last request, in work or finished
    bool done_ = false;
    std::vector<Frame> ready_;
    uint64_t generation_ = 0;  // bumped by every request and cancel: results of older ones are dropped
    bool quit_ = false;
    bool hurry_ = false;  // the owner waits for the request in hand: no settling
    Progress progress_;  // of the running job
};

}  // namespace tvn
