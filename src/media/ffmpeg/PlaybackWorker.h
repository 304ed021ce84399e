#pragma once

#include "media/ffmpeg/ClipDecoder.h"

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace tvn {

// Plays a ClipDecoder on a thread of its own: decodes the next frame ahead while
// the current one is on screen, and hands each frame over at its presentation
// time (the clip's timestamps divided by the rate, against a steady clock).
// A frame that comes more than one frame period late is decoded but neither
// converted nor handed over (LateFrameGate), so a clip too heavy for the
// machine keeps to the clock and to its sound.
// While it runs it alone touches the decoder; stop() returns once it no longer
// does, so the owner may then seek, step or close.
class PlaybackWorker {
public:
    // Called on the worker thread for every frame due; atEnd is true with the
    // clip's last frame, after which the worker ends by itself.
    using FrameSink = std::function<void(const VideoFrame& frame, bool atEnd)>;

    PlaybackWorker() = default;
    ~PlaybackWorker();
    PlaybackWorker(const PlaybackWorker&) = delete;
    PlaybackWorker& operator=(const PlaybackWorker&) = delete;

    // Starts playing from the decoder's current frame (the next one is the first handed over).
    void start(ClipDecoder& decoder, double rate, FrameSink sink);
    void stop();

private:
    void run(ClipDecoder* decoder, double rate, FrameSink sink);

    std::thread thread_;
    std::mutex mutex_;                // guards stopRequested_
    std::condition_variable wake_;    // signalled when stopRequested_ is set
    bool stopRequested_ = false;
};

}  // namespace tvn
