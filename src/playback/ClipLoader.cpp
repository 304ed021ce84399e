#include "playback/ClipLoader.h"

#include "control/AnnotationRedraw.h"
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
        VideoEngine& engine = drives_.display;
        engine.Call154(true);
        TVN_Close();
        int32_t result = 0;
        engine.SetOption43(props_.TVN_RawPlayerMode ? 0 : 1);
        if (videoFileName.isEmpty()) return result;
        engine.SetVideoRenderer(props_.TVN_UseVMR9 ? 1 : 2);
        engine.SetDeinterlace(props_.TVN_DoDeinterlace ? 1 : 0);
        engine.OpenClip(videoFileName);
        engine.SetOption30(1);
        engine.SetVolume(props_.TVN_VolumeLevel);
        engine.Play();
        engine.Pause();
        engine.Seek(0.0);
        const double frames = engine.GetFrameCount();
        props_.TVN_CurrentPos = 0;
        props_.TVN_CurrentFrame = 0;
        props_.TVN_videoFileName = videoFileName;
        const double length = engine.GetDuration();

        const ClipMeasures m = measuresFor(frames, length);
        props_.TVN_FrameLenMS = m.frameLenMs;
        props_.TVN_NumFrames = m.numFrames;
        props_.TVN_TotalLenMS = m.totalLenMs;
        result = props_.TVN_NumFrames;

        int32_t width = 0;
        int32_t height = 0;
        engine.GetVideoSize(width, height);
        props_.TVN_VideoWidth = toInt16(width);
        props_.TVN_VideoHeight = toInt16(height);
        // 16-bit like the pixel size: a clip wider than 2184 pixels at 15 twips
        // per pixel overflows here, after the engine has opened it.
        clipPicture_.videoWidthTwips = toInt16(width * twipsPerPixelX(&drives_.control));
        clipPicture_.videoHeightTwips = toInt16(height * twipsPerPixelY(&drives_.control));
        drives_.annotationLayer.setSize(clipPicture_.videoWidthTwips, clipPicture_.videoHeightTwips);
        drives_.freeHandLayer.setSize(clipPicture_.videoWidthTwips, clipPicture_.videoHeightTwips);
        layout_.OnResize();
        redraw_.redrawAnnotations();
        return result;
    });
}

QVariant ClipLoader::TVN_Close() {
    // No handler: a failure of CloseOverlay or of the engine reaches the caller unchanged.
    clipPicture_.videoFlipped = false;  // the engine's mirror setting stays as it is
    props_.TVN_videoFileName.clear();
    props_.TVN_FrameLenMS = 0;
    props_.TVN_TotalLenMS = 0;
    props_.TVN_CurrentPos = 0;
    props_.TVN_CurrentFrame = 0;
    props_.TVN_IsPlaying = false;
    props_.TVN_NumFrames = 0;
    props_.TVN_VideoHeight = 0;
    props_.TVN_VideoWidth = 0;
    props_.TVN_TrackingActive = 0;
    props_.TVN_DisplayClock = false;
    CloseOverlay();
    drives_.display.Stop();
    return {};
}

void ClipLoader::CloseOverlay() {
    if (!overlaySources_.overlayActive) return;
    drives_.mixer.RemoveSource(overlaySources_.mainMixerSource);
    drives_.mixer.RemoveSource(overlaySources_.overlayMixerSource);
    drives_.mixer.StopAll();
    overlaySources_.mainMixerSource = -1;
    overlaySources_.overlayMixerSource = -1;
    overlaySources_.overlayActive = false;
    overlaySources_.overlayFileName.clear();
    drives_.display.SetVisible(true);
    drives_.mixer.SetVisible(false);
}

}  // namespace tvn
