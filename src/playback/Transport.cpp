#include "playback/Transport.h"

#include "annotate/AnnotationRenderer.h"
#include "annotate/AnnotationStore.h"
#include "annotate/PointerHandler.h"
#include "control/Trelvan.h"
#include "core/Numeric.h"
#include "core/TvnError.h"
#include "layout/FilmStrip.h"
#include "media/VideoEngine.h"
#include "media/VideoMixer.h"
#include "platform/Timer.h"

namespace tvn {

namespace {
// Frames a timer-driven clip is counted at per second.
constexpr double kTimerDrivenFps = 30.0;
// Added to every seek target of this class.
constexpr double kSeekNudgeMs = 1.0;
}  // namespace

bool Transport::timerDriven() const {
    return c_.TVN_videoFileName.right(3).toLower() == QLatin1String("mov");
}

int32_t Transport::frameFromPosition() const {
    if (c_.TVN_FrameLenMS == 0) return -1;
    return toInt32(c_.TVN_CurrentPos / c_.TVN_FrameLenMS);
}

void Transport::redrawTestAndSync() {
    if (c_.TVN_TrackingActive != 0 || c_.TVN_DisplayClock) c_.renderer_->RedrawAnnotations();
    c_.filmStrip_->SyncPositionViews();
}

void Transport::stopTimer1() { c_.Timer1->setEnabled(false); }

QVariant Transport::TVN_Play() {
    return withPrefix("TVN_Play", [&]() -> QVariant {
        const ControlState& s = c_.state_;
        if (s.overlayActive) {
            c_.VideoMixerX1->PlaySource(s.mainMixerSource);
            c_.VideoMixerX1->PlaySource(s.overlayMixerSource);
            return {};
        }
        c_.VideoCapX1->Play();
        if (timerDriven()) c_.Timer1->setEnabled(true);
        // TVN_IsPlaying follows the engine's StateChange notification.
        return {};
    });
}

QVariant Transport::TVN_Pause() {
    withPrefix("TVN_Pause", [&] {
        c_.VideoCapX1->Pause();
        if (timerDriven())
            stopTimer1();
        else
            c_.TVN_CurrentPos = toInt32(c_.VideoCapX1->GetPosition());  // whole milliseconds
        c_.TVN_CurrentFrame = frameFromPosition();
    });
    const ControlState& s = c_.state_;
    if (s.overlayActive) {
        ignoringErrors([&] { c_.VideoMixerX1->PauseSource(s.mainMixerSource); });
        ignoringErrors([&] { c_.VideoMixerX1->PauseSource(s.overlayMixerSource); });
    }
    return {};
}

QVariant Transport::TVN_StepOneFrame() {
    return withPrefix("TVN_StepOneFrame", [&]() -> QVariant {
        if (c_.TVN_FrameLenMS == 0) return {};
        c_.VideoCapX1->Pause();
        if (timerDriven()) {
            stopTimer1();
            return {};
        }
        if (c_.TVN_CurrentPos < c_.TVN_TotalLenMS) {
            c_.VideoCapX1->Seek(c_.TVN_CurrentPos + c_.TVN_FrameLenMS + kSeekNudgeMs);
            c_.TVN_CurrentPos += c_.TVN_FrameLenMS;
            c_.TVN_CurrentFrame = toInt32(static_cast<double>(c_.TVN_CurrentFrame) + 1.0);
            redrawTestAndSync();
        }
        return {};
    });
}

int32_t Transport::TVN_GetFrame() {
    return withPrefix("TVN_GetFrame", [&] {
        if (c_.TVN_FrameLenMS != 0) {
            c_.TVN_CurrentPos = c_.TVN_CurrentFrame * c_.TVN_FrameLenMS;
            c_.TVN_CurrentFrame = frameFromPosition();
        } else {
            c_.TVN_CurrentPos = -1;
        }
        if (c_.TVN_CurrentPos > c_.TVN_TotalLenMS) c_.TVN_CurrentPos = c_.TVN_TotalLenMS;
        if (c_.TVN_CurrentFrame > c_.TVN_NumFrames) c_.TVN_CurrentFrame = c_.TVN_NumFrames;
        return c_.TVN_CurrentFrame;
    });
}

QVariant Transport::TVN_SetFrame(int32_t& frameNumber) {
    withPrefix("TVN_SetFrame", [&] {
        if (c_.TVN_FrameLenMS != 0 && frameNumber > c_.TVN_NumFrames) frameNumber = c_.TVN_NumFrames;
    });
    if (c_.TVN_FrameLenMS == 0) return {};
    // From here a failing step is skipped and the next one still runs.
    ignoringErrors([&] { c_.VideoCapX1->Pause(); });
    if (timerDriven()) stopTimer1();
    c_.TVN_CurrentPos = frameNumber * c_.TVN_FrameLenMS;
    c_.TVN_CurrentFrame = frameNumber;
    ignoringErrors([&] { c_.VideoCapX1->Seek(c_.TVN_CurrentPos + kSeekNudgeMs); });
    if (c_.TVN_TrackingActive != 0 || c_.TVN_DisplayClock)
        ignoringErrors([&] { c_.renderer_->RedrawAnnotations(); });
    ignoringErrors([&] { c_.filmStrip_->SyncPositionViews(); });
    return {};
}

QVariant Transport::TVN_SetPos(double& pos) {
    // Every failure is ignored; a failing step is skipped and the next one still runs.
    if (c_.TVN_FrameLenMS == 0) return {};
    ignoringErrors([&] { c_.VideoCapX1->Pause(); });
    if (timerDriven()) stopTimer1();
    ignoringErrors([&] { c_.VideoCapX1->Seek(pos + kSeekNudgeMs); });
    c_.TVN_CurrentPos = pos;  // not clamped to the clip
    ignoringErrors([&] { c_.TVN_CurrentFrame = toInt32(pos / c_.TVN_FrameLenMS); });
    if (c_.TVN_TrackingActive != 0 || c_.TVN_DisplayClock)
        ignoringErrors([&] { c_.renderer_->RedrawAnnotations(); });
    ignoringErrors([&] { c_.filmStrip_->SyncPositionViews(); });
    return {};
}

double Transport::TVN_GetPos() {
    return withPrefix("TVN_GetPos", [&] {
        c_.TVN_CurrentFrame = frameFromPosition();
        return c_.TVN_CurrentPos;
    });
}

double Transport::TVN_GetPosLive() {
    return withPrefix("TVN_GetPosLive", [&] {
        c_.TVN_CurrentPos = c_.VideoCapX1->GetPosition();
        c_.TVN_CurrentFrame = frameFromPosition();
        return c_.TVN_CurrentPos;
    });
}

QVariant Transport::TVN_SetRate(double& rate) {
    return withPrefix("TVN_SetRate", [&]() -> QVariant {
        c_.VideoCapX1->SetRate(rate);  // the engine decides which rates it accepts
        c_.TVN_PlayRate = rate;
        return {};
    });
}

QVariant Transport::TVN_SetVolume(int32_t& volume) {
    return withPrefix("TVN_SetVolume", [&]() -> QVariant {
        c_.TVN_VolumeLevel = volume;
        c_.VideoCapX1->SetVolume(c_.TVN_VolumeLevel);
        return {};
    });
}

void Transport::Timer1Tick() {
    // No handler: a failure reaches the tick's caller unchanged.
    if (!timerDriven()) {
        stopTimer1();
        return;
    }
    const int interval = c_.Timer1->interval();
    c_.TVN_CurrentPos += interval;
    c_.TVN_CurrentFrame = toInt32(c_.TVN_CurrentFrame + kTimerDrivenFps / (1000.0 / interval));
}

void Transport::OnEvent1() {
    withPrefix("Event1", [&] { c_.Timer2->setEnabled(false); });
}

void Transport::OnPlaybackEnded() {
    withPrefix("PlaybackEnded", [&] { c_.raiseVideoEnd(); });
}

void Transport::OnStateChange(int32_t state) {
    withPrefix("StateChange", [&] { c_.TVN_IsPlaying = state == kStateRunning; });
}

void Transport::OnEngineKeyPress(int16_t& KeyAscii) {
    withPrefix("EngineKeyPress", [&] {
        c_.raiseKeyPress(KeyAscii);  // the host may change the key
        if (c_.TVN_drawingTool == QLatin1String("text") && c_.store_->textTyping) c_.pointer_->TypeKey(KeyAscii);
    });
}

void Transport::OnEngineFullScreenLost() {
    // No handler: a failure of the host's handler reaches the caller unchanged.
    c_.raiseFullScreenLost();
}

}  // namespace tvn
