#include "playback/ClipLoader.h"

#include "annotate/AnnotationRenderer.h"
#include "control/Trelvan.h"
#include "core/Numeric.h"
#include "core/TvnError.h"
#include "core/Twips.h"
#include "layout/LayoutManager.h"
#include "media/VideoEngine.h"
#include "media/VideoMixer.h"
#include "platform/Surface.h"

namespace tvn {

ClipMeasures ClipLoader::measuresFor(double frames, double lengthMs) {
    ClipMeasures m;
    if (lengthMs > 0 && frames > lengthMs) {
        // More frames than milliseconds: the engine's count is not a frame count
        // (some containers report sample or field counts). The clip is taken as
        // 30 frames per second and its frames counted from the duration with the
        // historical divisor 33.362, which hosts' frame numbers depend on.
        m.frameLenMs = 1000.0 / 30.0;
        m.numFrames = toInt32(lengthMs / 33.362);
    } else if (frames > 0 && lengthMs > 0) {
        m.frameLenMs = lengthMs / frames;
        m.numFrames = toInt32(frames);
    }
    m.totalLenMs = m.numFrames * m.frameLenMs;
    return m;
}

int32_t ClipLoader::TVN_OpenFile(QString& videoFileName) {
    return withPrefix("TVN_OpenFile", [&]() -> int32_t {
        VideoEngine& engine = *c_.VideoCapX1;
        engine.Call154(true);
        c_.TVN_Close();
        int32_t result = 0;
        engine.SetOption43(c_.TVN_RawPlayerMode ? 0 : 1);
        if (videoFileName.isEmpty()) return result;
        engine.SetVideoRenderer(c_.TVN_UseVMR9 ? 1 : 2);
        engine.SetDeinterlace(c_.TVN_DoDeinterlace ? 1 : 0);
        engine.OpenClip(videoFileName);
        engine.SetOption30(1);
        engine.SetVolume(c_.TVN_VolumeLevel);
        engine.Play();
        engine.Pause();
        engine.Seek(0.0);
        const double frames = engine.GetFrameCount();
        c_.TVN_CurrentPos = 0;
        c_.TVN_CurrentFrame = 0;
        c_.TVN_videoFileName = videoFileName;
        const double length = engine.GetDuration();

        const ClipMeasures m = measuresFor(frames, length);
        c_.TVN_FrameLenMS = m.frameLenMs;
        c_.TVN_NumFrames = m.numFrames;
        c_.TVN_TotalLenMS = m.totalLenMs;
        result = c_.TVN_NumFrames;

        int32_t width = 0;
        int32_t height = 0;
        engine.GetVideoSize(width, height);
        c_.TVN_VideoWidth = toInt16(width);
        c_.TVN_VideoHeight = toInt16(height);
        // 16-bit like the pixel size: a clip wider than 2184 pixels at 15 twips
        // per pixel overflows here, after the engine has opened it.
        c_.state_.videoWidthTwips = toInt16(width * twipsPerPixelX(&c_));
        c_.state_.videoHeightTwips = toInt16(height * twipsPerPixelY(&c_));
        c_.Picture1->setSize(c_.state_.videoWidthTwips, c_.state_.videoHeightTwips);
        c_.Picture2->setSize(c_.state_.videoWidthTwips, c_.state_.videoHeightTwips);
        c_.layout_->OnResize();
        c_.renderer_->RedrawAnnotations();
        return result;
    });
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
