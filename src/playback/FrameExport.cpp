#include "playback/FrameExport.h"

#include "annotate/AnnotationEditor.h"
#include "control/FailureReport.h"
#include "core/Numeric.h"
#include "core/TvnError.h"
#include "media/VideoEngine.h"
#include "media/VideoMixer.h"
#include "platform/Surface.h"

namespace tvn {

namespace {
constexpr int16_t kFlipMirrored = 101;
constexpr int16_t kFlipNormal = 0;
// MixedFramePicture's argument for "the mixed picture of all sources".
constexpr int32_t kAllSources = -1;
}  // namespace

bool FrameExport::TVN_SaveFrameJpg(QString& FileName, int32_t& quality) {
    return withPrefix("TVN_SaveFrameJpg", [&] {
        if (FileName.isEmpty()) {  // the engine is not asked
            failures_.reportFailure("TVN_SaveFrameJpg",
                                  TvnError(err::PathFileAccess, QStringLiteral("No file name to save the frame as JPEG"))
                                      .prefixed("TVN_SaveFrameJpg"));
            return false;
        }
        return drives_.display.SaveFrameJpeg(FileName, quality);
    });
}

int32_t FrameExport::TVN_GetFrameAsBitmap() {
    // The handle is the host's; the control keeps no copy.
    return withPrefix("TVN_GetFrameAsBitmap", [&] { return drives_.display.GetFrameBitmap(); });
}

Picture FrameExport::TVN_GetFrameAsIPic() {
    Picture result;
    ignoringErrors([&] {
        if (drives_.display.Visible())
            result = drives_.display.CurrentFramePicture();
        else if (drives_.mixer.Visible())  // an overlay is active: the mixed picture of both clips
            result = drives_.mixer.MixedFramePicture(kAllSources);
    });
    return result;
}

QVariant FrameExport::TVN_SetSecondIPic(Picture& zz) {
    ignoringErrors([&] { drives_.secondPicture.setPicture(zz); });
    return {};
}

int32_t FrameExport::TVN_UploadFrame(const QString& server, const QString& username, const QString& password,
                                     const QString& path, const QString& FileName, int32_t Port, int32_t quality) {
    // No handler: an engine failure reaches the host unchanged. The engine runs
    // the event loop while the frame is sent, and a host's handler may delete
    // the control meanwhile: nothing of it is touched after the call.
    return boolToLong(drives_.display.UploadFrame(server, username, password, path, FileName, Port, quality));
}

void FrameExport::TVN_FlipVideo(int16_t flipIt) {
    withPrefix("TVN_FlipVideo", [&] {
        clipPicture_.videoFlipped = flipIt != 0;
        drives_.display.SetFlipMode(clipPicture_.videoFlipped ? kFlipMirrored : kFlipNormal);
        editor_.TVN_ReDraw();
    });
}

QVariant FrameExport::TVN_DisplayLaunchMonitor(bool /*onOrOff*/) {
    // Kept for hosts written against a launch-monitor option: it has no effect.
    return {};
}

}  // namespace tvn
