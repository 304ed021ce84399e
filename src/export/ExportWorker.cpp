#include "export/ExportWorker.h"

#include <QMetaObject>

namespace tvn {

ExportWorker::ExportWorker(QObject* parent)
    : QObject(parent), jobs_("tvn-export", [this](uint64_t id, const ExportRun::Job& job, const std::atomic<bool>& cancelled) {
          runJob(id, job, cancelled);
      }) {}

ExportWorker::~ExportWorker() = default;

uint64_t ExportWorker::start(ExportRun::Job job) { return jobs_.push(std::move(job)); }

void ExportWorker::cancelAll() {
    for (const uint64_t id : jobs_.cancelAll())
        QMetaObject::invokeMethod(this, [this, id] { emit finished(id, true); }, Qt::QueuedConnection);
}

bool ExportWorker::busy() const { return jobs_.busy(); }

void ExportWorker::runJob(uint64_t id, const ExportRun::Job& job, const std::atomic<bool>& cancelled) {
    ProgressThrottle throttle;
    const auto report = [&](int64_t done, int64_t total) {
        if (!throttle.due(done, total)) return;
        QMetaObject::invokeMethod(this, [this, id, done, total] { emit progress(id, done, total); },
                                  Qt::QueuedConnection);
    };
    try {
        const bool complete = ExportRun::run(job, report, cancelled);
        QMetaObject::invokeMethod(this, [this, id, complete] { emit finished(id, !complete); }, Qt::QueuedConnection);
    } catch (...) {
        const TvnError error = errorInFlight("ExportWorker");
        QMetaObject::invokeMethod(this, [this, id, error] { emit failed(id, error); }, Qt::QueuedConnection);
    }
}

}  // namespace tvn
