#pragma once

#include "core/Picture.h"
#include "media/FrameComposer.h"
#include "media/VisualComponent.h"

#include <QImage>
#include <QString>
#include <cstdint>

namespace tvn {

// The video engine the control drives. One kind of component serves two roles:
// the display instance (VideoCapX1) shows and plays a clip and reports input;
// the recording instance (VideoCapX4), never shown, writes lesson files from
// bitmaps and converts them. Operations are named as the control calls them.
//
// Units: positions and durations in milliseconds counted from the clip's first
// video frame; sizes from GetVideoSize/VideoWidth/VideoHeight in pixels;
// the placement properties Left/Top/Width/Height in twips (the container's unit);
// colours 0x00BBGGRR; pointer positions in twips from the display's top-left.
//
// Every notification is emitted on the UI thread and delivered by direct
// connection, so a handler may change the by-reference arguments.
class VideoEngine : public VisualComponent {
    Q_OBJECT
public:
    using VisualComponent::VisualComponent;
    ~VideoEngine() override = default;

    // Settings, each stored and read back.
    virtual void SetVideoRenderer(int32_t value) = 0;
    virtual int32_t VideoRenderer() = 0;
    virtual void SetDeinterlace(int32_t onOff) = 0;
    virtual int32_t Deinterlace() = 0;
    virtual void SetFlipMode(int16_t mode) = 0;  // 101 mirrored left to right, 0 normal
    virtual int16_t FlipMode() = 0;
    virtual void SetOption43(int32_t value) = 0;
    virtual int32_t Option43() = 0;
    virtual void SetOption30(int32_t value) = 0;
    virtual int32_t Option30() = 0;
    virtual void SetOption32(int16_t value) = 0;
    virtual int16_t Option32() = 0;
    virtual void SetOption38(int32_t value) = 0;
    virtual int32_t Option38() = 0;
    virtual void SetOption42(bool value) = 0;
    virtual bool Option42() = 0;
    virtual void SetBackColor(int32_t colour) = 0;
    virtual int32_t BackColor() = 0;

    // Playback.
    virtual void OpenClip(const QString& fileName) = 0;
    virtual void Stop() = 0;  // closes the clip
    virtual void Play() = 0;
    virtual void Pause() = 0;
    virtual void Seek(double ms) = 0;  // returns once the frame at ms is shown
    // Outside the vendor interface, for a host's slider while it is dragged:
    // shows at once a picture near ms that costs little (a frame the engine
    // holds decoded, or the keyframe at or before ms) and returns where the
    // frame shown starts (ms). The exact frame follows with Seek when the drag
    // ends. An engine with no cheaper way shows the exact frame.
    virtual double seekApproximate(double ms);
    // The engine plays at the rates it accepts: it refuses what is no rate
    // (InvalidCall) and may bring the rest into a range of its own; Rate() is the
    // rate it plays at.
    virtual void SetRate(double rate) = 0;
    virtual double Rate() = 0;
    virtual void SetVolume(int32_t volume) = 0;
    virtual void Call154(bool value) = 0;
    virtual void FullScreen(int32_t onOff) = 0;

    // Queries; 0 with no clip open.
    virtual double GetFrameCount() = 0;
    virtual int32_t GetDuration() = 0;
    virtual void GetVideoSize(int32_t& width, int32_t& height) = 0;
    virtual double GetPosition() = 0;
    virtual int32_t VideoWidth() = 0;
    virtual int32_t VideoHeight() = 0;

    // Frames.
    virtual Picture CurrentFramePicture() = 0;
    virtual int32_t GetFrameBitmap() = 0;
    virtual bool SaveFrameJpeg(const QString& fileName, int32_t quality) = 0;
    virtual bool UploadFrame(const QString& server, const QString& user, const QString& password,
                             const QString& path, const QString& fileName, int32_t port, int32_t quality) = 0;
    virtual void SetTextOverlay(int32_t slot, const QString& text, int32_t x, int32_t y, const QString& fontName,
                                int32_t fontSize, int32_t colour, int32_t background) = 0;
    // Shows the bitmap behind a handle of the bitmap table (0 removes the slot);
    // forwards to setOverlayImage. InvalidPicture for a handle the table does not hold.
    virtual void SetOverlayBitmap(int32_t slot, int32_t bitmapHandle, int32_t x, int32_t y, int32_t width,
                                  int32_t height, int32_t& keyColour, int32_t alpha);
    // The picture itself, for pictures the control makes (a null image removes the slot).
    virtual void setOverlayImage(int32_t slot, const QImage& image, int32_t x, int32_t y, int32_t width,
                                 int32_t height, int32_t& keyColour, int32_t alpha) = 0;
    // What the display lays over its frames now (overlays, captions, mirroring),
    // as a copy that composes the same picture for any frame away from the
    // screen; an engine that composes nothing gives an empty one.
    virtual FrameComposer composition() const { return {}; }

    // Recording and conversion (the recording instance).
    virtual void SetCaptureFileName(const QString& fileName) = 0;
    virtual QString CaptureFileName() = 0;
    virtual void SetRecordFlag28(bool value) = 0;
    virtual void Call59() = 0;
    virtual void SetFrameSize(int32_t width, int32_t height) = 0;
    virtual int32_t VideoCompressorCount() = 0;
    virtual QString VideoCompressorName(int32_t index) = 0;
    virtual void SetVideoCompressor(int32_t index) = 0;  // -1: none chosen, the engine's default
    virtual int32_t VideoCompressor() = 0;
    virtual void SetAudioCompressor(int32_t index) = 0;
    // Throws what StartFileCapture(fps) would refuse with the settings as they
    // are (the frame rate, the encoder, the name, its folder), touching no file,
    // so a caller can check before it deletes an old file. A start it passes can
    // still fail on the disk itself.
    virtual void checkFileCapture(double fps) = 0;
    virtual void StartFileCapture(double fps) = 0;
    // Appends the bitmap behind the handle (a null image for 0 or an unknown
    // handle); forwards to addFrame, which the control calls with its lesson
    // frames directly, so they never pass through the process-wide table.
    virtual void AddFrame(int32_t bitmapHandle);
    virtual void addFrame(const QImage& frame) = 0;
    virtual void StopFileCapture() = 0;
    virtual void SetSetting3(int32_t value) = 0;
    virtual int32_t ProfileCount() = 0;
    virtual QString ProfileName(int32_t index) = 0;  // index ProfileCount() answers ""
    virtual void SetProfile(int32_t index) = 0;
    virtual int32_t Profile() = 0;
    virtual void SetCustomProfile(const QString& text) = 0;
    virtual void ConvertToWmv(const QString& videoFile, const QString& audioFile, const QString& outputFile,
                              double fromSeconds, double toSeconds) = 0;

signals:
    void Event1();
    void PlaybackEnded();
    void StateChange(int32_t state);
    void EngineMouseDown(int16_t& button, int16_t& shift, float& x, float& y);
    void EngineMouseMove(int16_t& button, int16_t& shift, float& x, float& y);
    void EngineMouseUp(int16_t& button, int16_t& shift, float& x, float& y);
    void EngineKeyPress(int16_t& keyAscii);
    void EngineFullScreenLost();
    void CompressionProgress(int32_t progress, int32_t unused);
    void CompressionDone();
};

}  // namespace tvn
