#pragma once

#include "core/Picture.h"

#include <QString>
#include <QVariant>
#include <cstdint>

namespace tvn {

class Trelvan;

// Play, pause, steps and jumps, rate and volume, the timer of timer-driven clips, and the
// display engine's notifications.
class Transport {
public:
    explicit Transport(Trelvan& control) : c_(control) {}

    QVariant TVN_Play();
    QVariant TVN_Pause();
    QVariant TVN_StepOneFrame();
    int32_t TVN_GetFrame();
    QVariant TVN_SetFrame(int32_t& frameNumber);
    double TVN_GetPos();
    double TVN_GetPosLive();
    QVariant TVN_SetPos(double& pos);
    QVariant TVN_SetRate(double& rate);
    QVariant TVN_SetVolume(int32_t& volume);
    void Timer1Tick();
    void OnEvent1();
    void OnPlaybackEnded();
    void OnStateChange(int32_t state);
    void OnEngineKeyPress(int16_t& KeyAscii);
    void OnEngineFullScreenLost();

private:
    Trelvan& c_;
};

}  // namespace tvn
