#pragma once

#include "core/TvnError.h"
#include "upload/UploadWorker.h"

#include <QByteArray>
#include <QImage>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>

namespace tvn {

// A display engine's picture as a file: saved as a JPEG, or sent as one to an
// FTP or HTTP server. Both answer True or False; the reason of a False goes to
// the failure report (the engine's Failed notification) with the engine's source
// text, "VideoEngine", and the operation's prefix.
//
// upload() sends on a worker thread (UploadWorker) and, until the transfer ends,
// runs the calling (UI) thread's event loop, so the window, the timers and a
// lesson's ticks go on; it then returns the result. One upload at a time: a
// second one asked for meanwhile answers False. When a handler that runs during
// the wait deletes the exporter (with its engine), the transfer ends and the
// call answers False without touching it.
class PictureExporter {
public:
    using FailureReport = std::function<void(const TvnError&)>;

    explicit PictureExporter(FailureReport report);
    ~PictureExporter();
    PictureExporter(const PictureExporter&) = delete;
    PictureExporter& operator=(const PictureExporter&) = delete;

    // The picture encoded as JPEG (quality clamped to 1..100); empty for a null picture.
    static QByteArray jpegOf(const QImage& picture, int32_t quality);
    // Written aside and renamed, so a failure never leaves a partial file behind.
    // A null picture means no clip is open.
    bool saveJpeg(const QImage& picture, const QString& fileName, int32_t quality);
    bool upload(const QImage& picture, const QString& server, const QString& user, const QString& password,
                const QString& path, const QString& fileName, int32_t port, int32_t quality);
    // Time-outs of upload (FrameUploader): reaching the server, and a transfer that stalls.
    void setUploadTimeouts(int connectSeconds, int idleSeconds);

private:
    FailureReport report_;
    UploadWorker upload_;
    bool uploading_ = false;  // an upload waits for its transfer
    // False once the exporter is gone: an upload's wait finds out through its copy.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace tvn
