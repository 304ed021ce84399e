#pragma once

#include "core/TvnError.h"
#include "fakes/CallLog.h"
#include "media/AudioRecorder.h"

#include <QMap>
#include <QStringList>

namespace tvn::testing {

// An audio recorder that records every call, names the devices and line inputs
// the test gives it, and reports the paused state the test sets.
class FakeAudioRecorder : public AudioRecorder {
public:
    explicit FakeAudioRecorder(CallLog& log) : log_(log) {}

    QStringList deviceNames;
    QStringList lineInputNames;
    bool paused = false;
    void failOn(const QString& operation, const TvnError& error) { failures_.insert(operation, error); }

    int32_t GetDeviceCount() override { call("GetDeviceCount"); return static_cast<int32_t>(deviceNames.size()); }
    QString GetDeviceName(int32_t i) override { call("GetDeviceName", {CallLog::arg(i)}); return deviceNames.value(i); }
    void SelectDevice(int32_t i) override { call("SelectDevice", {CallLog::arg(i)}); }
    int32_t GetLineInputCount() override {
        call("GetLineInputCount");
        return static_cast<int32_t>(lineInputNames.size());
    }
    QString GetLineInputName(int32_t i) override {
        call("GetLineInputName", {CallLog::arg(i)});
        return lineInputNames.value(i);
    }
    void SelectLineInput(int32_t i) override { call("SelectLineInput", {CallLog::arg(i)}); }
    void SetRecordOption(int32_t c) override { call("SetRecordOption", {CallLog::arg(c)}); }
    void SetSetting1(int32_t v) override { call("SetSetting1", {CallLog::arg(v)}); }
    void SetSetting2(int32_t v) override { call("SetSetting2", {CallLog::arg(v)}); }
    void SetSetting3(int32_t v) override { call("SetSetting3", {CallLog::arg(v)}); }
    void SetFileName(const QString& f) override { call("SetFileName", {CallLog::arg(f)}); }
    void StartRecord(int32_t ch, int32_t rate) override { call("StartRecord", {CallLog::arg(ch), CallLog::arg(rate)}); }
    void StopRecord() override { call("StopRecord"); }
    void PauseRecord() override { call("PauseRecord"); }
    void ResumeRecord() override { call("ResumeRecord"); }
    bool IsPaused() override { call("IsPaused"); return paused; }

private:
    void call(const char* op, std::initializer_list<QString> args = {}) {
        log_.add(CallLog::call(QStringLiteral("audioRecorder"), op, args));
        auto it = failures_.find(QLatin1String(op));
        if (it != failures_.end()) throw *it;
    }

    CallLog& log_;
    QMap<QString, TvnError> failures_;
};

}  // namespace tvn::testing
