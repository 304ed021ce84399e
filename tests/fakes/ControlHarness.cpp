#include "fakes/ControlHarness.h"

namespace tvn::testing {

ControlHarness::ControlHarness(QStringList audioDevices) {
    Components c;
    c.createEngine = [this](EngineRole role, QWidget* parent) -> VideoEngine* {
        return (role == EngineRole::Display ? engine1 : engine4) = new FakeVideoEngine(parent);
    };
    c.createMixer = [this](QWidget* parent) -> VideoMixer* { return mixer = new FakeVideoMixer(parent); };
    c.createAudioRecorder = [this, audioDevices] {
        auto r = std::make_unique<FakeAudioRecorder>();
        r->deviceNames = audioDevices;
        recorder = r.get();
        return r;
    };
    c.platform = platform;
    control = std::make_unique<Trelvan>(c);
}

ControlHarness::~ControlHarness() = default;

int32_t ControlHarness::openClip(const QString& fileName, double frames, int32_t durationMs, int32_t width,
                                 int32_t height) {
    engine1->frameCount = frames;
    engine1->duration = durationMs;
    engine1->videoWidth = width;
    engine1->videoHeight = height;
    QString name = fileName;
    return control->TVN_OpenFile(name);
}

}  // namespace tvn::testing
