#include "playback/Transport.h"

#include "control/Trelvan.h"
#include "core/TvnError.h"

namespace tvn {

QVariant Transport::TVN_Play() {
    throw TvnError::notImplemented("TVN_Play");
}

QVariant Transport::TVN_Pause() {
    throw TvnError::notImplemented("TVN_Pause");
}

QVariant Transport::TVN_StepOneFrame() {
    throw TvnError::notImplemented("TVN_StepOneFrame");
}

int32_t Transport::TVN_GetFrame() {
    throw TvnError::notImplemented("TVN_GetFrame");
}

QVariant Transport::TVN_SetFrame(int32_t& /*frameNumber*/) {
    throw TvnError::notImplemented("TVN_SetFrame");
}

double Transport::TVN_GetPos() {
    throw TvnError::notImplemented("TVN_GetPos");
}

double Transport::TVN_GetPosLive() {
    throw TvnError::notImplemented("TVN_GetPosLive");
}

QVariant Transport::TVN_SetPos(double& /*pos*/) {
    throw TvnError::notImplemented("TVN_SetPos");
}

QVariant Transport::TVN_SetRate(double& /*rate*/) {
    throw TvnError::notImplemented("TVN_SetRate");
}

QVariant Transport::TVN_SetVolume(int32_t& /*volume*/) {
    throw TvnError::notImplemented("TVN_SetVolume");
}

void Transport::Timer1Tick() {
    throw TvnError::notImplemented("Timer1Tick");
}

void Transport::OnEvent1() {
    throw TvnError::notImplemented("OnEvent1");
}

void Transport::OnPlaybackEnded() {
    throw TvnError::notImplemented("OnPlaybackEnded");
}

void Transport::OnStateChange(int32_t /*state*/) {
    throw TvnError::notImplemented("OnStateChange");
}

void Transport::OnEngineKeyPress(int16_t& /*KeyAscii*/) {
    throw TvnError::notImplemented("OnEngineKeyPress");
}

void Transport::OnEngineFullScreenLost() {
    throw TvnError::notImplemented("OnEngineFullScreenLost");
}

}  // namespace tvn
