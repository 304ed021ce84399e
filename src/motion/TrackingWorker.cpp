#include "motion/TrackingWorker.h"

#include <QMetaObject>
#include <chrono>
#include <pthread.h>

namespace tvn::motion {

TrackingWorker::TrackingWorker(QObject* parent) : QObject(parent) {}

TrackingWorker::~TrackingWorker() {
    {
        std::scoped_lock lock(mutex_);
        stopping_ = true;
        queue_.clear();
    }
    cancelRunning_ = true;
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
}

uint64_t TrackingWorker::track(const TrackingRequest& request) {
    uint64_t id = 0;
    {
        std::scoped_lock lock(mutex_);
        id = nextId_++;
        queue_.push_back({id, request});
        if (!thread_.joinable()) thread_ = std::thread([this] { work(); });
    }
    wake_.notify_one();
    return id;
}

void TrackingWorker::cancel(uint64_t job) {
    std::scoped_lock lock(mutex_);
    if (running_ == job) {
        cancelRunning_ = true;
        return;
    }
    for (auto it = queue_.begin(); it != queue_.end(); ++it) {
        if (it->id != job) continue;
        TrackingResult none;
        none.cancelled = true;
        queue_.erase(it);
        QMetaObject::invokeMethod(this, [this, job, none] { emit finished(job, none); }, Qt::QueuedConnection);
        return;
    }
}

bool TrackingWorker::busy() const {
    std::scoped_lock lock(mutex_);
    return running_ != 0 || !queue_.empty();
}

void TrackingWorker::work() {
    pthread_setname_np(pthread_self(), "tvn-tracking");
    for (;;) {
        Job job;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
            if (stopping_) return;
            job = std::move(queue_.front());
            queue_.pop_front();
            running_ = job.id;
            cancelRunning_ = false;
        }
        runJob(job);
        std::scoped_lock lock(mutex_);
        running_ = 0;
    }
}

void TrackingWorker::runJob(const Job& job) {
    const uint64_t id = job.id;
    // Progress reaches the owner's thread at most every 50 ms: a queued call per
    // frame at hundreds of frames a second would only crowd its event loop.
    auto last = std::chrono::steady_clock::now() - std::chrono::seconds(1);
    const auto report = [&](int done, int total) {
        const auto now = std::chrono::steady_clock::now();
        if (done < total && now - last < std::chrono::milliseconds(50)) return;
        last = now;
        QMetaObject::invokeMethod(this, [this, id, done, total] { emit progress(id, done, total); },
                                  Qt::QueuedConnection);
    };
    try {
        TrackingResult result = TrackingRun::run(job.request, report, cancelRunning_);
        QMetaObject::invokeMethod(this, [this, id, result = std::move(result)] { emit finished(id, result); },
                                  Qt::QueuedConnection);
    } catch (...) {
        const TvnError error = errorInFlight("TrackingWorker");
        QMetaObject::invokeMethod(this, [this, id, error] { emit failed(id, error); }, Qt::QueuedConnection);
    }
}

}  // namespace tvn::motion
