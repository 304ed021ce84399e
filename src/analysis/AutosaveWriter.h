#pragma once

#include "analysis/AnalysisSnapshot.h"

#include <condition_variable>
#include <functional>
#include <mutex>
#include <deque>
#include <optional>
#include <thread>

namespace tvn {

class TvnError;

namespace analysis {

// The autosave's worker: encodes snapshots of the analysis and writes them to
// their recovery file on its own thread ("tvn-autosave"), so that the UI thread
// only copies plain data. One job waits per file: a newer snapshot replaces
// one not yet written (only the newest state matters), and a removal replaces
// a waiting write of the same file; jobs of different files keep their order. Failures go to onFailure, called on the
// worker's thread.
class AutosaveWriter {
public:
    explicit AutosaveWriter(std::function<void(const TvnError&)> onFailure);
    // Finishes the job in hand and drops the ones waiting.
    ~AutosaveWriter();
    AutosaveWriter(const AutosaveWriter&) = delete;
    AutosaveWriter& operator=(const AutosaveWriter&) = delete;

    void write(const QString& path, AnalysisSnapshot snapshot);
    void remove(const QString& path);
    // Returns when nothing is waiting and nothing is being written.
    void flush();

private:
    struct Job {
        QString path;
        std::optional<AnalysisSnapshot> snapshot;  // none: remove the file
    };
    void run();
    void post(Job job);

    std::function<void(const TvnError&)> onFailure_;
    std::mutex mutex_;  // guards pending_, busy_ and stop_
    std::condition_variable wake_;
    std::condition_variable idle_;
    std::deque<Job> pending_;
    bool busy_ = false;
    bool stop_ = false;
    std::thread thread_;
};

}  // namespace analysis
}  // namespace tvn
