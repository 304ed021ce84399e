#pragma once

#include "core/JobQueue.h"
#include "core/TvnError.h"
#include "export/ExportRun.h"

#include <QObject>
#include <atomic>
#include <cstdint>

namespace tvn {

// Runs video exports one after another on the thread "tvn-export", behind a
// queue, so the UI thread only queues a job and hears back: progress (at most
// every 50 ms), then exactly one of finished (complete, or cancelled) or failed,
// each raised on the owner's thread as a queued call. The worker touches only
// its job (the copied drawing, its own decoder and writer). Destroying it
// cancels the job in hand and waits for the thread (at most a frame).
class ExportWorker : public QObject {
    Q_OBJECT
public:
    explicit ExportWorker(QObject* parent = nullptr);
    ~ExportWorker() override;

    // Queues a job; returns its number (from 1).
    uint64_t start(ExportRun::Job job);
    // Cancels the queued and running jobs; each ends with finished(job, true).
    void cancelAll();
    bool busy() const;

signals:
    void progress(quint64 job, qint64 framesDone, qint64 framesTotal);
    void finished(quint64 job, bool cancelled);
    void failed(quint64 job, const tvn::TvnError& error);

private:
    void runJob(uint64_t id, const ExportRun::Job& job, const std::atomic<bool>& cancelled);

    JobQueue<ExportRun::Job> jobs_;  // last: its thread ends before the rest goes
};

}  // namespace tvn
