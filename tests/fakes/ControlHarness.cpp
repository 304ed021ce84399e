#include "fakes/ControlHarness.h"

namespace tvn::testing {

Components ControlHarness::components(QStringList audioDevices) {
    Components c;
    c.createEngine = [this](EngineRole role, QWidget* parent) -> VideoEngine* {
        auto* engine = new FakeVideoEngine(
            role == EngineRole::Display ? QStringLiteral("VideoCapX1") : QStringLiteral("VideoCapX4"), log, parent);
        (role == EngineRole::Display ? engine1 : engine4) = engine;
        return engine;
    };
    c.createMixer = [this](QWidget* parent) -> VideoMixer* {
        mixer = new FakeVideoMixer(log, parent);
        return mixer;
    };
    c.createAudioRecorder = [this, audioDevices] {
        auto r = std::make_unique<FakeAudioRecorder>(log);
        r->deviceNames = audioDevices;
        recorder = r.get();
        return r;
    };
    c.platform = platform;
    return c;
}

ControlHarness::ControlHarness(QStringList audioDevices) : platform(std::make_shared<FakePlatform>(log)) {
    control = std::make_unique<Trelvan>(components(std::move(audioDevices)));
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
