#include "lesson/LessonRecorder.h"

#include "control/FailureReport.h"
#include "core/LogCategories.h"
#include "core/Numeric.h"
#include "core/Picture.h"
#include "core/TvnError.h"
#include "lesson/LessonAudioSelection.h"
#include "media/AudioRecorder.h"
#include "media/VideoEngine.h"
#include "media/VideoMixer.h"
#include "platform/Platform.h"
#include "platform/Surface.h"
#include "platform/SurfaceView.h"
#include "platform/Timer.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <optional>
#include <sys/stat.h>

namespace tvn {

namespace {

// The lesson's sound file is always the video file's name with ".wav" appended
// (a.avi records its sound into a.avi.wav); compression builds the same name.
QString soundFileOf(const QString& aviFileName) { return aviFileName + QStringLiteral(".wav"); }

// The audio recorder's channel count and sample rate for a lesson's voice.
constexpr int32_t LessonAudioChannels = 2;
constexpr int32_t LessonAudioRate = 44100;
// Frame size composed when the lesson has none (started before any clip was
// open); the recording engine records such a lesson at this size.
constexpr int UnsizedFrameWidth = 640;
constexpr int UnsizedFrameHeight = 480;
// Recorder option code set right before each start.
constexpr int32_t RecordOptionBeforeStart = 28;

// True when the two names are one file: the same file on disk (through links
// and relative names) or, for names of nothing there yet, the same clean path.
bool sameFile(const QString& a, const QString& b) {
    if (a.isEmpty() || b.isEmpty()) return false;
    const QFileInfo fa(a), fb(b);
    if (fa.exists() && fb.exists()) {
        struct stat sa {}, sb {};
        if (::stat(QFile::encodeName(a).constData(), &sa) == 0 && ::stat(QFile::encodeName(b).constData(), &sb) == 0)
            return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
        return fa.canonicalFilePath() == fb.canonicalFilePath();
    }
    return QDir::cleanPath(fa.absoluteFilePath()) == QDir::cleanPath(fb.absoluteFilePath());
}

}  // namespace

LessonRecorder::LessonRecorder(Properties props, Drives drives, const OverlaySources& overlaySources,
                               LessonAudioSelection& audioSelection, FailureReport& failures)
    : props_(props),
      drives_(drives),
      overlaySources_(overlaySources),
      audioSelection_(audioSelection),
      failures_(failures),
      composer_(LessonFrameComposer::Drives{drives.lessonFrame, drives.display, drives.mixer, drives.filmStripPicture,
                                            drives.secondPicture, drives.filmStripPanel}) {}

int64_t LessonRecorder::framesDue(uint32_t elapsedMs, int32_t fps) {
    // elapsed < 2^32 and fps < 2^31, so the product fits in 63 bits.
    const int64_t scaled = static_cast<int64_t>(elapsedMs) * fps;
    int64_t due = scaled / 1000;
    const int64_t rest = scaled % 1000;
    if (rest > 500 || (rest == 500 && (due % 2) != 0)) ++due;
    return due;
}

bool LessonRecorder::TVN_StartLesson(const QString& AviFileName, int32_t fps) {
    // No handler: engine and recorder errors reach the host unchanged and the
    // lesson does not start (TVN_LessonInProgress is set only near the end).
    if (props_.TVN_LessonInProgress) return false;
    // Checked before anything is touched: a lesson never records over a clip on screen.
    refuseClipsOnScreen(AviFileName);
    if (fps < 1) fps = 1;
    lessonFps_ = fps;

    VideoEngine& rec = drives_.recordingEngine;
    rec.SetRecordFlag28(true);
    rec.SetVisible(false);
    rec.SetCaptureFileName(QString());
    rec.SetRate(1.0);
    rec.Call59();
    rec.Stop();

    // The recording frame size is the open clip's size in pixels (0 x 0 before any
    // clip is open: the engine then records at its default size). The engine's
    // Width/Height carry the pixel counts from here on; every tick reads them back.
    const int32_t w = drives_.display.VideoWidth();
    const int32_t h = drives_.display.VideoHeight();
    rec.SetWidth(w);
    rec.SetHeight(h);
    rec.SetOption43(1);
    rec.SetOption30(1);
    const int32_t frameW = toInt32(rec.Width());
    const int32_t frameH = toInt32(rec.Height());
    rec.SetFrameSize(frameW, frameH);

    Surface& frame = drives_.lessonFrame;
    frame.setUnit(Surface::Unit::Pixels);
    frame.setSize(w, h);
    frame.setBackColor(0);

    // The last encoder whose name starts with "dv v" (any case) wins; none: -1,
    // which leaves the choice to the engine.
    int32_t encoder = -1;
    const int32_t encoders = rec.VideoCompressorCount();
    for (int32_t i = 0; i < encoders; ++i) {
        if (rec.VideoCompressorName(i).left(4).toLower() == QLatin1String("dv v")) encoder = i;
    }
    rec.SetVideoCompressor(encoder);
    rec.SetCaptureFileName(AviFileName);

    // The old lesson files go only once the engine has said it would take the
    // capture, so a start it refuses (a frame rate beyond it, no such folder)
    // deletes nothing.
    rec.checkFileCapture(static_cast<double>(fps));
    const QString soundFile = soundFileOf(AviFileName);
    ignoringErrors([&] { drives_.platform.deleteFile(AviFileName); });
    ignoringErrors([&] { drives_.platform.deleteFile(soundFile); });

    rec.StartFileCapture(static_cast<double>(fps));
    try {
        rec.Call154(true);

        audioSelection_.apply();

        AudioRecorder& audio = drives_.audioRecorder;
        audio.StopRecord();
        audio.SetSetting1(0);
        audio.SetFileName(soundFile);
        audio.SetSetting2(0);
        audio.SetSetting3(0);
    } catch (...) {
        // The start fails as a whole: no capture is left running behind it.
        ignoringErrors([&] { rec.StopFileCapture(); });
        throw;
    }

    // Two ticks per frame period: 30 fps gives 17 ms, 25 fps 20 ms, 40 fps 12 ms.
    // Above 1000 fps the half period rounds to 0, which would spin the UI thread;
    // it ticks every millisecond instead and the catch-up keeps the count true.
    drives_.lessonTimer.setInterval(std::max(1, toInt32(1000.0 / fps / 2.0)));

    props_.TVN_LessonInProgress = true;
    lessonStartTick_ = drives_.platform.tickMs();
    lessonFramesWritten_ = 0;
    refusedFrameReported_ = false;
    drives_.lessonTimer.setEnabled(true);

    // The voice starts last, after the clock; a lesson whose audio fails to start
    // still records its video.
    startAudioIgnoringErrors();
    return true;
}

void LessonRecorder::refuseClipsOnScreen(const QString& aviFileName) const {
    const struct {
        QString clip;
        const char* what;
    } onScreen[] = {{props_.TVN_videoFileName, "the clip being shown"},
                    {overlaySources_.overlayActive ? overlaySources_.overlayFileName : QString(), "the second clip laid over it"}};
    for (const QString& file : {aviFileName, soundFileOf(aviFileName)})
        for (const auto& [clip, what] : onScreen)
            if (sameFile(file, clip))
                throw TvnError(err::PathFileAccess,
                               QStringLiteral("Cannot record a lesson into '%1': it is %2; nothing was deleted")
                                   .arg(file, QLatin1String(what)),
                               QStringLiteral("TVN_StartLesson"));
}

void LessonRecorder::startAudioIgnoringErrors() {
    AudioRecorder& audio = drives_.audioRecorder;
    ignoringErrors([&] { audio.SetRecordOption(RecordOptionBeforeStart); });
    if (!ignoringErrors([&] { audio.StartRecord(LessonAudioChannels, LessonAudioRate); }))
        qCWarning(lcLesson, "The lesson's audio recording did not start; the lesson records video only");
}

void LessonRecorder::LessonTimerTick() {
    // Before a clip is open nothing is composed or appended, but time runs on: the
    // first tick after a clip opens appends every frame that fell due meanwhile.
    if (props_.TVN_videoFileName.isEmpty()) return;

    // From here every failure is ignored; a failing step is skipped.
    VideoEngine& rec = drives_.recordingEngine;
    int w = 0, h = 0;
    ignoringErrors([&] { w = toInt32(rec.Width()); });
    ignoringErrors([&] { h = toInt32(rec.Height()); });

    Surface& frame = drives_.lessonFrame;
    if (w <= 0 || h <= 0) {
        // A lesson started before any clip was open has no frame size: compose at
        // the size the engine then records, so a clip opened later is recorded
        // rather than painted into an empty rectangle.
        w = UnsizedFrameWidth;
        h = UnsizedFrameHeight;
    }
    frame.setSize(w, h);  // the lesson frame is in pixels from lesson start; unchanged size is free
    frame.setPicture(Picture());  // no background picture: clearing leaves plain black
    frame.clear();
    composer_.compose(w, h);
    // The composed bitmap goes to the engine as the lesson frame's image itself (a shared
    // copy), not through the bitmap table. Making it the lesson frame's background picture
    // as well would only paint the frame onto itself (half the tick's cost at 1080p).

    const uint32_t elapsed = drives_.platform.tickMs() - lessonStartTick_;  // modulo 2^32: survives the wrap
    const int64_t due = framesDue(elapsed, lessonFps_);
    const int64_t n = due - lessonFramesWritten_;
    if (n < 0) return;  // already one frame ahead within this frame period

    // n + 1 copies of the same picture, leaving the count one frame ahead of the
    // clock; a backlog beyond one tick's share is finished by the next ticks.
    const int64_t copies = std::min<int64_t>(n + 1, MaxFramesPerTick);
    const QImage bitmap = frame.image();
    int failed = 0;
    const bool reportedBefore = refusedFrameReported_;
    for (int64_t i = 0; i < copies; ++i) {
        try {
            rec.addFrame(bitmap);
        } catch (...) {
            ++failed;
            // The first refusal goes to the host (a full disk, a file gone); the
            // rest of the lesson's refusals only to the log.
            if (!refusedFrameReported_) {
                refusedFrameReported_ = true;
                failures_.reportFailure("LessonTimer_Timer", errorInFlight("LessonTimer_Timer"));
            }
        }
        ++lessonFramesWritten_;  // counted even when the engine refused it, so a failing engine is not retried forever
    }
    // Warned once a lesson; the ticks after a full disk would say it thirty times a second.
    if (failed > 0 && !reportedBefore) qCWarning(lcLesson, "The recording engine refused %d lesson frame(s)", failed);
    else if (failed > 0) qCDebug(lcLesson, "The recording engine refused %d lesson frame(s)", failed);
}

void LessonRecorder::endVoiceStretchWithThePictures() {
    // The frame loop leaves each stretch of pictures up to a frame and a half
    // ahead of the clock (it appends the frame falling due next), and behind it
    // when ticks came late; the voice's stretch is given the pictures' length,
    // so pauses do not add up to a drift. Before any frame (no clip open yet)
    // the voice keeps its own length.
    if (!drives_.lessonTimer.isEnabled() || lessonFramesWritten_ <= 0) return;
    const double seconds = static_cast<double>(lessonFramesWritten_) / lessonFps_;
    ignoringErrors([&] { drives_.audioRecorder.SetStretchLength(seconds); });
}

QVariant LessonRecorder::TVN_PauseLesson() {
    // No handler; acts whatever the lesson state.
    endVoiceStretchWithThePictures();
    drives_.audioRecorder.PauseRecord();
    drives_.lessonTimer.setEnabled(false);
    return {};
}

QVariant LessonRecorder::TVN_ResumeLesson() {
    // No handler, except that a restarted recording ignores its start failures.
    if (!props_.TVN_LessonInProgress) return {};
    AudioRecorder& audio = drives_.audioRecorder;
    if (audio.IsPaused()) {
        audio.ResumeRecord();
    } else {
        // The recorder was not paused (stopped or failed): start it again on the
        // same WAVE file set at lesson start.
        audio.StopRecord();
        startAudioIgnoringErrors();
    }
    // The paused time is left out of the video: the frame count restarts here.
    lessonStartTick_ = drives_.platform.tickMs();
    lessonFramesWritten_ = 0;
    drives_.lessonTimer.setEnabled(true);
    return {};
}

QVariant LessonRecorder::TVN_StopLesson() {
    // No handler; acts whatever the lesson state, so a second stop repeats the
    // calls. Each part is stopped even when one before it failed, and the lesson
    // is over either way: a stop that fails (the disk full while the video file
    // is closed) must not leave a lesson that can be neither stopped nor started.
    endVoiceStretchWithThePictures();
    drives_.lessonTimer.setEnabled(false);
    std::optional<TvnError> failure;
    const auto keepFirst = [&](auto&& step) {
        try {
            step();
        } catch (const TvnError& e) {
            if (!failure) failure = e;
        } catch (...) {
            if (!failure) failure = errorInFlight("TVN_StopLesson");
        }
    };
    keepFirst([&] { drives_.audioRecorder.StopRecord(); });
    keepFirst([&] { drives_.recordingEngine.StopFileCapture(); });
    props_.TVN_LessonInProgress = false;
    if (failure) throw *failure;
    return {};
}

}  // namespace tvn
