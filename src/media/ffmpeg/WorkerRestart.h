#pragma once

#include "core/TvnError.h"

#include <functional>
#include <utility>

namespace tvn {

// Holds a playing worker stopped while something it reads changes (the
// position, the rate, the deinterlacer, the cache), and starts it again when
// the guard goes out of scope, whether the change succeeded or threw: a failed
// change must never leave a player stopped while it still reports playing.
// A worker that was not playing is stopped all the same (stopping an idle one
// does nothing) and stays stopped. A restart that throws leaves the player
// stopped and hands the failure, prefixed with the procedure that would have
// played on ("(Play)->"), to cannotPlay, which tells the host.
class WorkerRestart {
public:
    struct Player {
        std::function<void()> stop;
        std::function<void()> start;
        const char* procedure;                              // the play procedure, as the host knows it
        std::function<void(const TvnError&)> cannotPlay;    // after stop, when start threw
    };

    WorkerRestart(bool playing, Player player) : player_(std::move(player)), restart_(playing) {
        player_.stop();
    }
    ~WorkerRestart() {
        if (!restart_) return;
        try {
            player_.start();
        } catch (...) {
            // Paused on the frame shown, and saying so.
            player_.stop();
            player_.cannotPlay(errorInFlight(player_.procedure));
        }
    }
    WorkerRestart(const WorkerRestart&) = delete;
    WorkerRestart& operator=(const WorkerRestart&) = delete;

private:
    Player player_;
    bool restart_;
};

}  // namespace tvn
