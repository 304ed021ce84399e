#include "media/MediaRuntime.h"

#include "core/LogCategories.h"
#include "media/ffmpeg/FfmpegLogBridge.h"
#include "upload/FrameUploader.h"

#include <atomic>
#include <mutex>

namespace tvn {

namespace {
std::once_flag initialisedOnce;
std::atomic<bool> initialised{false};
}  // namespace

void MediaRuntime::initialise() {
    std::call_once(initialisedOnce, [] {
        FfmpegLogBridge::install();
        if (!FrameUploader::initialiseLibrary())
            qCWarning(lcUpload, "libcurl could not be initialised: frame uploads will fail");
        initialised = true;
    });
}

bool MediaRuntime::isInitialised() { return initialised; }

void MediaRuntime::ensureInitialised(const char* by) {
    if (initialised) return;
    qCInfo(lcMedia, "%s initialised the media runtime; a host calls tvn::MediaRuntime::initialise() in main()", by);
    initialise();
}

}  // namespace tvn
