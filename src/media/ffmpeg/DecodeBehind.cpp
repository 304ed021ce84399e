#include "media/ffmpeg/DecodeBehind.h"

#include <pthread.h>

namespace tvn {

namespace {
// A request starts this long after it came unless a newer one replaced it: the
// owner is idle only once its requests stop changing (a key held down to step
// forward asks anew at every step, and each would start decoding afresh).
constexpr std::chrono::milliseconds kSettle{150};
}  // namespace

DecodeBehind::DecodeBehind(Job job) : job_(std::move(job)) {}

DecodeBehind::~DecodeBehind() { stop(); }

void DecodeBehind::request(const Request& request) {
    std::vector<Frame> dropped;  // freed outside the lock
    {
        std::scoped_lock lock(mutex_);
        if (same(request.end, request.ahead) && inHand_->file == request.file) {
            // The drag moved on within the interval in work: the running job follows it.
            if (request.ahead && !done_ && request.target != inHand_->target) {
                inHand_->target = request.target;
                if (queued_) queued_->target = request.target;
                progress_.target = request.target;
            }
            return;
        }
        ++generation_;
        progress_.cancelled = true;
        hurry_ = false;
        inHand_ = request;
        queued_ = request;
        done_ = false;
        dropped.swap(ready_);
        // The thread starts with the first request: a decoder that is never idle never has one.
        if (!thread_.joinable() && !quit_) thread_ = std::thread(&DecodeBehind::run, this);
    }
    wake_.notify_one();
}

void DecodeBehind::cancel() {
    std::vector<Frame> dropped;
    std::scoped_lock lock(mutex_);
    ++generation_;
    progress_.cancelled = true;
    hurry_ = false;
    inHand_.reset();
    queued_.reset();
    done_ = false;
    dropped.swap(ready_);
}

void DecodeBehind::stop() {
    cancel();
    {
        std::scoped_lock lock(mutex_);
        quit_ = true;
    }
    wake_.notify_one();
    if (thread_.joinable()) thread_.join();
    std::scoped_lock lock(mutex_);
    quit_ = false;  // a later request starts a new thread
}

std::vector<DecodeBehind::Frame> DecodeBehind::take(int64_t end, bool ahead) {
    std::scoped_lock lock(mutex_);
    if (!same(end, ahead)) return {};
    std::vector<Frame> out;
    if (!done_) {
        if (ahead) out.swap(ready_);  // what the running job has handed over so far
        return out;
    }
    out.swap(ready_);
    inHand_.reset();
    done_ = false;
    return out;
}

bool DecodeBehind::working(int64_t end, bool ahead) const {
    std::scoped_lock lock(mutex_);
    return same(end, ahead) && !done_;
}

bool DecodeBehind::holds(int64_t end, bool ahead) const {
    std::scoped_lock lock(mutex_);
    return same(end, ahead);
}

std::optional<DecodeBehind::Request> DecodeBehind::inHand() const {
    std::scoped_lock lock(mutex_);
    return inHand_;
}

bool DecodeBehind::waitFor(int64_t end, std::chrono::milliseconds stall, bool ahead) {
    std::unique_lock lock(mutex_);
    hurry_ = true;  // the owner waits: a queued request starts at once
    wake_.notify_one();
    for (int64_t seen = -1;;) {
        if (finished_.wait_for(lock, stall, [&] { return !same(end, ahead) || done_; })) return same(end, ahead) && done_;
        const int64_t pictures = progress_.pictures.load();
        if (pictures == seen) return false;
        seen = pictures;
    }
}

int64_t DecodeBehind::reservedBytes() const {
    std::scoped_lock lock(mutex_);
    return inHand_ ? inHand_->bytes : 0;
}

int64_t DecodeBehind::framesReady() const {
    std::scoped_lock lock(mutex_);
    return done_ ? int64_t(ready_.size()) : 0;
}

void DecodeBehind::run() {
    pthread_setname_np(pthread_self(), "tvn-behind");
    for (;;) {
        Request request;
        uint64_t generation = 0;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return quit_ || queued_.has_value(); });
            if (quit_) return;
            const uint64_t asked = generation_;
            if (queued_->settle) wake_.wait_for(lock, kSettle, [&] { return quit_ || generation_ != asked || hurry_; });
            if (quit_) return;
            if (generation_ != asked || !queued_) continue;  // replaced or cancelled while settling
            hurry_ = false;
            request = std::move(*queued_);
            queued_.reset();
            generation = generation_;
            progress_.cancelled = false;
            progress_.pictures = 0;
            progress_.target = request.target;
            progress_.publish = [this, generation](std::vector<Frame>&& some) {
                std::vector<Frame> stale;  // freed outside the lock
                {
                    std::scoped_lock lock(mutex_);
                    if (generation != generation_) {
                        stale = std::move(some);
                    } else {
                        for (Frame& f : some) ready_.push_back(std::move(f));
                    }
                }
            };
        }
        std::vector<Frame> frames;
        try {
            frames = job_(request, progress_);
        } catch (...) {
            frames.clear();  // cancelled, or the clip cannot be decoded there: the owner decodes itself
        }
        {
            std::scoped_lock lock(mutex_);
            if (generation != generation_) continue;  // stale: frames are freed outside the lock
            for (Frame& f : frames) ready_.push_back(std::move(f));  // after what was handed over while it ran
            done_ = true;
        }
        finished_.notify_all();
    }
}

}  // namespace tvn
