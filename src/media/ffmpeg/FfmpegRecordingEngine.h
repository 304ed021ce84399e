#pragma once

#include "media/BasicVideoEngine.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>

namespace tvn {

class AviFrameWriter;

// The recording instance of the video engine (VideoCapX4): writes lesson AVI
// files from bitmaps and compresses a lesson into one WMV (or MP4) file.
//
// Recording: checkFileCapture(fps) refuses what a start would refuse before it
// writes anything: a capture already running, no name, a rate outside 0 to
// 1000 frames per second (InvalidCall), an unknown encoder, a folder that is not
// there or not writable, a name that is a folder, pipe or device
// (PathFileAccess). StartFileCapture(fps) checks the same, then opens CaptureFileName() as an AVI at the
// frame size set by SetFrameSize, each image stretched to it; with no frame
// size set (0 x 0: a lesson started before any clip was open) it records
// 640 x 480 and fits each image inside keeping its aspect. VideoCompressor -1
// records MJPEG at high quality; otherwise the index into VideoCompressorName's
// list. addFrame(image) appends the image (black for a null image, which is
// what AddFrame gives for an empty or unknown handle) without encoding on the
// calling thread; the file holds one frame per frame added. StopFileCapture finalises the file and does
// nothing when no capture runs.
//
// Compression: ConvertToWmv runs on a worker thread and returns at once.
// CompressionProgress(p, 0) reports p = 0 to 100 in order and CompressionDone
// follows exactly once, both on the UI thread, also after a failure, whose
// description ConversionError() then returns (it is logged too, and Failed
// carries it just before CompressionDone). The profile
// used is the built-in one chosen by SetProfile; with Profile -1 it is the
// CustomProfile text (format in EncodingProfile.h; an empty text means none),
// and with neither "Video for broadband NTSC (1500 Kbps total)". A name ending
// in ".mp4" gives H.264 and AAC in MP4 instead of WMV. The span arguments are
// seconds. Setting3 and AudioCompressor are stored and do not change the
// result; the caption SetTextOverlay gives (one blank) is accepted and not drawn.
class FfmpegRecordingEngine : public BasicVideoEngine {
    Q_OBJECT
public:
    explicit FfmpegRecordingEngine(QWidget* parent = nullptr);
    ~FfmpegRecordingEngine() override;  // cancels a running conversion and closes a running capture

    int32_t VideoCompressorCount() override;
    QString VideoCompressorName(int32_t index) override;
    void checkFileCapture(double fps) override;
    void StartFileCapture(double fps) override;
    void addFrame(const QImage& frame) override;
    void StopFileCapture() override;

    int32_t ProfileCount() override;
    QString ProfileName(int32_t index) override;
    void SetCustomProfile(const QString& text) override;
    void ConvertToWmv(const QString& videoFile, const QString& audioFile, const QString& outputFile,
                      double fromSeconds, double toSeconds) override;

    // The description of the last conversion's failure; empty when it succeeded.
    QString ConversionError() const;
    bool IsConverting() const { return converting_; }
    // Frames added to the running capture (or the last one).
    int64_t CapturedFrameCount() const { return capturedFrames_; }

private:
    std::unique_ptr<AviFrameWriter> writer_;
    int64_t capturedFrames_ = 0;

    std::thread conversion_;
    std::atomic<bool> cancel_{false};
    std::atomic<bool> converting_{false};
    mutable std::mutex errorMutex_;  // guards conversionError_
    QString conversionError_;
};

}  // namespace tvn
