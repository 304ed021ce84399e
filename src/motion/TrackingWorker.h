#pragma once

#include "core/TvnError.h"
#include "motion/TrackingRun.h"

#include <QObject>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>

namespace tvn::motion {

// Runs tracking requests one after another on a worker thread of its own, behind
// a queue, so the thread that owns it (the UI thread) never waits for decoding or
// matching. The worker touches nothing but its request and its own decoder; what
// it finds crosses back as queued calls, and this object's signals are raised on
// its owner's thread. Every job ends with exactly one of finished (also when
// cancelled: the tracks found until then) or failed.
//
// The control's motion companion object wraps this: it keeps one worker, turns
// its calls (track from the current frame, correct a point, cancel) into requests
// with the clip's name, the current frame's position and number, and points
// converted from drawing coordinates (twips) to picture pixels; it merges each
// finished correction into the track it corrects (Track::corrected), re-raises
// progress and the result as its own Qt signals, and reports a failure through
// the control's failed signal. Destroying the worker cancels the job in hand and
// waits for the thread to end (at most the frame in hand).
class TrackingWorker : public QObject {
    Q_OBJECT
public:
    explicit TrackingWorker(QObject* parent = nullptr);
    ~TrackingWorker() override;

    // Queues a request; returns its job number (from 1).
    uint64_t track(const TrackingRequest& request);
    // Cancels a queued or running job: it finishes with what it has, marked cancelled.
    void cancel(uint64_t job);
    // True while a job is queued or running.
    bool busy() const;

signals:
    void progress(quint64 job, int framesDone, int framesTotal);
    void finished(quint64 job, const tvn::motion::TrackingResult& result);
    void failed(quint64 job, const tvn::TvnError& error);

private:
    struct Job {
        uint64_t id = 0;
        TrackingRequest request;
    };
    void work();
    void runJob(const Job& job);

    mutable std::mutex mutex_;  // guards queue_, running_, stopping_, nextId_
    std::condition_variable wake_;
    std::deque<Job> queue_;
    uint64_t running_ = 0;  // the job in hand, 0 when idle
    bool stopping_ = false;
    uint64_t nextId_ = 1;
    std::atomic<bool> cancelRunning_{false};
    std::thread thread_;  // started on the first request
};

}  // namespace tvn::motion
