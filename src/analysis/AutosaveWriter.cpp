#include "analysis/AutosaveWriter.h"

#include "analysis/AnalysisDocument.h"
#include "core/TvnError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <pthread.h>

namespace tvn::analysis {

AutosaveWriter::AutosaveWriter(std::function<void(const TvnError&)> onFailure)
    : onFailure_(std::move(onFailure)), thread_([this] { run(); }) {}

AutosaveWriter::~AutosaveWriter() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
        pending_.clear();
    }
    wake_.notify_all();
    thread_.join();
}

void AutosaveWriter::write(const QString& path, AnalysisSnapshot snapshot) { post({path, std::move(snapshot)}); }

void AutosaveWriter::remove(const QString& path) { post({path, std::nullopt}); }

void AutosaveWriter::post(Job job) {
    {
        const std::lock_guard lock(mutex_);
        for (Job& waiting : pending_) {
            if (waiting.path == job.path) {
                waiting = std::move(job);
                job.path.clear();
                break;
            }
        }
        if (!job.path.isEmpty()) pending_.push_back(std::move(job));
    }
    wake_.notify_all();
}

void AutosaveWriter::flush() {
    std::unique_lock lock(mutex_);
    idle_.wait(lock, [this] { return pending_.empty() && !busy_; });
}

void AutosaveWriter::run() {
    pthread_setname_np(pthread_self(), "tvn-autosave");
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stop_ || !pending_.empty(); });
        if (stop_) return;
        Job job = std::move(pending_.front());
        pending_.pop_front();
        busy_ = true;
        lock.unlock();
        try {
            if (job.snapshot) QDir().mkpath(QFileInfo(job.path).absolutePath());
            if (job.snapshot) AnalysisDocument::write(job.path, AnalysisDocument::encode(*job.snapshot));
            else QFile::remove(job.path);
        } catch (...) {
            if (onFailure_) onFailure_(errorInFlight("Analysis_autosave"));
        }
        lock.lock();
        busy_ = false;
        idle_.notify_all();
    }
}

}  // namespace tvn::analysis
