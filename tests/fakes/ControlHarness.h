#pragma once

#include "control/Trelvan.h"
#include "fakes/ControlProbe.h"
#include "fakes/ErrorFrom.h"
#include "fakes/FakeAudioRecorder.h"
#include "fakes/FakePlatform.h"
#include "fakes/FakeVideoEngine.h"
#include "fakes/FakeVideoMixer.h"
#include "fakes/TestClips.h"

#include <memory>

namespace tvn::testing {

// A control on fakes, created at once; time moves only through `platform`.
// `audioDevices` are the names the fake recorder reports at initialisation.
struct ControlHarness {
    explicit ControlHarness(QStringList audioDevices = {});
    ~ControlHarness();

    std::shared_ptr<FakePlatform> platform = std::make_shared<FakePlatform>();
    FakeVideoEngine* engine1 = nullptr;  // the display engine
    FakeVideoEngine* engine4 = nullptr;  // the recording engine
    FakeVideoMixer* mixer = nullptr;
    FakeAudioRecorder* recorder = nullptr;
    std::unique_ptr<Trelvan> control;

    Trelvan& c() { return *control; }
    ControlProbe probe() { return ControlProbe(*control); }
    // Scripts the display engine to report a clip and opens it through TVN_OpenFile.
    int32_t openClip(const QString& fileName, double frames, int32_t durationMs, int32_t width = 320,
                     int32_t height = 240);
};

using testclips::solid;

}  // namespace tvn::testing
