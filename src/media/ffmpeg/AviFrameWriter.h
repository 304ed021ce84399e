#pragma once

#include <QImage>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace tvn {

// Writes a lesson AVI from images, one image per frame, on a worker thread.
//
// The constructor opens the file and writes its header, so an unwritable folder
// or a full disk fails right there with an error naming the file. addFrame()
// only queues the image (a cheap shared copy) and returns: scaling and encoding
// run on the worker behind a bounded queue. The file always holds exactly one
// frame per addFrame() call: an image identical to the previous one (the same
// shared image, as a lesson's catch-up hands in) and any image that arrives
// while the queue is full are written as a copy of the previous frame. With an
// intra-only encoder that copy is the previous packet itself, not a second
// encode.
//
// Every packet is pushed to the file as it is written, so a process that dies
// mid-lesson leaves an AVI that FFmpeg reads up to its last frames. Files past
// the 1 GB RIFF limit continue in OpenDML (AVIX) parts, so lessons past 2 GB work.
//
// A full disk ends the video before the disk is full: each packet goes to the
// file only while the file system keeps room for it and for the index the end
// of the file needs (kReserveBytes plus kIndexBytesPerFrame per frame). Past
// that the writer stops taking frames (addFrame fails, naming the full disk),
// and finish() still writes the index, so the file is whole up to its last
// frame, then throws to say the lesson was cut short.
class AviFrameWriter {
public:
    struct Encoder {
        QString displayName;  // what a user recognises, e.g. "MJPEG (Motion JPEG)"
        QString codecName;    // the FFmpeg encoder name
    };
    // The encoders this machine's FFmpeg really offers for lesson files, in a
    // fixed order. The first, MJPEG at high quality, is the default.
    static const std::vector<Encoder>& offeredEncoders();

    struct Settings {
        QString fileName;
        int width = 640;
        int height = 480;
        // Stretch each image to width x height (false), or scale it to fit keeping
        // its aspect, centred on black (true).
        bool keepAspect = false;
        double fps = 25;
        QString codecName = QStringLiteral("mjpeg");
        int queueCapacity = 4;  // images waiting for the encoder
        // Bytes free to this process on the file's file system; empty: asked of the system.
        std::function<int64_t()> freeBytes;
    };
    static constexpr int64_t kReserveBytes = 1024 * 1024;
    static constexpr int64_t kIndexBytesPerFrame = 32;

    explicit AviFrameWriter(const Settings& settings);
    ~AviFrameWriter();  // finishes the file; failures are logged
    AviFrameWriter(const AviFrameWriter&) = delete;
    AviFrameWriter& operator=(const AviFrameWriter&) = delete;

    // Appends one frame; a null image gives a black frame. Fails only when the
    // worker has already failed (the file is then unusable past that point).
    void addFrame(const QImage& image);
    // Writes the remaining frames and the index and closes the file. Throws a
    // TvnError naming the file when any write failed. Runs once; later calls do nothing.
    void finish();

    int64_t framesAdded() const;
    // Frames the worker encoded anew (not copies of the previous frame).
    int64_t framesEncoded() const;
    const QString& fileName() const;

private:
    class Worker;
    std::unique_ptr<Worker> worker_;
};

}  // namespace tvn
