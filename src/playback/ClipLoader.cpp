#include "playback/ClipLoader.h"

#include "control/Trelvan.h"
#include "core/TvnError.h"
#include "media/VideoEngine.h"
#include "media/VideoMixer.h"

namespace tvn {

int32_t ClipLoader::TVN_OpenFile(QString& /*videoFileName*/) {
    throw TvnError::notImplemented("TVN_OpenFile");
}

QVariant ClipLoader::TVN_Close() {
    // No handler: a failure of CloseOverlay or of the engine reaches the caller unchanged.
    c_.state_.videoFlipped = false;  // the engine's mirror setting stays as it is
    c_.TVN_videoFileName.clear();
    c_.TVN_FrameLenMS = 0;
    c_.TVN_TotalLenMS = 0;
    c_.TVN_CurrentPos = 0;
    c_.TVN_CurrentFrame = 0;
    c_.TVN_IsPlaying = false;
    c_.TVN_NumFrames = 0;
    c_.TVN_VideoHeight = 0;
    c_.TVN_VideoWidth = 0;
    c_.TVN_TrackingActive = 0;
    c_.TVN_DisplayClock = false;
    CloseOverlay();
    c_.VideoCapX1->Stop();
    return {};
}

void ClipLoader::CloseOverlay() {
    ControlState& s = c_.state_;
    if (!s.overlayActive) return;
    c_.VideoMixerX1->RemoveSource(s.mainMixerSource);
    c_.VideoMixerX1->RemoveSource(s.overlayMixerSource);
    c_.VideoMixerX1->StopAll();
    s.mainMixerSource = -1;
    s.overlayMixerSource = -1;
    s.overlayActive = false;
    c_.VideoCapX1->SetVisible(true);
    c_.VideoMixerX1->SetVisible(false);
}

}  // namespace tvn
