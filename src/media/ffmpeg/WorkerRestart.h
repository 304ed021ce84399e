#pragma once

#include <functional>
#include <utility>

namespace tvn {

// Holds a playing worker stopped while something it reads changes (the
// position, the rate, the deinterlacer, the cache), and starts it again when
// the guard goes out of scope, whether the change succeeded or threw: a failed
// change must never leave a player stopped while it still reports playing.
// A worker that was not playing is stopped all the same (stopping an idle one
// does nothing) and stays stopped. The restart must not throw; a restart that
// cannot play reports that itself and leaves the player paused.
class WorkerRestart {
public:
    WorkerRestart(bool playing, const std::function<void()>& stop, std::function<void()> restart)
        : restart_(playing ? std::move(restart) : nullptr) {
        stop();
    }
    ~WorkerRestart() {
        if (restart_) restart_();
    }
    WorkerRestart(const WorkerRestart&) = delete;
    WorkerRestart& operator=(const WorkerRestart&) = delete;

private:
    std::function<void()> restart_;
};

}  // namespace tvn
