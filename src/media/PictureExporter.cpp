#include "media/PictureExporter.h"

#include "core/LogCategories.h"
#include "upload/FrameUploader.h"

#include <QBuffer>
#include <QEventLoop>
#include <QImageWriter>
#include <QSaveFile>
#include <algorithm>

namespace tvn {

namespace {
bool writeJpeg(const QImage& image, QIODevice* device, int32_t quality) {
    QImageWriter writer(device, "jpeg");
    writer.setQuality(std::clamp<int32_t>(quality, 1, 100));
    return writer.write(image);
}
}  // namespace

PictureExporter::PictureExporter(FailureReport report) : report_(std::move(report)) {}

PictureExporter::~PictureExporter() { *alive_ = false; }

QByteArray PictureExporter::jpegOf(const QImage& picture, int32_t quality) {
    if (picture.isNull()) return {};
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    return writeJpeg(picture, &buffer, quality) ? bytes : QByteArray();
}

bool PictureExporter::saveJpeg(const QImage& picture, const QString& fileName, int32_t quality) {
    // False says only that it failed; why goes to the host through the report.
    const auto refuse = [&](int32_t number, const QString& why) {
        report_(TvnError(number, QStringLiteral("Cannot save the frame as '%1': %2").arg(fileName, why),
                         QStringLiteral("VideoEngine"))
                    .prefixed("SaveFrameJpeg"));
        return false;
    };
    if (picture.isNull()) return refuse(err::InvalidCall, QStringLiteral("no clip is open"));
    if (fileName.isEmpty()) return refuse(err::PathFileAccess, QStringLiteral("no file name given"));
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly)) return refuse(err::PathFileAccess, file.errorString());
    if (!writeJpeg(picture, &file, quality)) {
        file.cancelWriting();
        return refuse(err::PathFileAccess, file.errorString().isEmpty() ? QStringLiteral("the JPEG could not be written")
                                                                        : file.errorString());
    }
    if (!file.commit()) return refuse(err::PathFileAccess, file.errorString());
    return true;
}

void PictureExporter::setUploadTimeouts(int connectSeconds, int idleSeconds) {
    upload_.connectTimeoutSeconds = connectSeconds;
    upload_.idleTimeoutSeconds = idleSeconds;
}

bool PictureExporter::upload(const QImage& picture, const QString& server, const QString& user,
                             const QString& password, const QString& path, const QString& fileName, int32_t port,
                             int32_t quality) {
    const auto refuse = [&](const QString& why) {
        const TvnError error = TvnError(err::UploadFailed, why, QStringLiteral("VideoEngine")).prefixed("UploadFrame");
        qCWarning(lcUpload, "%s", qPrintable(why));
        report_(error);
        return false;
    };
    const QString target = FrameUploader::shownUrl(FrameUploader::targetUrl(server, path, fileName));
    if (uploading_) return refuse(QStringLiteral("Upload to '%1' refused: the frame before is still being sent").arg(target));
    const QByteArray jpeg = jpegOf(picture, quality);
    if (jpeg.isEmpty()) return refuse(QStringLiteral("Upload to '%1' refused: no clip is open").arg(target));
    if (server.trimmed().isEmpty()) return refuse(QStringLiteral("Upload refused: no server given"));
    if (fileName.isEmpty()) return refuse(QStringLiteral("Upload to '%1' refused: no file name given").arg(target));

    // The transfer runs on the upload worker; this thread goes on with its events
    // (paints, timers, a lesson's ticks) until it ends. A handler that runs in
    // the meantime may delete the exporter: then nothing of it is touched after.
    struct Outcome {
        bool ok = false;
        QString error;
    };
    const auto outcome = std::make_shared<Outcome>();
    const std::shared_ptr<bool> alive = alive_;
    QEventLoop wait;
    uploading_ = true;
    upload_.start({jpeg, server, user, password, path, fileName, port},
                  [outcome, loop = &wait](bool ok, const QString& error) {
                      outcome->ok = ok;
                      outcome->error = error;
                      // The loop lives until it has run this: it returns only through it.
                      QMetaObject::invokeMethod(loop, &QEventLoop::quit, Qt::QueuedConnection);
                  });
    wait.exec();
    if (!*alive) return false;
    uploading_ = false;
    if (!outcome->ok) return refuse(outcome->error);
    return true;
}

}  // namespace tvn
