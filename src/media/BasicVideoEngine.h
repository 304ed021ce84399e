#pragma once

#include "media/VideoEngine.h"

#include "media/PlacedComponent.h"

namespace tvn {

// The common ground of the real engines: stores every setting and placement and
// reads it back, places the display widget, and answers with nothing. Alone it
// is the engine of a machine without one: commands and settings are accepted,
// queries answer 0 or empty, and the operations that would need real media
// (OpenClip, StartFileCapture, ConvertToWmv) fail with a clear "not available"
// error. The real display and recording engines override what they do for real.
class BasicVideoEngine : public PlacedComponent<VideoEngine> {
    Q_OBJECT
public:
    explicit BasicVideoEngine(QWidget* parent);

    void SetVideoRenderer(int32_t value) override { videoRenderer_ = value; }
    int32_t VideoRenderer() override { return videoRenderer_; }
    void SetDeinterlace(int32_t onOff) override { deinterlace_ = onOff; }
    int32_t Deinterlace() override { return deinterlace_; }
    void SetFlipMode(int16_t mode) override { flipMode_ = mode; }
    int16_t FlipMode() override { return flipMode_; }
    void SetOption43(int32_t value) override { option43_ = value; }
    int32_t Option43() override { return option43_; }
    void SetOption30(int32_t value) override { option30_ = value; }
    int32_t Option30() override { return option30_; }
    void SetOption32(int16_t value) override { option32_ = value; }
    int16_t Option32() override { return option32_; }
    void SetOption38(int32_t value) override { option38_ = value; }
    int32_t Option38() override { return option38_; }
    void SetOption42(bool value) override { option42_ = value; }
    bool Option42() override { return option42_; }
    void SetBackColor(int32_t colour) override;
    int32_t BackColor() override { return backColor_; }

    void OpenClip(const QString& fileName) override;
    void Stop() override {}
    void Play() override {}
    void Pause() override {}
    void Seek(double) override {}
    void SetRate(double rate) override { rate_ = rate; }
    double Rate() override { return rate_; }
    void SetVolume(int32_t volume) override { volume_ = volume; }
    void Call154(bool) override {}
    void FullScreen(int32_t) override {}

    double GetFrameCount() override { return 0; }
    int32_t GetDuration() override { return 0; }
    void GetVideoSize(int32_t& width, int32_t& height) override { width = height = 0; }
    double GetPosition() override { return 0; }
    int32_t VideoWidth() override { return 0; }
    int32_t VideoHeight() override { return 0; }

    Picture CurrentFramePicture() override { return {}; }
    int32_t GetFrameBitmap() override { return 0; }
    bool SaveFrameJpeg(const QString&, int32_t) override { return false; }
    bool UploadFrame(const QString&, const QString&, const QString&, const QString&, const QString&, int32_t,
                     int32_t) override {
        return false;
    }
    void SetTextOverlay(int32_t, const QString&, int32_t, int32_t, const QString&, int32_t, int32_t,
                        int32_t) override {}
    void setOverlayImage(int32_t, const QImage&, int32_t, int32_t, int32_t, int32_t, int32_t&, int32_t) override {}

    void SetCaptureFileName(const QString& fileName) override { captureFileName_ = fileName; }
    QString CaptureFileName() override { return captureFileName_; }
    void SetRecordFlag28(bool value) override { recordFlag28_ = value; }
    void Call59() override {}
    void SetFrameSize(int32_t width, int32_t height) override;
    int32_t VideoCompressorCount() override { return 0; }
    QString VideoCompressorName(int32_t) override { return {}; }
    void SetVideoCompressor(int32_t index) override { videoCompressor_ = index; }
    int32_t VideoCompressor() override { return videoCompressor_; }
    void SetAudioCompressor(int32_t index) override { audioCompressor_ = index; }
    void checkFileCapture(double fps) override;
    void StartFileCapture(double fps) override;
    void addFrame(const QImage&) override {}
    void StopFileCapture() override {}
    void SetSetting3(int32_t value) override { setting3_ = value; }
    int32_t ProfileCount() override { return 0; }
    QString ProfileName(int32_t) override { return {}; }
    void SetProfile(int32_t index) override { profile_ = index; }
    int32_t Profile() override { return profile_; }
    void SetCustomProfile(const QString& text) override { customProfile_ = text; }
    void ConvertToWmv(const QString& videoFile, const QString& audioFile, const QString& outputFile,
                      double fromSeconds, double toSeconds) override;

protected:
    // What the real engines read of the stored settings.
    double rate() const { return rate_; }
    int32_t volume() const { return volume_; }
    int32_t frameWidth() const { return frameWidth_; }
    int32_t frameHeight() const { return frameHeight_; }
    int32_t audioCompressor() const { return audioCompressor_; }
    int32_t setting3() const { return setting3_; }
    const QString& customProfile() const { return customProfile_; }
    // Replaces the plain display by the engine's own widget (the base owns it).

private:
    int32_t videoRenderer_ = 0;
    int32_t deinterlace_ = 0;
    int16_t flipMode_ = 0;
    int32_t option43_ = 0, option30_ = 0, option38_ = 0;
    int16_t option32_ = 0;
    bool option42_ = false;
    int32_t backColor_ = 0;
    double rate_ = 1.0;
    int32_t volume_ = 100;
    QString captureFileName_;
    bool recordFlag28_ = false;
    int32_t frameWidth_ = 0, frameHeight_ = 0;
    int32_t videoCompressor_ = -1, audioCompressor_ = -1, setting3_ = 0, profile_ = -1;
    QString customProfile_;
};

}  // namespace tvn
