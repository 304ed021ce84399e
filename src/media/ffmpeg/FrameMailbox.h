#pragma once

#include "core/TvnError.h"
#include "media/ffmpeg/ClipDecoder.h"

#include <cstdint>
#include <mutex>
#include <optional>
#include <utility>

namespace tvn {

// Where a playback worker leaves the frames it has made due for the thread that
// shows them: one frame, the latest wins (a reader that fell behind skips to the
// newest picture instead of showing a backlog). The end of a run travels with
// its last frame, and the reason it ended early with that, so the reader hears
// why before it hears of the end.
//
// Each run posts under the generation it started with; close() moves to a new
// generation and drops what waits, so a frame of a stopped run is never shown.
// The worker calls post(); the reader calls the rest, all from its own thread.
class FrameMailbox {
public:
    struct Letter {
        VideoFrame frame;
        bool atEnd = false;                // the run ended with this frame
        std::optional<TvnError> failure;   // with atEnd: why it ended before the clip's end
    };

    // The generation a run starting now posts under.
    uint64_t generation() const;
    // Leaves frame for the reader unless the run is stale. True when the box was
    // empty before: the caller then wakes the reader (one wake-up per pick-up).
    bool post(uint64_t generation, const VideoFrame& frame);
    // Leaves a run's last frame and the reason it ended early, if it did.
    bool postEnd(uint64_t generation, const VideoFrame& last, std::optional<TvnError> failure);
    // What waits, once; nothing when the box is empty.
    std::optional<Letter> take();
    // Drops what waits and everything the runs started so far still post.
    void close();

private:
    bool put(uint64_t generation, const VideoFrame& frame, bool atEnd, std::optional<TvnError> failure);

    mutable std::mutex mutex_;  // guards generation_, letter_, full_
    uint64_t generation_ = 0;
    Letter letter_;
    bool full_ = false;
};

}  // namespace tvn
