#include "upload/UploadWorker.h"

#include <pthread.h>

namespace tvn {

UploadWorker::~UploadWorker() {
    cancel();
    if (thread_.joinable()) thread_.join();
}

void UploadWorker::start(Job job, Done done) {
    if (thread_.joinable()) thread_.join();  // the one before has called done(): it is ending
    cancel_ = false;
    thread_ = std::thread([this, job = std::move(job), done = std::move(done), connect = connectTimeoutSeconds,
                           idle = idleTimeoutSeconds] {
        pthread_setname_np(pthread_self(), "tvn-upload");
        FrameUploader uploader;
        uploader.connectTimeoutSeconds = connect;
        uploader.idleTimeoutSeconds = idle;
        const bool ok =
            uploader.upload(job.data, job.server, job.user, job.password, job.path, job.fileName, job.port, &cancel_);
        done(ok, uploader.lastError());
    });
}

void UploadWorker::cancel() { cancel_ = true; }

}  // namespace tvn
