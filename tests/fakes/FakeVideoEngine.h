#pragma once

#include "core/BitmapTable.h"
#include "fakes/ScriptedFailures.h"
#include "media/BasicVideoEngine.h"

#include <QList>
#include <QMap>
#include <QStringList>
#include <array>
#include <cmath>
#include <functional>

namespace tvn::testing {

// The accept-everything engine (it stores every setting) with answers a test
// scripts, failures it scripts (failOn("Seek", error)), and the state tests
// read: the last seek, play and pause counts, overlay slots, frames added.
// Tests fire its notifications by emitting its signals.
class FakeVideoEngine : public BasicVideoEngine, public ScriptedFailures {
public:
    explicit FakeVideoEngine(QWidget* parent) : BasicVideoEngine(parent) { SetBackColor(-1); }
    using BasicVideoEngine::audioCompressor;
    using BasicVideoEngine::customProfile;
    using BasicVideoEngine::setting3;

    struct OverlayBitmap {
        QImage image;
        std::array<int32_t, 6> place;  // x, y, width, height, key colour, alpha
    };

    // Scripted answers.
    double frameCount = 0;
    int32_t duration = 0, videoWidth = 0, videoHeight = 0;
    double position = 0;
    QStringList compressorNames, profileNames;
    std::optional<int32_t> profileCount;  // else the number of names
    bool saveJpegResult = true, uploadResult = true;
    Picture currentPicture;
    std::function<void()> onStartCapture;  // runs as a capture starts
    std::function<void()> onFramePicture;  // runs as the current frame is handed out
    // Where seekApproximate lands: the start of the keyframe interval (this long) ms is in; 0: exactly at ms.
    double keyframeEveryMs = 0;

    // What the control left.
    QString openedClip, savedJpeg, textOverlay;
    std::optional<double> lastSeek;
    std::optional<double> lastScrub;  // the last seekApproximate asked for
    int plays = 0, pauses = 0, stops = 0, seeks = 0, overlaysSet = 0, framePictures = 0;
    double rate = 0;
    int32_t volume = 0, frameWidth = -1, frameHeight = -1;
    std::optional<double> captureFps;  // set while a capture runs
    int captureStops = 0;
    QList<QImage> addedFrames;  // as handed over by each AddFrame
    QMap<int32_t, OverlayBitmap> overlays;
    QStringList converted;  // video, audio, output of the last conversion
    bool recordFlag28 = false;

    void OpenClip(const QString& f) override { check("OpenClip"); openedClip = f; }
    void Stop() override { check("Stop"); ++stops; openedClip.clear(); }
    void Play() override { check("Play"); ++plays; }
    void Pause() override { check("Pause"); ++pauses; }
    void Seek(double ms) override { check("Seek"); ++seeks; lastSeek = ms; }
    double seekApproximate(double ms) override {
        check("seekApproximate");
        lastScrub = ms;
        return keyframeEveryMs > 0 ? std::floor(ms / keyframeEveryMs) * keyframeEveryMs : ms;
    }
    void SetRate(double r) override { check("SetRate"); rate = r; BasicVideoEngine::SetRate(r); }
    void SetVolume(int32_t v) override { check("SetVolume"); volume = v; }
    void FullScreen(int32_t) override { check("FullScreen"); }
    int16_t FlipMode() override { check("FlipMode"); return BasicVideoEngine::FlipMode(); }
    void SetFlipMode(int16_t m) override { check("FlipMode"); BasicVideoEngine::SetFlipMode(m); }
    int32_t Option43() override { check("Option43"); return BasicVideoEngine::Option43(); }

    double GetFrameCount() override { return frameCount; }
    int32_t GetDuration() override { return duration; }
    void GetVideoSize(int32_t& w, int32_t& h) override { w = videoWidth; h = videoHeight; }
    double GetPosition() override { check("GetPosition"); return position; }
    int32_t VideoWidth() override { return videoWidth; }
    int32_t VideoHeight() override { return videoHeight; }

    Picture CurrentFramePicture() override {
        check("CurrentFramePicture");
        ++framePictures;
        if (onFramePicture) onFramePicture();
        return currentPicture;
    }
    int32_t GetFrameBitmap() override { check("GetFrameBitmap"); return 0; }
    bool SaveFrameJpeg(const QString& f, int32_t) override { check("SaveFrameJpeg"); savedJpeg = f; return saveJpegResult; }
    bool UploadFrame(const QString&, const QString&, const QString&, const QString&, const QString&, int32_t,
                     int32_t) override {
        check("UploadFrame");
        return uploadResult;
    }
    void SetTextOverlay(int32_t, const QString& text, int32_t, int32_t, const QString&, int32_t, int32_t,
                        int32_t) override {
        textOverlay = text;
    }
    void setOverlayImage(int32_t slot, const QImage& image, int32_t x, int32_t y, int32_t w, int32_t h, int32_t& key,
                         int32_t alpha) override {
        check("SetOverlayBitmap");
        ++overlaysSet;
        overlays[slot] = {image, {x, y, w, h, key, alpha}};
    }

    void SetRecordFlag28(bool v) override { check("RecordFlag28"); recordFlag28 = v; }
    void SetFrameSize(int32_t w, int32_t h) override { check("SetFrameSize"); frameWidth = w; frameHeight = h; }
    int32_t VideoCompressorCount() override { return static_cast<int32_t>(compressorNames.size()); }
    QString VideoCompressorName(int32_t i) override { return compressorNames.value(i); }
    void checkFileCapture(double) override { check("checkFileCapture"); }
    void StartFileCapture(double fps) override {
        check("StartFileCapture");
        if (onStartCapture) onStartCapture();
        captureFps = fps;
    }
    void addFrame(const QImage& frame) override { addedFrames.append(frame); check("AddFrame"); }
    void StopFileCapture() override { check("StopFileCapture"); ++captureStops; captureFps.reset(); }
    int32_t ProfileCount() override { return profileCount.value_or(static_cast<int32_t>(profileNames.size())); }
    QString ProfileName(int32_t i) override { return profileNames.value(i); }
    void ConvertToWmv(const QString& video, const QString& audio, const QString& out, double, double) override {
        converted = {video, audio, out};
    }
};

}  // namespace tvn::testing
