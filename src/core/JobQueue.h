#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <pthread.h>
#include <thread>
#include <utility>
#include <vector>

namespace tvn {

// Jobs run one after another on a named thread of their own, started with the
// first job, for workers whose owner (the UI thread) only queues a job and hears
// back. Each job has a number (from 1) and is handed to the runner with a flag
// that turns true when the job is cancelled; the runner watches it and returns
// early. A cancelled job still in the queue never runs: cancel() and
// cancelAll() give back its number so the owner can tell its end. Destroying
// the queue drops the queued jobs, cancels the one in hand and waits for it.
template <class Job>
class JobQueue {
public:
    using Runner = std::function<void(uint64_t id, const Job& job, const std::atomic<bool>& cancelled)>;

    // threadName: as the system shows it (15 characters at most).
    JobQueue(const char* threadName, Runner runner) : threadName_(threadName), runner_(std::move(runner)) {}
    ~JobQueue() {
        {
            const std::scoped_lock lock(mutex_);
            stopping_ = true;
            queue_.clear();
        }
        cancelRunning_ = true;
        wake_.notify_all();
        if (thread_.joinable()) thread_.join();
    }
    JobQueue(const JobQueue&) = delete;
    JobQueue& operator=(const JobQueue&) = delete;

    // Queues a job; returns its number.
    uint64_t push(Job job) {
        uint64_t id = 0;
        {
            const std::scoped_lock lock(mutex_);
            id = nextId_++;
            queue_.push_back({id, std::move(job)});
            if (!thread_.joinable()) thread_ = std::thread([this] { work(); });
        }
        wake_.notify_one();
        return id;
    }

    // Cancels job id: the one in hand through its flag (it ends as its runner
    // decides); a queued one is dropped, and then the answer is true.
    bool cancel(uint64_t id) {
        const std::scoped_lock lock(mutex_);
        if (running_ == id) {
            cancelRunning_ = true;
            return false;
        }
        for (auto it = queue_.begin(); it != queue_.end(); ++it) {
            if (it->id != id) continue;
            queue_.erase(it);
            return true;
        }
        return false;
    }

    // Cancels every job; returns the numbers of the queued ones dropped.
    std::vector<uint64_t> cancelAll() {
        const std::scoped_lock lock(mutex_);
        if (running_ != 0) cancelRunning_ = true;
        std::vector<uint64_t> dropped;
        for (const Queued& q : queue_) dropped.push_back(q.id);
        queue_.clear();
        return dropped;
    }

    bool busy() const {
        const std::scoped_lock lock(mutex_);
        return running_ != 0 || !queue_.empty();
    }

private:
    struct Queued {
        uint64_t id = 0;
        Job job;
    };

    void work() {
        pthread_setname_np(pthread_self(), threadName_);
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
            runner_(queued.id, queued.job, cancelRunning_);
            const std::scoped_lock lock(mutex_);
            running_ = 0;
        }
    }

    const char* threadName_;
    Runner runner_;
    mutable std::mutex mutex_;      // guards queue_, running_, stopping_, nextId_
    std::condition_variable wake_;  // signalled when a job is queued or the queue stops
    std::deque<Queued> queue_;
    uint64_t running_ = 0;  // the job in hand, 0 when idle
    bool stopping_ = false;
    uint64_t nextId_ = 1;
    std::atomic<bool> cancelRunning_{false};
    std::thread thread_;  // started with the first job
};

// Lets a worker's progress through at most every 50 ms, and its last step
// always: a queued call per frame at hundreds of frames a second would only
// crowd the owner's event loop.
class ProgressThrottle {
public:
    bool due(int64_t done, int64_t total) {
        const auto now = std::chrono::steady_clock::now();
        if (done < total && now - last_ < std::chrono::milliseconds(50)) return false;
        last_ = now;
        return true;
    }

private:
    std::chrono::steady_clock::time_point last_ = std::chrono::steady_clock::now() - std::chrono::seconds(1);
};

}  // namespace tvn
