#include "control/ClipProbe.h"

#include "media/MediaRuntime.h"
#include "media/FrameSource.h"

namespace tvn {

ClipProbe probeClip(const QString& fileName) {
    MediaRuntime::ensureInitialised("probeClip");
    ClipProbe probe;
    std::unique_ptr<FrameSource> clip;
    try {
        clip = FrameSource::open(fileName, {});
    } catch (const TvnError& e) {
        probe.error = e.prefixed("probeClip");
        return probe;
    }
    const ClipInfo& info = clip->info();
    probe.canOpen = true;
    probe.width = info.width;
    probe.height = info.height;
    probe.frameCount = info.frameCount;
    probe.durationMs = info.durationMs;
    probe.frameMs = info.nominalFrameMs;
    probe.missingFrames = info.missingFrames;
    return probe;
}

}  // namespace tvn
