#include "export/ExportWorker.h"

#include <QMetaObject>
#include <chrono>
#include <pthread.h>

namespace tvn {

ExportWorker::ExportWorker(QObject* parent) : QObject(parent) {}

ExportWorker::~ExportWorker() {
    {
        std::scoped_lock lock(mutex_);
        stopping_ = true;
        queue_.clear();
    }
    cancelRunning_ = true;
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
}

uint64_t ExportWorker::start(ExportRun::Job job) {
    uint64_t id = 0;
    {
        std::scoped_lock lock(mutex_);
        id = nextId_++;
        queue_.push_back({id, std::move(job)});
        if (!thread_.joinable()) thread_ = std::thread([this] { work(); });
    }
    wake_.notify_one();
    return id;
}

void ExportWorker::cancelAll() {
    std::scoped_lock lock(mutex_);
    if (running_ != 0) cancelRunning_ = true;
    for (const Queued& q : queue_) {
        const uint64_t id = q.id;
        QMetaObject::invokeMethod(this, [this, id] { emit finished(id, true); }, Qt::QueuedConnection);
    }
    queue_.clear();
}

bool ExportWorker::busy() const {
    std::scoped_lock lock(mutex_);
    return running_ != 0 || !queue_.empty();
}

void ExportWorker::work() {
    pthread_setname_np(pthread_self(), "tvn-export");
    for (;;) {
        Queued queued;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
            if (stopping_) return;
            queued = std::move(queue_.front());
            queue_.pop_front();
            running_ = queued.id;
            cancelRunning_ = false;
        }
        runJob(queued);
        std::scoped_lock lock(mutex_);
        running_ = 0;
    }
}

void ExportWorker::runJob(const Queued& queued) {
    const uint64_t id = queued.id;
    // A queued call per frame at a hundred frames a second would only crowd the UI thread's loop.
    auto last = std::chrono::steady_clock::now() - std::chrono::seconds(1);
    const auto report = [&](int64_t done, int64_t total) {
        const auto now = std::chrono::steady_clock::now();
        if (done < total && now - last < std::chrono::milliseconds(50)) return;
        last = now;
        QMetaObject::invokeMethod(this, [this, id, done, total] { emit progress(id, done, total); },
                                  Qt::QueuedConnection);
    };
    try {
        const bool complete = ExportRun::run(queued.job, report, cancelRunning_);
        QMetaObject::invokeMethod(this, [this, id, complete] { emit finished(id, !complete); }, Qt::QueuedConnection);
    } catch (...) {
        const TvnError error = errorInFlight("ExportWorker");
        QMetaObject::invokeMethod(this, [this, id, error] { emit failed(id, error); }, Qt::QueuedConnection);
    }
}

}  // namespace tvn
