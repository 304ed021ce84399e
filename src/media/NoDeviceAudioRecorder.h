#pragma once

#include "media/AudioRecorder.h"

namespace tvn {

// The recorder of a machine without capture devices: no devices, no line inputs,
// settings accepted, and a recording that records nothing (a lesson then
// records video only). Selecting a device fails: there is none to select.
class NoDeviceAudioRecorder : public AudioRecorder {
public:
    int32_t GetDeviceCount() override { return 0; }
    QString GetDeviceName(int32_t index) override;
    void SelectDevice(int32_t index) override;
    int32_t GetLineInputCount() override { return 0; }
    QString GetLineInputName(int32_t index) override;
    void SelectLineInput(int32_t) override {}
    void SetRecordOption(int32_t) override {}
    void SetSetting1(int32_t) override {}
    void SetSetting2(int32_t) override {}
    void SetSetting3(int32_t) override {}
    void SetFileName(const QString& fileName) override { fileName_ = fileName; }
    void StartRecord(int32_t, int32_t) override { paused_ = false; }
    void StopRecord() override { paused_ = false; }
    void PauseRecord() override { paused_ = true; }
    void ResumeRecord() override { paused_ = false; }
    bool IsPaused() override { return paused_; }
    void SetStretchLength(double) override {}

private:
    QString fileName_;
    bool paused_ = false;
};

}  // namespace tvn
