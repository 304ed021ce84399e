#pragma once

#include "core/TvnError.h"
#include "fakes/CallLog.h"
#include "media/VideoMixer.h"

#include <QMap>
#include <QWidget>

namespace tvn::testing {

// A mixer that records every call; AddSource hands out 1, 2, 3, ... unless scripted.
class FakeVideoMixer : public VideoMixer {
    Q_OBJECT
public:
    FakeVideoMixer(CallLog& log, QWidget* parent);

    // Scripted answers.
    int32_t nextSourceId = 1;
    int32_t sourceWidth = 0, sourceHeight = 0;
    double sourceDuration = 0;
    int32_t sourceFrameCount = 0;
    Picture mixedPicture;
    void failOn(const QString& operation, const TvnError& error) { failures_.insert(operation, error); }
    // Fails the n-th call (1-based) of the operation only.
    void failOnCall(const QString& operation, int n, const TvnError& error);

    double width = 0, height = 0, left = 0, top = 0;

    QWidget* Display() override { return display_; }
    void SetVisible(bool visible) override;
    bool Visible() override;
    void SetLeft(double v) override { set("Left", CallLog::arg(v)); left = v; }
    void SetTop(double v) override { set("Top", CallLog::arg(v)); top = v; }
    void SetWidth(double v) override { set("Width", CallLog::arg(v)); width = v; }
    void SetHeight(double v) override { set("Height", CallLog::arg(v)); height = v; }
    double Left() override { get("Left"); return left; }
    double Top() override { get("Top"); return top; }
    double Width() override { get("Width"); return width; }
    double Height() override { get("Height"); return height; }

    void Call9() override { call("Call9"); }
    void SetMixerSetting2(int32_t v) override { set("MixerSetting2", CallLog::arg(v)); }
    int32_t MixerSetting2() override { get("MixerSetting2"); return 0; }
    int32_t AddSource(const QString& fileName, int32_t flags) override;
    void Call11() override { call("Call11"); }
    void RemoveSource(int32_t s) override { call("RemoveSource", {CallLog::arg(s)}); }
    void StopAll() override { call("StopAll"); }
    void GetSourceSize(int32_t s, int32_t& w, int32_t& h) override;
    double GetSourceDuration(int32_t s) override { call("GetSourceDuration", {CallLog::arg(s)}); return sourceDuration; }
    int32_t GetSourceFrameCount(int32_t s) override {
        call("GetSourceFrameCount", {CallLog::arg(s)});
        return sourceFrameCount;
    }
    void SetSourceDeinterlace(int32_t s, int32_t v) override {
        call("SetSourceDeinterlace", {CallLog::arg(s), CallLog::arg(v)});
    }
    void SetSourceAlpha(int32_t s, float a) override { call("SetSourceAlpha", {CallLog::arg(s), CallLog::arg(a)}); }
    void SetSourceRect(int32_t s, float x, float y, float w, float h) override {
        call("SetSourceRect", {CallLog::arg(s), CallLog::arg(x), CallLog::arg(y), CallLog::arg(w), CallLog::arg(h)});
    }
    void SeekSource(int32_t s, double p) override { call("SeekSource", {CallLog::arg(s), CallLog::arg(p)}); }
    void PlaySource(int32_t s) override { call("PlaySource", {CallLog::arg(s)}); }
    void PauseSource(int32_t s) override { call("PauseSource", {CallLog::arg(s)}); }
    Picture MixedFramePicture(int32_t which) override {
        call("MixedFramePicture", {CallLog::arg(which)});
        return mixedPicture;
    }

private:
    void call(const char* op, std::initializer_list<QString> args = {});
    void set(const char* prop, const QString& value);
    void get(const char* prop);
    void failIfScripted(const QString& op);

    CallLog& log_;
    QWidget* display_;
    QMap<QString, TvnError> failures_;
    QMap<QString, QPair<int, TvnError>> failOnNth_;
    QMap<QString, int> calls_;
};

}  // namespace tvn::testing
