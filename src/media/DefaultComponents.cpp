#include "media/BasicVideoEngine.h"
#include "media/BasicVideoMixer.h"
#include "media/Components.h"
#include "media/MediaRuntime.h"
#include "media/ffmpeg/FfmpegDisplayEngine.h"
#include "media/alsa/AlsaAudioRecorder.h"
#include "media/ffmpeg/FfmpegRecordingEngine.h"
#include "media/ffmpeg/FfmpegVideoMixer.h"
#include "platform/DesktopPlatform.h"

namespace tvn {

Components Components::defaults() {
    MediaRuntime::ensureInitialised("The first control");
    Components c;
    c.createEngine = [](EngineRole role, QWidget* parent) -> VideoEngine* {
        if (role == EngineRole::Recording) return new FfmpegRecordingEngine(parent);
        return role == EngineRole::Display ? new FfmpegDisplayEngine(parent) : new BasicVideoEngine(parent);
    };
    c.createMixer = [](QWidget* parent) -> VideoMixer* { return new FfmpegVideoMixer(parent); };
    c.createAudioRecorder = [] { return std::make_unique<AlsaAudioRecorder>(); };
    c.platform = std::make_shared<DesktopPlatform>();
    return c;
}

}  // namespace tvn
