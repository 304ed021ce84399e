#include "motion/TrackingWorker.h"

#include <QMetaObject>

namespace tvn::motion {

TrackingWorker::TrackingWorker(QObject* parent)
    : QObject(parent),
      jobs_("tvn-tracking", [this](uint64_t id, const TrackingRequest& request, const std::atomic<bool>& cancelled) {
          runJob(id, request, cancelled);
      }) {}

TrackingWorker::~TrackingWorker() = default;

uint64_t TrackingWorker::track(const TrackingRequest& request) { return jobs_.push(request); }

void TrackingWorker::cancel(uint64_t job) {
    if (!jobs_.cancel(job)) return;
    TrackingResult none;
    none.cancelled = true;
    QMetaObject::invokeMethod(this, [this, job, none] { emit finished(job, none); }, Qt::QueuedConnection);
}

bool TrackingWorker::busy() const { return jobs_.busy(); }

void TrackingWorker::runJob(uint64_t id, const TrackingRequest& request, const std::atomic<bool>& cancelled) {
    ProgressThrottle throttle;
    const auto report = [&](int done, int total) {
        if (!throttle.due(done, total)) return;
        QMetaObject::invokeMethod(this, [this, id, done, total] { emit progress(id, done, total); },
                                  Qt::QueuedConnection);
    };
    try {
        TrackingResult result = TrackingRun::run(request, report, cancelled);
        QMetaObject::invokeMethod(this, [this, id, result = std::move(result)] { emit finished(id, result); },
                                  Qt::QueuedConnection);
    } catch (...) {
        const TvnError error = errorInFlight("TrackingWorker");
        QMetaObject::invokeMethod(this, [this, id, error] { emit failed(id, error); }, Qt::QueuedConnection);
    }
}

}  // namespace tvn::motion
