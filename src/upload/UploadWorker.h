#pragma once

#include "upload/FrameUploader.h"

#include <QByteArray>
#include <QString>
#include <atomic>
#include <cstdint>
#include <functional>
#include <thread>

namespace tvn {

// Runs one frame upload at a time on a thread of its own ("tvn-upload"), so the
// UI thread never sits in a transfer. start() returns at once; done() is called
// on the worker thread when the transfer ends, with the outcome. cancel() gives
// a running transfer up within FrameUploader's poll (50 ms); the destructor
// cancels and waits that long at most.
class UploadWorker {
public:
    struct Job {
        QByteArray data;
        QString server, user, password, path, fileName;
        int32_t port = 0;
    };
    // ok, and why not (FrameUploader::lastError(): no credentials in it).
    using Done = std::function<void(bool ok, const QString& error)>;

    UploadWorker() = default;
    ~UploadWorker();
    UploadWorker(const UploadWorker&) = delete;
    UploadWorker& operator=(const UploadWorker&) = delete;

    // Starts a transfer; the one before must have ended (its done() called).
    void start(Job job, Done done);
    void cancel();

    int connectTimeoutSeconds = FrameUploader::kDefaultConnectTimeoutSeconds;
    int idleTimeoutSeconds = FrameUploader::kDefaultIdleTimeoutSeconds;

private:
    std::thread thread_;
    std::atomic<bool> cancel_{false};
};

}  // namespace tvn
