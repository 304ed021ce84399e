#pragma once

#include "core/TvnError.h"
#include "export/ExportRun.h"

#include <QObject>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>

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
    struct Queued {
        uint64_t id = 0;
        ExportRun::Job job;
    };
    void work();
    void runJob(const Queued& queued);

    mutable std::mutex mutex_;  // guards queue_, running_, stopping_, nextId_
    std::condition_variable wake_;
    std::deque<Queued> queue_;
    uint64_t running_ = 0;  // the job in hand, 0 when idle
    bool stopping_ = false;
    uint64_t nextId_ = 1;
    std::atomic<bool> cancelRunning_{false};
    std::thread thread_;  // started on the first job
};

}  // namespace tvn
