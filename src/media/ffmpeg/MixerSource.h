#pragma once

#include "core/TvnError.h"
#include "media/ffmpeg/ClipDecoder.h"
#include "media/ffmpeg/FrameMailbox.h"
#include "media/ffmpeg/PlaybackPacer.h"
#include "media/ffmpeg/PlaybackWorker.h"
#include "media/ffmpeg/WorkerRestart.h"

#include <QRectF>
#include <functional>
#include <optional>

namespace tvn {

// One clip of the mixer: its frame-exact decoder, its place in the mixed picture
// and, while it plays, a worker thread of its own that decodes the next frame
// and hands it over when the mixer's shared clock reaches it (a PlaybackWorker
// paced at rate 1 from the instant play was asked for).
//
// Threads: everything but the worker runs on the mixer's (UI) thread. While the
// worker runs it alone touches the decoder; pause/seek/close stop it first.
// The worker hands frames over through a FrameMailbox (the latest due frame
// wins) and calls the frame-due callback, which must only post to the UI thread.
class MixerSource {
public:
    using Clock = PlaybackPacer::Clock;
    // Called on the worker thread when a frame has become due.
    using FrameDue = std::function<void()>;
    // Called on the worker thread when the clip cannot be decoded further before
    // its end; the source then stays on its last good frame. Must only post.
    using Failure = std::function<void(const TvnError& error)>;

    explicit MixerSource(FrameDue frameDue, Failure failed = {});
    ~MixerSource();
    MixerSource(const MixerSource&) = delete;
    MixerSource& operator=(const MixerSource&) = delete;

    // Opens the clip and shows its first frame. Throws the decoder's TvnError.
    void open(const QString& fileName);
    const ClipInfo& info() const { return decoder_.info(); }
    const QString& fileName() const { return decoder_.fileName(); }

    // The frame whose interval contains ms becomes the shown one (a position
    // within 1 µs before a frame's start, or within half a millisecond where the
    // container rounds times to milliseconds, shows that frame). The worker,
    // if it ran, is restarted from there at clock time now.
    void seek(double ms, Clock::time_point now);
    // Starts advancing from the shown frame: the shown frame is the one at clock
    // time now, and frame f is due at now + (f.position - shown.position).
    // A source on its last frame stays there.
    void play(Clock::time_point now);
    // Stops advancing at clock time now: the source then shows the frame the
    // clock has reached (the one last handed over, or, when the worker fell
    // behind, the frame at the clock's position), and keeps it.
    void pause(Clock::time_point now);
    bool playing() const { return playing_; }
    void setDeinterlace(bool on);

    // Takes the frame the worker handed over, if any, and makes it the shown
    // one. Returns true when the shown frame changed.
    bool adoptDueFrame();
    const VideoFrame& shown() const { return shown_; }

    // Placement in display pixels; unset, the source fills the whole display.
    void setRect(const QRectF& rect) { rect_ = rect; rectSet_ = true; }
    bool hasRect() const { return rectSet_; }
    const QRectF& rect() const { return rect_; }
    void setAlpha(float alpha) { alpha_ = alpha; }
    float alpha() const { return alpha_; }

private:
    VideoFrame seekDecoder(double ms);
    void startWorker(Clock::time_point now);
    // Stops a playing worker for a change and plays on after it from clock time now.
    WorkerRestart restartAfterChange(Clock::time_point now);
    void stopWorker();

    ClipDecoder decoder_;
    FrameDue frameDue_;
    Failure failed_;
    VideoFrame shown_;
    QRectF rect_;
    bool rectSet_ = false;
    float alpha_ = 1.0f;
    bool playing_ = false;
    std::optional<PlaybackPacer> clock_;  // since the last play: the position the shared clock reaches
    FrameMailbox mailbox_;                // the latest frame the worker made due, not yet adopted
    PlaybackWorker worker_{"VideoMixer"};
};

}  // namespace tvn
