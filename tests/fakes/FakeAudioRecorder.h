#pragma once

#include "fakes/ScriptedFailures.h"
#include "media/AudioRecorder.h"

#include <QStringList>
#include <vector>

namespace tvn::testing {

// An audio recorder naming the devices and line inputs the test gives it and
// keeping what the control selected and whether it records.
class FakeAudioRecorder : public AudioRecorder, public ScriptedFailures {
public:
    QStringList deviceNames, lineInputNames;
    int32_t device = -1, lineInput = -1, recordOption = 0;
    QString fileName;
    bool recording = false, paused = false;
    int starts = 0;
    std::vector<double> stretchLengths;  // each one given while a stretch was being recorded

    int32_t GetDeviceCount() override { return static_cast<int32_t>(deviceNames.size()); }
    QString GetDeviceName(int32_t i) override { return deviceNames.value(i); }
    void SelectDevice(int32_t i) override { check("SelectDevice"); device = i; }
    int32_t GetLineInputCount() override { check("GetLineInputCount"); return static_cast<int32_t>(lineInputNames.size()); }
    QString GetLineInputName(int32_t i) override { check("GetLineInputName"); return lineInputNames.value(i); }
    void SelectLineInput(int32_t i) override { check("SelectLineInput"); lineInput = i; }
    void SetRecordOption(int32_t c) override { check("SetRecordOption"); recordOption = c; }
    void SetSetting1(int32_t) override {}
    void SetSetting2(int32_t) override {}
    void SetSetting3(int32_t) override {}
    void SetFileName(const QString& f) override { check("SetFileName"); fileName = f; }
    void StartRecord(int32_t, int32_t) override { check("StartRecord"); ++starts; recording = true; paused = false; }
    void StopRecord() override { check("StopRecord"); recording = false; }
    void PauseRecord() override { check("PauseRecord"); paused = true; }
    void ResumeRecord() override { check("ResumeRecord"); paused = false; }
    bool IsPaused() override { check("IsPaused"); return paused; }
    void SetStretchLength(double seconds) override {
        if (recording && !paused) stretchLengths.push_back(seconds);
    }
};

}  // namespace tvn::testing
