#pragma once

#include "media/BasicVideoEngine.h"
#include "media/PictureExporter.h"
#include "media/ffmpeg/ClipDecoder.h"
#include "media/ffmpeg/ClipSoundPlayer.h"
#include "media/ffmpeg/EngineValues.h"
#include "media/FrameComposer.h"
#include "media/ffmpeg/FrameMailbox.h"
#include "media/ffmpeg/PlaybackWorker.h"
#include "media/ffmpeg/WorkerRestart.h"

#include <QPointer>
#include <memory>
#include <optional>

namespace tvn {

class EngineDisplayWidget;

// The display instance of the video engine on FFmpeg (VideoCapX1): opens and
// plays a clip, shows exact frames, hands out the picture as shown, lays
// overlay bitmaps and captions over it, and reports pointer and key input.
//
// Notifications (all on the UI thread):
// - StateChange: 2 while playing, 1 when paused (also after OpenClip and at the
//   clip's end), 0 when the clip is closed (Stop). Raised on every change.
// - PlaybackEnded: once, when playback reaches the last frame; the engine then
//   pauses on it. Play at the last frame starts again from the first.
// - Event1: once per OpenClip, when the clip is open and its first frame shown.
// - EngineFullScreenLost: when full screen ends by Escape or a double-click.
// - Failed: when play stops because the clip cannot be decoded further before
//   its end (damaged, cut short), just before that PlaybackEnded; when play
//   cannot go on after a change made while playing (the engine then pauses);
//   when the clip's sound cannot be played on (play goes on silently); and with
//   the reason of a SaveFrameJpeg or UploadFrame that answers False.
//
// SaveFrameJpeg and UploadFrame hand the picture as shown to a PictureExporter:
// UploadFrame sends on a worker thread and, until the transfer ends, runs the UI
// thread's event loop; one upload at a time; a handler that deletes the engine
// during the wait ends the transfer, and the call answers False.
//
// Settings: Deinterlace 1 runs every picture through FFmpeg's estdif deinterlacer; FlipMode 101 mirrors
// the picture left to right (overlays are not mirrored); BackColor fills the
// display while no clip is open. VideoRenderer, Option30/32/38/42/43 and Call154
// are stored and read back; with one drawing path (QPainter) they change nothing.
// SetRate plays at 0.1 to 4.0 (rates outside are clamped; Rate() says which)
// and refuses 0, negative rates and NaN with InvalidCall; at rates other than 1
// the sound is tempo-corrected (same pitch, played faster or slower).
class FfmpegDisplayEngine : public BasicVideoEngine {
    Q_OBJECT
public:
    explicit FfmpegDisplayEngine(QWidget* parent);
    ~FfmpegDisplayEngine() override;

    void SetDeinterlace(int32_t onOff) override;
    void SetFlipMode(int16_t mode) override;
    void SetBackColor(int32_t colour) override;

    void OpenClip(const QString& fileName) override;
    void Stop() override;
    void Play() override;
    void Pause() override;
    void Seek(double ms) override;
    double seekApproximate(double ms) override;
    void SetRate(double rate) override;
    void SetVolume(int32_t volume) override;
    void Call154(bool value) override { storeUnusedFlag(value); }
    void FullScreen(int32_t onOff) override;

    double GetFrameCount() override;
    int32_t GetDuration() override;
    void GetVideoSize(int32_t& width, int32_t& height) override;
    double GetPosition() override;
    int32_t VideoWidth() override;
    int32_t VideoHeight() override;

    Picture CurrentFramePicture() override;
    FrameComposer composition() const override { return composer_; }
    int32_t GetFrameBitmap() override;
    bool SaveFrameJpeg(const QString& fileName, int32_t quality) override;
    bool UploadFrame(const QString& server, const QString& user, const QString& password, const QString& path,
                     const QString& fileName, int32_t port, int32_t quality) override;
    void SetTextOverlay(int32_t slot, const QString& text, int32_t x, int32_t y, const QString& fontName,
                        int32_t fontSize, int32_t colour, int32_t background) override;
    void setOverlayImage(int32_t slot, const QImage& image, int32_t x, int32_t y, int32_t width, int32_t height,
                         int32_t& keyColour, int32_t alpha) override;

    // Memory for decoded frames around the position (default ClipDecoder::defaultCacheBudget()).
    void setCacheBudgetBytes(int64_t bytes);
    ClipDecoder::Stats decoderStats() const { return decoder_.stats(); }
    bool isPlaying() const { return playing_; }
    bool isFullScreen() const;
    // The composed picture, as painted; null with no clip.
    QImage shownPicture() const { return composed_; }
    // Encodes the shown picture as JPEG (quality 1..100); empty with no clip.
    QByteArray jpegOfShownFrame(int32_t quality) const;
    // Time-outs of UploadFrame (FrameUploader): reaching the server, and a transfer that stalls.
    void setUploadTimeouts(int connectSeconds, int idleSeconds);

private:
    void stopWorker();
    void startWorker();
    // Stops a playing worker for a change and plays on after it (WorkerRestart).
    WorkerRestart restartAfterChange();
    void showFrame(const VideoFrame& frame);
    void recompose();
    void deliverFrame();
    void setState(engine::State state);
    // Event1: the clip just opened shows its first frame.
    void announceFirstFrame() { emit Event1(); }
    // Call154 is stored for the host and changes nothing here.
    void storeUnusedFlag(bool value) { unusedFlag_ = value; }
    void leaveFullScreen();
    void closeClip();

    EngineDisplayWidget* view_ = nullptr;
    QPointer<EngineDisplayWidget> fullScreenView_;
    ClipDecoder decoder_;
    FrameMailbox mailbox_;  // frames the worker made due, picked up on the UI thread
    PlaybackWorker worker_{"VideoEngine"};
    ClipSoundPlayer sound_;
    PictureExporter export_{[this](const TvnError& e) { emit Failed(e); }};
    FrameComposer composer_;
    VideoFrame shown_;
    QImage composed_;
    bool playing_ = false;
    engine::State state_ = engine::State::Closed;
    bool unusedFlag_ = false;
};

}  // namespace tvn
