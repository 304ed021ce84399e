#pragma once

#include "core/TvnError.h"
#include "fakes/CallLog.h"
#include "media/VideoEngine.h"

#include <QMap>
#include <QStringList>
#include <QWidget>
#include <optional>

namespace tvn::testing {

// A video engine that records every call into the shared log, answers what the
// test scripted, and lets the test fire its notifications (emit the signals).
// Property writes log "Name.Prop = value", reads log "Name.Prop".
class FakeVideoEngine : public VideoEngine {
    Q_OBJECT
public:
    FakeVideoEngine(QString name, CallLog& log, QWidget* parent);

    // Scripted answers.
    double frameCount = 0;
    int32_t duration = 0;
    int32_t videoWidth = 0, videoHeight = 0;
    double position = 0;
    QStringList compressorNames;
    QStringList profileNames;  // index Count() answers ""
    bool saveJpegResult = true;
    bool uploadResult = true;
    Picture currentPicture;
    int32_t frameBitmap = 0;
    // The next call of `operation` (and every later one) throws `error`.
    void failOn(const QString& operation, const TvnError& error) { failures_.insert(operation, error); }
    void clearFailures() { failures_.clear(); }

    // State the control left.
    int32_t option43 = 0;
    double width = 0, height = 0, left = 0, top = 0;
    int16_t flipMode = 0;
    int32_t videoCompressor = -1, profile = -1;
    QString customProfile;
    QString captureFileName;
    int32_t lastOverlayKeyColour = 0;

    QWidget* Display() override { return display_; }

    void SetVisible(bool visible) override;
    bool Visible() override;
    void SetLeft(double twips) override { set("Left", CallLog::arg(twips)); left = twips; }
    void SetTop(double twips) override { set("Top", CallLog::arg(twips)); top = twips; }
    void SetWidth(double twips) override { set("Width", CallLog::arg(twips)); width = twips; }
    void SetHeight(double twips) override { set("Height", CallLog::arg(twips)); height = twips; }
    double Left() override { get("Left"); return left; }
    double Top() override { get("Top"); return top; }
    double Width() override { get("Width"); return width; }
    double Height() override { get("Height"); return height; }

    void SetVideoRenderer(int32_t v) override { set("VideoRenderer", CallLog::arg(v)); videoRenderer_ = v; }
    int32_t VideoRenderer() override { get("VideoRenderer"); return videoRenderer_; }
    void SetDeinterlace(int32_t v) override { set("Deinterlace", CallLog::arg(v)); deinterlace_ = v; }
    int32_t Deinterlace() override { get("Deinterlace"); return deinterlace_; }
    void SetFlipMode(int16_t v) override { set("FlipMode", CallLog::arg(v)); flipMode = v; }
    int16_t FlipMode() override { get("FlipMode"); return flipMode; }
    void SetOption43(int32_t v) override { set("Option43", CallLog::arg(v)); option43 = v; }
    int32_t Option43() override { get("Option43"); return option43; }
    void SetOption30(int32_t v) override { set("Option30", CallLog::arg(v)); }
    int32_t Option30() override { get("Option30"); return 0; }
    void SetOption32(int16_t v) override { set("Option32", CallLog::arg(v)); }
    int16_t Option32() override { get("Option32"); return 0; }
    void SetOption38(int32_t v) override { set("Option38", CallLog::arg(v)); }
    int32_t Option38() override { get("Option38"); return 0; }
    void SetOption42(bool v) override { set("Option42", CallLog::arg(v)); }
    bool Option42() override { get("Option42"); return false; }
    void SetBackColor(int32_t v) override { set("BackColor", CallLog::arg(v)); }
    int32_t BackColor() override { get("BackColor"); return 0; }

    void OpenClip(const QString& f) override { call("OpenClip", {CallLog::arg(f)}); }
    void Stop() override { call("Stop"); }
    void Play() override { call("Play"); }
    void Pause() override { call("Pause"); }
    void Seek(double ms) override { call("Seek", {CallLog::arg(ms)}); }
    void SetRate(double r) override { call("SetRate", {CallLog::arg(r)}); }
    void SetVolume(int32_t v) override { call("SetVolume", {CallLog::arg(v)}); }
    void Call154(bool v) override { call("Call154", {CallLog::arg(v)}); }
    void FullScreen(int32_t v) override { call("FullScreen", {CallLog::arg(v)}); }

    double GetFrameCount() override { call("GetFrameCount"); return frameCount; }
    int32_t GetDuration() override { call("GetDuration"); return duration; }
    void GetVideoSize(int32_t& w, int32_t& h) override;
    double GetPosition() override { call("GetPosition"); return position; }
    int32_t VideoWidth() override { get("VideoWidth"); return videoWidth; }
    int32_t VideoHeight() override { get("VideoHeight"); return videoHeight; }

    Picture CurrentFramePicture() override { call("CurrentFramePicture"); return currentPicture; }
    int32_t GetFrameBitmap() override { call("GetFrameBitmap"); return frameBitmap; }
    bool SaveFrameJpeg(const QString& f, int32_t q) override;
    bool UploadFrame(const QString& server, const QString& user, const QString& password, const QString& path,
                     const QString& fileName, int32_t port, int32_t quality) override;
    void SetTextOverlay(int32_t slot, const QString& text, int32_t x, int32_t y, const QString& font, int32_t size,
                        int32_t colour, int32_t background) override;
    void SetOverlayBitmap(int32_t slot, int32_t handle, int32_t x, int32_t y, int32_t w, int32_t h,
                          int32_t& keyColour, int32_t alpha) override;

    void SetCaptureFileName(const QString& f) override { set("CaptureFileName", CallLog::arg(f)); captureFileName = f; }
    QString CaptureFileName() override { get("CaptureFileName"); return captureFileName; }
    void SetRecordFlag28(bool v) override { set("RecordFlag28", CallLog::arg(v)); }
    void Call59() override { call("Call59"); }
    void SetFrameSize(int32_t w, int32_t h) override { call("SetFrameSize", {CallLog::arg(w), CallLog::arg(h)}); }
    int32_t VideoCompressorCount() override;
    QString VideoCompressorName(int32_t i) override;
    void SetVideoCompressor(int32_t i) override { set("VideoCompressor", CallLog::arg(i)); videoCompressor = i; }
    int32_t VideoCompressor() override { get("VideoCompressor"); return videoCompressor; }
    void SetAudioCompressor(int32_t i) override { set("AudioCompressor", CallLog::arg(i)); }
    void StartFileCapture(double fps) override { call("StartFileCapture", {CallLog::arg(fps)}); }
    void AddFrame(int32_t handle) override;
    void StopFileCapture() override { call("StopFileCapture"); }
    void SetSetting3(int32_t v) override { set("Setting3", CallLog::arg(v)); }
    int32_t ProfileCount() override;
    QString ProfileName(int32_t i) override;
    void SetProfile(int32_t i) override { set("Profile", CallLog::arg(i)); profile = i; }
    int32_t Profile() override { get("Profile"); return profile; }
    void SetCustomProfile(const QString& t) override { set("CustomProfile", CallLog::arg(t)); customProfile = t; }
    void ConvertToWmv(const QString& video, const QString& audio, const QString& out, double from,
                      double to) override;

    // Frames given to AddFrame, as images taken from the bitmap table at the call.
    QList<QImage> addedFrames;

private:
    void call(const char* op, std::initializer_list<QString> args = {});
    void set(const char* prop, const QString& value);
    void get(const char* prop);
    void failIfScripted(const QString& op);

    QString name_;
    CallLog& log_;
    QWidget* display_;
    QMap<QString, TvnError> failures_;
    int32_t videoRenderer_ = 0, deinterlace_ = 0;
};

}  // namespace tvn::testing
