#pragma once

#include "control/ControlState.h"
#include "core/Picture.h"

#include <QString>
#include <QVariant>
#include <cstdint>

namespace tvn {

class Timer;
class VideoEngine;
class VideoMixer;

class AnnotationRedraw;
class ControlEvents;
class PositionViews;

// Play, pause, steps and jumps, rate and volume, the timer of timer-driven clips, and the
// display engine's playback notifications.
//
// The control keeps its own position (TVN_CurrentPos in ms, TVN_CurrentFrame)
// computed from the frame length; only TVN_Pause and TVN_GetPosLive ask the
// engine. Every seek asks for the target plus 1.0 ms, so that an engine that
// rounds a time down to the frame it falls in never lands on the frame before.
// Clips whose file name ends in "mov" (any case) are timer-driven: Timer1
// advances the position at 30 frames per second while they play.
//
// What a host reads is what plays. A jump lands on the clip: TVN_SetFrame clamps
// the caller's variable to TVN_NumFrames (the clip's end, where the last frame
// stays shown) and leaves a negative number in it as given, but the control's
// position is then frame 0; TVN_SetPos takes a time before the start or after
// the end as the start or the end, and a value that is no time (NaN, infinite)
// as a failure, which it ignores: nothing moves. TVN_SetRate hands the rate to
// the engine, which refuses what is no rate (InvalidCall) and clamps the rest;
// TVN_PlayRate then holds the rate the engine plays at.
class Transport {
public:
    // The host's properties it reads (const) and writes.
    struct Properties {
        const QString& TVN_videoFileName;
        const int32_t& TVN_NumFrames;
        bool& TVN_IsPlaying;
        int32_t& TVN_VolumeLevel;
        const double& TVN_FrameLenMS;
        double& TVN_CurrentPos;
        const double& TVN_TotalLenMS;
        int32_t& TVN_CurrentFrame;
        double& TVN_PlayRate;
        const int32_t& TVN_TrackingActive;
        const bool& TVN_DisplayClock;
    };

    // What it drives: the engines that play the clip, the clock of timer-driven clips.
    struct Drives {
        VideoEngine& display;  // the display engine: the clip the user sees
        VideoMixer& mixer;  // shown instead of the display while a second clip is overlaid
        Timer& clipTimer;  // advances timer-driven (.mov) clips while they play
        Timer& gestureRedrawTimer;  // redraws the annotations during a gesture
    };

    Transport(Properties props, Drives drives, const OverlaySources& overlaySources, ControlEvents& events,
              AnnotationRedraw& redraw, PositionViews& views)
        : props_(props), drives_(drives), overlaySources_(overlaySources), events_(events), redraw_(redraw),
          views_(views) {}

    QVariant TVN_Play();
    QVariant TVN_Pause();
    QVariant TVN_StepOneFrame();
    int32_t TVN_GetFrame();
    // Clamps frameNumber (the caller's variable) to TVN_NumFrames; a negative one is left as given.
    QVariant TVN_SetFrame(int32_t& frameNumber);
    double TVN_GetPos();
    double TVN_GetPosLive();
    QVariant TVN_SetPos(double& pos);
    QVariant TVN_SetRate(double& rate);
    QVariant TVN_SetVolume(int32_t& volume);
    // For a host's slider being dragged (outside the documented interface): the
    // engine shows at once a cheap picture near frameNumber (clamped into the
    // clip), which becomes the position; returns its frame. Like TVN_SetFrame
    // otherwise: it pauses, redraws where the drawings follow the position, and
    // brings the other position views along; failures are ignored.
    int32_t scrubToFrame(int32_t frameNumber);
    void ClipTimerTick();
    void OnEvent1();
    void OnPlaybackEnded();
    void OnStateChange(int32_t state);
    void OnEngineFullScreenLost();

    // The engine reports state 2 while it plays.
    static constexpr int32_t kStateRunning = 2;

private:
    bool timerDriven() const;
    // TVN_CurrentPos / TVN_FrameLenMS rounded half to even; -1 without a frame length.
    int32_t frameFromPosition() const;
    // After a move: the annotations are redrawn when they depend on the
    // position (tracking trail, clock), then the other position views follow.
    void redrawTestAndSync();
    void stopClipTimer();
    // A time brought onto the clip: 0 to TVN_TotalLenMS.
    double onTheClip(double positionMs) const;

    Properties props_;
    Drives drives_;
    const OverlaySources& overlaySources_;
    ControlEvents& events_;
    AnnotationRedraw& redraw_;
    PositionViews& views_;
};

}  // namespace tvn
