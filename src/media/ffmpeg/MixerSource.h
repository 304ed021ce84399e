#pragma once

#include "core/TvnError.h"
#include "media/ffmpeg/ClipDecoder.h"

#include <QRectF>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

namespace tvn {

// One clip of the mixer: its frame-exact decoder, its place in the mixed picture
// and, while it plays, a worker thread of its own that decodes the next frame
// and hands it over when the mixer's shared clock reaches it.
//
// Threads: everything but the worker runs on the mixer's (UI) thread. While the
// worker runs it alone touches the decoder; pause/seek/close stop it first.
// The worker hands frames over through a one-frame mailbox (the latest due frame
// wins) and calls the frame-due callback, which must only post to the UI thread.
class MixerSource {
public:
    using Clock = std::chrono::steady_clock;
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
    // Starts the worker again after a change; a failure leaves the source paused and is reported.
    void restartWorker(Clock::time_point now) noexcept;
    void endRun(const std::exception_ptr& cause);
    void stopWorker();
    void run(uint64_t generation, Clock::time_point anchor, double anchorPositionMs);

    ClipDecoder decoder_;
    FrameDue frameDue_;
    Failure failed_;
    VideoFrame shown_;
    QRectF rect_;
    bool rectSet_ = false;
    float alpha_ = 1.0f;
    bool playing_ = false;
    Clock::time_point anchorTime_;  // while playing: the clock time at which anchorPositionMs_ was shown
    double anchorPositionMs_ = 0;

    std::thread worker_;
    std::mutex mutex_;               // guards stopRequested_, generation_, due_, duePending_
    std::condition_variable wake_;   // signalled when stopRequested_ is set
    bool stopRequested_ = false;
    uint64_t generation_ = 0;        // bumped by every stop: frames of an older run are dropped
    VideoFrame due_;                 // the latest frame handed over and not yet adopted
    bool duePending_ = false;
};

}  // namespace tvn
