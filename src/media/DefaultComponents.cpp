#include "media/BasicVideoEngine.h"
#include "media/BasicVideoMixer.h"
#include "media/Components.h"
#include "media/NoDeviceAudioRecorder.h"
#include "platform/DesktopPlatform.h"

namespace tvn {

Components Components::defaults() {
    Components c;
    c.createEngine = [](EngineRole, QWidget* parent) -> VideoEngine* { return new BasicVideoEngine(parent); };
    c.createMixer = [](QWidget* parent) -> VideoMixer* { return new BasicVideoMixer(parent); };
    c.createAudioRecorder = [] { return std::make_unique<NoDeviceAudioRecorder>(); };
    c.platform = std::make_shared<DesktopPlatform>();
    return c;
}

}  // namespace tvn
