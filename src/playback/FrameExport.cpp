#include "playback/FrameExport.h"

#include "control/Trelvan.h"
#include "core/TvnError.h"

namespace tvn {

bool FrameExport::TVN_SaveFrameJpg(QString& /*FileName*/, int32_t& /*quality*/) {
    throw TvnError::notImplemented("TVN_SaveFrameJpg");
}

int32_t FrameExport::TVN_GetFrameAsBitmap() {
    throw TvnError::notImplemented("TVN_GetFrameAsBitmap");
}

Picture FrameExport::TVN_GetFrameAsIPic() {
    throw TvnError::notImplemented("TVN_GetFrameAsIPic");
}

QVariant FrameExport::TVN_SetSecondIPic(Picture& /*zz*/) {
    throw TvnError::notImplemented("TVN_SetSecondIPic");
}

int32_t FrameExport::TVN_UploadFrame(const QString& /*server*/, const QString& /*username*/, const QString& /*password*/, const QString& /*path*/, const QString& /*FileName*/, int32_t /*Port*/, int32_t /*quality*/) {
    throw TvnError::notImplemented("TVN_UploadFrame");
}

void FrameExport::TVN_FlipVideo(int16_t /*flipIt*/) {
    throw TvnError::notImplemented("TVN_FlipVideo");
}

QVariant FrameExport::TVN_DisplayLaunchMonitor(bool /*onOrOff*/) {
    throw TvnError::notImplemented("TVN_DisplayLaunchMonitor");
}

}  // namespace tvn
