#include "playback/Transport.h"

#include "control/AnnotationRedraw.h"
#include "control/ControlEvents.h"
#include "control/PositionViews.h"
#include "core/LogCategories.h"
#include "core/Numeric.h"
#include "core/TvnError.h"
#include "media/VideoEngine.h"
#include "media/VideoMixer.h"
#include "platform/Timer.h"

#include <QDebug>
#include <algorithm>
#include <cmath>

namespace tvn {

namespace {
// Frames a timer-driven clip is counted at per second.
constexpr double kTimerDrivenFps = 30.0;
// Added to every seek target of this class.
constexpr double kSeekNudgeMs = 1.0;
}  // namespace

bool Transport::timerDriven() const {
    return props_.TVN_videoFileName.right(3).toLower() == QLatin1String("mov");
}

int32_t Transport::frameFromPosition() const {
    if (props_.TVN_FrameLenMS == 0) return -1;
    return toInt32(props_.TVN_CurrentPos / props_.TVN_FrameLenMS);
}

void Transport::redrawTestAndSync() {
    if (props_.TVN_TrackingActive != 0 || props_.TVN_DisplayClock) redraw_.redrawAnnotations();
    views_.syncPositionViews();
}

void Transport::stopClipTimer() { drives_.clipTimer.setEnabled(false); }

double Transport::onTheClip(double positionMs) const {
    return std::clamp(positionMs, 0.0, std::max(props_.TVN_TotalLenMS, 0.0));
}

QVariant Transport::TVN_Play() {
    return withPrefix("TVN_Play", [&]() -> QVariant {
        if (overlaySources_.overlayActive) {
            drives_.mixer.PlaySource(overlaySources_.mainMixerSource);
            drives_.mixer.PlaySource(overlaySources_.overlayMixerSource);
            return {};
        }
        drives_.display.Play();
        if (timerDriven()) drives_.clipTimer.setEnabled(true);
        // TVN_IsPlaying follows the engine's StateChange notification.
        return {};
    });
}

QVariant Transport::TVN_Pause() {
    withPrefix("TVN_Pause", [&] {
        drives_.display.Pause();
        if (timerDriven())
            stopClipTimer();
        else
            props_.TVN_CurrentPos = toInt32(drives_.display.GetPosition());  // whole milliseconds
        props_.TVN_CurrentFrame = frameFromPosition();
    });
    if (overlaySources_.overlayActive) {
        ignoringErrors([&] { drives_.mixer.PauseSource(overlaySources_.mainMixerSource); });
        ignoringErrors([&] { drives_.mixer.PauseSource(overlaySources_.overlayMixerSource); });
    }
    return {};
}

QVariant Transport::TVN_StepOneFrame() {
    return withPrefix("TVN_StepOneFrame", [&]() -> QVariant {
        if (props_.TVN_FrameLenMS == 0) return {};
        drives_.display.Pause();
        if (timerDriven()) {
            stopClipTimer();
            return {};
        }
        if (props_.TVN_CurrentPos < props_.TVN_TotalLenMS) {
            drives_.display.Seek(props_.TVN_CurrentPos + props_.TVN_FrameLenMS + kSeekNudgeMs);
            props_.TVN_CurrentPos += props_.TVN_FrameLenMS;
            props_.TVN_CurrentFrame = toInt32(static_cast<double>(props_.TVN_CurrentFrame) + 1.0);
            redrawTestAndSync();
        }
        return {};
    });
}

int32_t Transport::TVN_GetFrame() {
    return withPrefix("TVN_GetFrame", [&] {
        if (props_.TVN_FrameLenMS != 0) {
            props_.TVN_CurrentPos = props_.TVN_CurrentFrame * props_.TVN_FrameLenMS;
            props_.TVN_CurrentFrame = frameFromPosition();
        } else {
            props_.TVN_CurrentPos = -1;
        }
        if (props_.TVN_CurrentPos > props_.TVN_TotalLenMS) props_.TVN_CurrentPos = props_.TVN_TotalLenMS;
        if (props_.TVN_CurrentFrame > props_.TVN_NumFrames) props_.TVN_CurrentFrame = props_.TVN_NumFrames;
        return props_.TVN_CurrentFrame;
    });
}

QVariant Transport::TVN_SetFrame(int32_t& frameNumber) {
    withPrefix("TVN_SetFrame", [&] {
        if (props_.TVN_FrameLenMS != 0 && frameNumber > props_.TVN_NumFrames) frameNumber = props_.TVN_NumFrames;
    });
    if (props_.TVN_FrameLenMS == 0) return {};
    // From here a failing step is skipped and the next one still runs.
    ignoringErrors([&] { drives_.display.Pause(); });
    if (timerDriven()) stopClipTimer();
    // The caller's negative number stays as it was; the clip starts at frame 0,
    // which is what the engine shows and so what the control reports.
    const int32_t frame = std::max(frameNumber, 0);
    props_.TVN_CurrentPos = frame * props_.TVN_FrameLenMS;
    props_.TVN_CurrentFrame = frame;
    ignoringErrors([&] { drives_.display.Seek(props_.TVN_CurrentPos + kSeekNudgeMs); });
    if (props_.TVN_TrackingActive != 0 || props_.TVN_DisplayClock)
        ignoringErrors([&] { redraw_.redrawAnnotations(); });
    ignoringErrors([&] { views_.syncPositionViews(); });
    return {};
}

int32_t Transport::scrubToFrame(int32_t frameNumber) {
    if (props_.TVN_FrameLenMS == 0 || props_.TVN_NumFrames <= 0) return 0;
    frameNumber = std::clamp(frameNumber, 0, props_.TVN_NumFrames - 1);
    ignoringErrors([&] { drives_.display.Pause(); });
    if (timerDriven()) stopClipTimer();
    double shownMs = frameNumber * props_.TVN_FrameLenMS;
    ignoringErrors([&] { shownMs = drives_.display.seekApproximate(shownMs + kSeekNudgeMs); });
    // The position is the frame on screen, so drawings that follow it match the picture.
    int32_t shown = frameNumber;
    ignoringErrors([&] { shown = std::clamp(toInt32(shownMs / props_.TVN_FrameLenMS), 0, props_.TVN_NumFrames - 1); });
    props_.TVN_CurrentFrame = shown;
    props_.TVN_CurrentPos = shown * props_.TVN_FrameLenMS;
    if (props_.TVN_TrackingActive != 0 || props_.TVN_DisplayClock)
        ignoringErrors([&] { redraw_.redrawAnnotations(); });
    ignoringErrors([&] { views_.syncPositionViews(); });
    return shown;
}

QVariant Transport::TVN_SetPos(double& pos) {
    // Every failure is ignored; a failing step is skipped and the next one still runs.
    if (props_.TVN_FrameLenMS == 0) return {};
    if (!std::isfinite(pos)) {
        // Not a time at all: nothing moves, as with any other failure of this method.
        qCDebug(lcControl).noquote() << "TVN_SetPos: ignored" << pos << "ms, which is no position";
        return {};
    }
    ignoringErrors([&] { drives_.display.Pause(); });
    if (timerDriven()) stopClipTimer();
    // A time before the clip's start or after its end shows the first or the last
    // frame; the control's position says where that is. The caller's variable is
    // left as given.
    const double onClip = onTheClip(pos);
    ignoringErrors([&] { drives_.display.Seek(onClip + kSeekNudgeMs); });
    props_.TVN_CurrentPos = onClip;
    ignoringErrors([&] { props_.TVN_CurrentFrame = toInt32(onClip / props_.TVN_FrameLenMS); });
    if (props_.TVN_TrackingActive != 0 || props_.TVN_DisplayClock)
        ignoringErrors([&] { redraw_.redrawAnnotations(); });
    ignoringErrors([&] { views_.syncPositionViews(); });
    return {};
}

double Transport::TVN_GetPos() {
    return withPrefix("TVN_GetPos", [&] {
        props_.TVN_CurrentFrame = frameFromPosition();
        return props_.TVN_CurrentPos;
    });
}

double Transport::TVN_GetPosLive() {
    return withPrefix("TVN_GetPosLive", [&] {
        props_.TVN_CurrentPos = drives_.display.GetPosition();
        props_.TVN_CurrentFrame = frameFromPosition();
        return props_.TVN_CurrentPos;
    });
}

QVariant Transport::TVN_SetRate(double& rate) {
    return withPrefix("TVN_SetRate", [&]() -> QVariant {
        // The engine decides which rates it accepts: it refuses what is no rate
        // and brings the rest into its range. TVN_PlayRate holds the rate it plays at.
        drives_.display.SetRate(rate);
        props_.TVN_PlayRate = drives_.display.Rate();
        return {};
    });
}

QVariant Transport::TVN_SetVolume(int32_t& volume) {
    return withPrefix("TVN_SetVolume", [&]() -> QVariant {
        props_.TVN_VolumeLevel = volume;
        drives_.display.SetVolume(props_.TVN_VolumeLevel);
        return {};
    });
}

void Transport::ClipTimerTick() {
    // No handler: a failure reaches the tick's caller unchanged.
    if (!timerDriven()) {
        stopClipTimer();
        return;
    }
    const int interval = drives_.clipTimer.interval();
    props_.TVN_CurrentPos += interval;
    props_.TVN_CurrentFrame = toInt32(props_.TVN_CurrentFrame + kTimerDrivenFps / (1000.0 / interval));
}

void Transport::OnEvent1() {
    withPrefix("Event1", [&] { drives_.gestureRedrawTimer.setEnabled(false); });
}

void Transport::OnPlaybackEnded() {
    withPrefix("PlaybackEnded", [&] { events_.raiseVideoEnd(); });
}

void Transport::OnStateChange(int32_t state) {
    withPrefix("StateChange", [&] { props_.TVN_IsPlaying = state == kStateRunning; });
}

void Transport::OnEngineFullScreenLost() {
    // No handler: a failure of the host's handler reaches the caller unchanged.
    events_.raiseFullScreenLost();
}

}  // namespace tvn
