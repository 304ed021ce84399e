#pragma once

#include "core/JobQueue.h"
#include "core/TvnError.h"
#include "motion/TrackingRun.h"

#include <QObject>
#include <atomic>
#include <cstdint>

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
    void runJob(uint64_t id, const TrackingRequest& request, const std::atomic<bool>& cancelled);

    JobQueue<TrackingRequest> jobs_;  // last: its thread ends before the rest goes
};

}  // namespace tvn::motion
