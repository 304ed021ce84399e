#pragma once

#include "control/ControlState.h"
#include "lesson/LessonFrameComposer.h"

#include <QString>
#include <QVariant>
#include <cstdint>

namespace tvn {

class AudioRecorder;
class FailureReport;
class LessonAudioSelection;
class Platform;
class Surface;
class SurfaceView;
class Timer;
class VideoEngine;
class VideoMixer;

// Lesson recording: start, the frame loop, pause, resume, stop.
//
// While a lesson runs, LessonTimer ticks twice per frame period. Every tick composes
// what the control shows (film strip, side-by-side pair, the clip, or the mixed
// overlay) into the lesson frame and appends it to the lesson AVI through the recording engine as
// many times as the wall clock demands, so the AVI's frame count follows real time
// even when ticks come late. Time is the platform's millisecond tick. A pause or
// stop tells the audio recorder how long the stretch's pictures last (frames
// appended since the start or resume, over fps), so each stretch of voice is
// cut to its pictures and the two stay in step through any number of pauses.
//
// The frame size is the open clip's size, taken at lesson start. A lesson started
// before any clip is open has none; its ticks compose at 640 x 480, the size the
// recording engine records such a lesson at, so a clip opened later is recorded
// (with every frame that fell due meanwhile) instead of an empty picture.
//
// A start checks everything before it deletes the old lesson files: a lesson
// file (or its sound file) that is the clip shown or the second clip laid over
// it is refused (PathFileAccess), and the recording engine is asked whether it
// would take the capture (frame rate, encoder, folder) before anything is
// deleted. A step that fails after the capture started stops it again, so a
// failed start leaves no capture running.
//
// Failures: TVN_StartLesson, TVN_ResumeLesson, TVN_PauseLesson and TVN_StopLesson
// have no handler of their own: a component error reaches the host unchanged,
// except in the steps documented to ignore errors (deleting old files, starting
// the audio, applying the audio selection, everything in a tick). The first frame the recording engine refuses in a lesson (a full disk)
// is reported through the control's failed() and kept as its
// lastNotificationError(); the ticks go on. TVN_StopLesson stops the timer, the
// sound and the video even when one of them fails, leaves the lesson stopped
// (TVN_LessonInProgress False, so the next start works) and then raises the
// first failure.
class LessonRecorder {
public:
    // The host's properties it reads (const) and writes.
    struct Properties {
        const QString& TVN_videoFileName;
        bool& TVN_LessonInProgress;
    };

    // What it records from and into.
    struct Drives {
        Platform& platform;  // the desktop: ticks, pending events, files
        VideoEngine& display;  // the display engine: the clip the user sees
        VideoEngine& recordingEngine;  // the recording engine: lesson AVI and compression, never shown
        VideoMixer& mixer;  // shown instead of the display while a second clip is overlaid
        Surface& lessonFrame;  // the picture each lesson tick composes and appends
        Surface& filmStripPicture;  // the film strip's picture
        Surface& secondPicture;  // the second picture TVN_SetSecondIPic hands in
        SurfaceView& filmStripPanel;  // the panel that shows the film strip's picture
        Timer& lessonTimer;  // the lesson's frame loop
        AudioRecorder& audioRecorder;  // the lesson's sound capture
    };

    // audioSelection: applied again at every start.
    LessonRecorder(Properties props, Drives drives, const OverlaySources& overlaySources,
                   LessonAudioSelection& audioSelection, FailureReport& failures);

    // Most frames one tick appends. The catch-up loop counts with a 16-bit counter
    // (0..32767); a larger backlog (a tick more than 32768 frame periods late, e.g.
    // 18 minutes at 30 fps) is written over the following ticks instead of in one
    // go, so a single tick never blocks the UI thread for long and the file still
    // catches up with the clock.
    static constexpr int32_t MaxFramesPerTick = 32768;

    bool TVN_StartLesson(const QString& AviFileName, int32_t fps);
    void LessonTimerTick();
    QVariant TVN_PauseLesson();
    QVariant TVN_ResumeLesson();
    QVariant TVN_StopLesson();

    // Read-only view of the frame bookkeeping, for diagnostics and tests.
    int32_t lessonFps() const { return lessonFps_; }
    uint32_t lessonStartTick() const { return lessonStartTick_; }
    int32_t lessonFramesWritten() const { return lessonFramesWritten_; }

    // Frames due after `elapsedMs` at `fps`: elapsed / 1000 x fps rounded half to
    // even, computed exactly in integers so that a true half (4100 ms at 15 fps is
    // 61.5) is a half and not 61.4999... of a floating-point product.
    static int64_t framesDue(uint32_t elapsedMs, int32_t fps);

private:
    void startAudioIgnoringErrors();
    void endVoiceStretchWithThePictures();
    // Refuses lesson files that are a clip on screen (PathFileAccess).
    void refuseClipsOnScreen(const QString& aviFileName) const;

    Properties props_;
    Drives drives_;
    const OverlaySources& overlaySources_;
    LessonAudioSelection& audioSelection_;
    FailureReport& failures_;
    LessonFrameComposer composer_;
    int32_t lessonFps_ = 0;          // frames per second of the running lesson, at least 1
    uint32_t lessonStartTick_ = 0;   // platform tick at start and at every resume (wraps at 2^32)
    int32_t lessonFramesWritten_ = 0;  // frames appended since lessonStartTick_
    bool refusedFrameReported_ = false;  // the lesson's first refused frame went out through failed()
};

}  // namespace tvn
