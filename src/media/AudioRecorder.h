#pragma once

#include <QString>
#include <cstdint>

namespace tvn {

// The audio recorder: lists capture devices and their line inputs (indices from 0)
// and records the selected input into a WAVE file.
class AudioRecorder {
public:
    virtual ~AudioRecorder() = default;

    virtual int32_t GetDeviceCount() = 0;
    virtual QString GetDeviceName(int32_t index) = 0;
    virtual void SelectDevice(int32_t index) = 0;
    virtual int32_t GetLineInputCount() = 0;
    virtual QString GetLineInputName(int32_t index) = 0;
    virtual void SelectLineInput(int32_t index) = 0;

    virtual void SetRecordOption(int32_t code) = 0;
    // Three further numeric settings, issued with 0 at every lesson start.
    virtual void SetSetting1(int32_t value) = 0;
    virtual void SetSetting2(int32_t value) = 0;
    virtual void SetSetting3(int32_t value) = 0;

    virtual void SetFileName(const QString& fileName) = 0;
    virtual void StartRecord(int32_t channels, int32_t sampleRate) = 0;
    virtual void StopRecord() = 0;
    virtual void PauseRecord() = 0;
    virtual void ResumeRecord() = 0;
    virtual bool IsPaused() = 0;

    // Beyond the documented operations: the pictures of the running stretch of
    // recording (from the start or the last resume) last `seconds`. The next
    // PauseRecord or StopRecord ends the stretch's sound at that length rather
    // than at the moment of the call (cut there, or silence after the call), so
    // every stretch of sound is as long as its pictures and a lesson paused
    // many times does not drift. Ignored while nothing records or while paused.
    virtual void SetStretchLength(double seconds) = 0;
};

}  // namespace tvn
