#pragma once

#include "core/TvnError.h"
#include "media/ffmpeg/ClipDecoder.h"
#include "media/ffmpeg/JobThread.h"
#include "media/ffmpeg/PlaybackPacer.h"

#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>

namespace tvn {

// Plays a ClipDecoder on a thread of its own, for the display engine and for
// each mixer source alike: decodes the next frame ahead while the current one
// is on screen, and hands each frame over when its PlaybackPacer says it is due.
// A frame that comes more than one frame period late is decoded but neither
// converted nor handed over (LateFrameGate), so a clip too heavy for the
// machine keeps to the clock and to its sound.
// A clip that cannot be decoded further before its end (damaged, cut short)
// ends the run on its last good frame, and the end says why.
// While it runs it alone touches the decoder; stop() returns once it no longer
// does, so the owner may then seek, step or close. The thread ("tvn-play") is
// made at the first start and waits between runs (JobThread).
class PlaybackWorker {
public:
    // Called on the worker thread for every frame due.
    using FrameSink = std::function<void(const VideoFrame& frame)>;
    // Called once on the worker thread when the run ends by itself: the
    // decoder's last frame, and why it stopped before the clip's end (the
    // decoder's failure, or data that ran out early), or nothing at the end.
    using EndSink = std::function<void(const VideoFrame& last, std::optional<TvnError> failure)>;

    // component names the failure's source ("VideoEngine", "VideoMixer").
    explicit PlaybackWorker(const char* component) : component_(component) {}
    ~PlaybackWorker();
    PlaybackWorker(const PlaybackWorker&) = delete;
    PlaybackWorker& operator=(const PlaybackWorker&) = delete;

    // Starts playing from the decoder's current frame (the next one is the first
    // handed over), timed by pacer, which starts at that frame.
    void start(ClipDecoder& decoder, PlaybackPacer pacer, FrameSink frameDue, EndSink ended);
    void stop();

private:
    void run(ClipDecoder* decoder, PlaybackPacer pacer, FrameSink frameDue, EndSink ended);
    std::optional<TvnError> endFailure(ClipDecoder& decoder, const std::exception_ptr& cause) const;

    const char* component_;
    std::mutex mutex_;                // guards stopRequested_
    std::condition_variable wake_;    // signalled when stopRequested_ is set
    bool stopRequested_ = false;
    JobThread thread_{"tvn-play"};  // last: it goes first, while what a run uses is still there
};

}  // namespace tvn
