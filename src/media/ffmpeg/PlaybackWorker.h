#pragma once

#include "core/TvnError.h"
#include "media/ffmpeg/ClipDecoder.h"
#include "media/ffmpeg/PlaybackPacer.h"

#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

namespace tvn {

// Plays a ClipDecoder on a thread of its own: decodes the next frame ahead while
// the current one is on screen, and hands each frame over when it is due
// (PlaybackPacer: the clip's timestamps divided by the rate, against the steady
// clock or, when the clip's sound plays, against the sound's clock).
// A frame that comes more than one frame period late is decoded but neither
// converted nor handed over (LateFrameGate), so a clip too heavy for the
// machine keeps to the clock and to its sound.
// A clip that cannot be decoded further before its end (damaged, cut short)
// ends the run on its last good frame, and the failure is reported first.
// While it runs it alone touches the decoder; stop() returns once it no longer
// does, so the owner may then seek, step or close.
class PlaybackWorker {
public:
    // Called on the worker thread for every frame due; atEnd is true with the
    // clip's last frame, after which the worker ends by itself.
    using FrameSink = std::function<void(const VideoFrame& frame, bool atEnd)>;
    // Called on the worker thread when decoding fails during play, just before
    // the last frame is handed over with atEnd.
    using FailureSink = std::function<void(const TvnError& error)>;

    PlaybackWorker() = default;
    ~PlaybackWorker();
    PlaybackWorker(const PlaybackWorker&) = delete;
    PlaybackWorker& operator=(const PlaybackWorker&) = delete;

    // Starts playing from the decoder's current frame (the next one is the first handed over).
    void start(ClipDecoder& decoder, double rate, FrameSink sink, FailureSink failed = {},
               PlaybackPacer::SoundClock sound = {});
    void stop();

    // Why a decoder that gives no further frame stopped before the clip's end,
    // or nothing when it reached the end: the decoder's own failure (cause) or
    // data that ran out early. The source is "(Play)->" and the component's name.
    static std::optional<TvnError> endFailure(ClipDecoder& decoder, const std::exception_ptr& cause,
                                              const char* component);

private:
    void run(ClipDecoder* decoder, double rate, FrameSink sink, FailureSink failed, PlaybackPacer::SoundClock sound);

    std::thread thread_;
    std::mutex mutex_;                // guards stopRequested_
    std::condition_variable wake_;    // signalled when stopRequested_ is set
    bool stopRequested_ = false;
};

}  // namespace tvn
