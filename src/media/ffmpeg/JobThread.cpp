#include "media/ffmpeg/JobThread.h"

#include <pthread.h>

namespace tvn {

JobThread::~JobThread() {
    {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return !busy_; });
        quit_ = true;
    }
    changed_.notify_all();
    if (thread_.joinable()) thread_.join();
}

void JobThread::run(std::function<void()> job) {
    {
        std::scoped_lock lock(mutex_);
        job_ = std::move(job);
        busy_ = true;
    }
    changed_.notify_all();
    if (!thread_.joinable()) thread_ = std::thread(&JobThread::loop, this);
}

void JobThread::wait() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return !busy_; });
}

void JobThread::loop() {
    pthread_setname_np(pthread_self(), name_);
    for (;;) {
        std::function<void()> job;
        {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [this] { return quit_ || job_; });
            if (quit_) return;
            job = std::move(job_);
            job_ = nullptr;
        }
        job();
        job = nullptr;  // what the job holds goes before its owner hears it ended
        {
            std::scoped_lock lock(mutex_);
            busy_ = false;
        }
        changed_.notify_all();
    }
}

}  // namespace tvn
