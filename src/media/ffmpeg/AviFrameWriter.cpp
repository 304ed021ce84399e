#include "media/ffmpeg/AviFrameWriter.h"

#include "core/LogCategories.h"
#include "core/TvnError.h"
#include "media/ffmpeg/AviLessonFile.h"
#include "media/ffmpeg/FfmpegHandles.h"

#include <QtGlobal>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <pthread.h>
#include <thread>

namespace tvn {

const std::vector<AviFrameWriter::Encoder>& AviFrameWriter::offeredEncoders() {
    static const std::vector<Encoder> encoders = [] {
        const Encoder candidates[] = {
            {QStringLiteral("MJPEG (Motion JPEG)"), QStringLiteral("mjpeg")},
            {QStringLiteral("MPEG-4 Part 2"), QStringLiteral("mpeg4")},
            {QStringLiteral("FFV1 (lossless)"), QStringLiteral("ffv1")},
            {QStringLiteral("HuffYUV (lossless)"), QStringLiteral("huffyuv")},
        };
        std::vector<Encoder> offered;
        for (const Encoder& e : candidates)
            if (avcodec_find_encoder_by_name(e.codecName.toUtf8().constData())) offered.push_back(e);
        return offered;
    }();
    return encoders;
}

// Owns the lesson file and the thread that feeds it.
class AviFrameWriter::Worker {
public:
    explicit Worker(const Settings& settings);
    ~Worker();

    void add(const QImage& image);
    void finish();

    int64_t addedCount() const {
        std::scoped_lock lock(mutex_);
        return added_;
    }
    int64_t encodedCount() const {
        std::scoped_lock lock(mutex_);
        return encoded_;
    }

    const Settings settings;

private:
    struct Entry {
        QImage image;         // null: repeat the previous frame
        bool repeat = false;
    };

    void run();
    void writeEntry(const Entry& entry, int64_t index);
    void fail(const QString& what, bool fullDisk);

    AviLessonFile file_;  // the worker's once the thread runs
    std::thread thread_;

    mutable std::mutex mutex_;  // guards queue_, queuedImages_, lastKey_, stopping_, error_, stoppedForSpace_, added_, encoded_
    std::condition_variable wake_;
    std::deque<Entry> queue_;
    int queuedImages_ = 0;
    qint64 lastKey_ = 0;
    bool stopping_ = false;
    QString error_;
    bool stoppedForSpace_ = false;  // error_ is a full disk met in time: the index is still written
    int64_t added_ = 0;    // addFrame calls
    int64_t encoded_ = 0;  // frames encoded anew
    bool finished_ = false;  // UI thread only
};

AviFrameWriter::Worker::Worker(const Settings& s)
    : settings(s), file_(settings, [this](const QString& what, bool fullDisk) { fail(what, fullDisk); }) {
    thread_ = std::thread([this] { run(); });
}

AviFrameWriter::Worker::~Worker() {
    try {
        finish();
    } catch (const TvnError& e) {
        qCWarning(lcLesson, "%s", e.what());
    }
}

void AviFrameWriter::Worker::add(const QImage& image) {
    std::scoped_lock lock(mutex_);
    if (!error_.isEmpty()) throw AviLessonFile::error(settings.fileName, error_);
    if (finished_) throw AviLessonFile::error(settings.fileName, QStringLiteral("the file capture has ended"));
    // A null image is black; all black frames share one key so they are copies.
    const qint64 key = image.isNull() ? -1 : image.cacheKey();
    Entry entry;
    if (added_ > 0 && key == lastKey_) {
        entry.repeat = true;
    } else if (added_ > 0 && queuedImages_ >= settings.queueCapacity) {
        // The encoder is behind: keep the frame count true by copying the previous frame.
        entry.repeat = true;
    } else {
        entry.image = image;
        ++queuedImages_;
        lastKey_ = key;
    }
    queue_.push_back(std::move(entry));
    ++added_;
    wake_.notify_one();
}

void AviFrameWriter::Worker::run() {
    pthread_setname_np(pthread_self(), "tvn-aviwriter");
    int64_t index = 0;
    for (;;) {
        Entry entry;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
            if (queue_.empty()) break;
            entry = std::move(queue_.front());
            queue_.pop_front();
            if (!entry.repeat) --queuedImages_;
            if (!error_.isEmpty()) continue;  // drain without writing after a failure
        }
        writeEntry(entry, index++);
    }
    {
        std::scoped_lock lock(mutex_);
        if (!error_.isEmpty()) return;
    }
    file_.drain();
}

void AviFrameWriter::Worker::writeEntry(const Entry& entry, int64_t index) {
    if (entry.repeat && file_.writeCopy(index)) return;
    if (!file_.writeImage(entry.image, index)) return;
    std::scoped_lock lock(mutex_);
    ++encoded_;
}

void AviFrameWriter::Worker::fail(const QString& what, bool fullDisk) {
    std::scoped_lock lock(mutex_);
    if (error_.isEmpty()) {
        error_ = what;
        stoppedForSpace_ = fullDisk;
        qCWarning(lcLesson, "Lesson video '%s': %s", qPrintable(settings.fileName), qPrintable(what));
    }
}

void AviFrameWriter::Worker::finish() {
    if (finished_) return;
    {
        std::scoped_lock lock(mutex_);
        finished_ = true;
        stopping_ = true;
    }
    wake_.notify_one();
    if (thread_.joinable()) thread_.join();
    QString error;
    bool stoppedForSpace = false;
    {
        std::scoped_lock lock(mutex_);
        error = error_;
        stoppedForSpace = stoppedForSpace_;
    }
    // A full disk met in time left room for the index: the file ends whole.
    const QString closing = file_.close(error.isEmpty() || stoppedForSpace);
    if (error.isEmpty()) error = closing;
    if (!error.isEmpty()) throw AviLessonFile::error(settings.fileName, error);
}

AviFrameWriter::AviFrameWriter(const Settings& settings) : worker_(std::make_unique<Worker>(settings)) {}

AviFrameWriter::~AviFrameWriter() = default;

void AviFrameWriter::addFrame(const QImage& image) { worker_->add(image); }

void AviFrameWriter::finish() { worker_->finish(); }

int64_t AviFrameWriter::framesAdded() const {
    return worker_->addedCount();
}

int64_t AviFrameWriter::framesEncoded() const {
    return worker_->encodedCount();
}

const QString& AviFrameWriter::fileName() const { return worker_->settings.fileName; }

}  // namespace tvn
