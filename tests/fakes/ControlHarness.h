#pragma once

#include "control/Trelvan.h"
#include "fakes/CallLog.h"
#include "fakes/ControlProbe.h"
#include "fakes/FakeAudioRecorder.h"
#include "fakes/FakePlatform.h"
#include "fakes/FakeVideoEngine.h"
#include "fakes/FakeVideoMixer.h"

#include <memory>

namespace tvn::testing {

// A control on recording fakes: every component call lands in `log`, time moves
// only through `platform`. The control is created at once; `audioDevices` are
// the names the fake recorder reports during initialisation.
struct ControlHarness {
    explicit ControlHarness(QStringList audioDevices = {});
    ~ControlHarness();

    CallLog log;
    std::shared_ptr<FakePlatform> platform;
    FakeVideoEngine* engine1 = nullptr;  // VideoCapX1
    FakeVideoEngine* engine4 = nullptr;  // VideoCapX4
    FakeVideoMixer* mixer = nullptr;     // VideoMixerX1
    FakeAudioRecorder* recorder = nullptr;
    std::unique_ptr<Trelvan> control;

    Trelvan& c() { return *control; }
    ControlProbe probe() { return ControlProbe(*control); }
    // Scripts the display engine to report a clip and opens it through TVN_OpenFile.
    int32_t openClip(const QString& fileName, double frames, int32_t durationMs, int32_t width = 320,
                     int32_t height = 240);

    // The components the control creates.
    Components components(QStringList audioDevices);
};

}  // namespace tvn::testing
