#include "media/ffmpeg/AviFrameWriter.h"

#include "core/LogCategories.h"
#include "core/TvnError.h"
#include "media/ffmpeg/FfmpegCompat.h"
#include "media/ffmpeg/FrameScaler.h"
#include "media/ffmpeg/LessonAvHandles.h"

#include <QFile>
#include <QPainter>
#include <QtGlobal>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <sys/statvfs.h>

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
}

namespace tvn {

using namespace ff;

namespace {

TvnError captureError(const QString& fileName, const QString& what, int32_t number = err::CaptureFailed) {
    return TvnError(number, QStringLiteral("Cannot write lesson video '%1': %2").arg(fileName, what),
                    QStringLiteral("FfmpegRecordingEngine"));
}

AVPixelFormat choosePixelFormat(const AVCodec* codec) {
    // MJPEG wants full-range 4:2:0; the others take plain 4:2:0 when they can.
    const AVPixelFormat preferred[] = {AV_PIX_FMT_YUVJ420P, AV_PIX_FMT_YUV420P, AV_PIX_FMT_YUV422P};
    const AVPixelFormat* offered = ff::encoderPixelFormats(codec);
    if (!offered) return AV_PIX_FMT_YUV420P;
    for (AVPixelFormat want : preferred)
        for (const AVPixelFormat* p = offered; *p != AV_PIX_FMT_NONE; ++p)
            if (*p == want) return want;
    return offered[0];
}

}  // namespace

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

// Owns the muxer, the encoder and the thread that feeds them.
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

    void open();
    void run();
    void writeEntry(const Entry& entry, int64_t index);
    QImage prepare(const QImage& image) const;
    void encode(AVFrame* frame);
    void writePacket(AVPacket* packet);
    void fail(const QString& what);
    // True while the file system keeps room for `bytes` more and the index after them.
    bool roomFor(int64_t bytes);

    OutputPtr output_;
    CodecPtr codec_;
    AVStream* stream_ = nullptr;
    FramePtr frame_;
    PacketPtr lastPacket_;  // the previous frame's packet, for intra-only copies
    FrameScaler scaler_;
    bool intraOnly_ = false;
    bool haveFrame_ = false;
    int64_t framesIn_ = 0;    // frames sent to the encoder (worker only)
    int64_t packetsOut_ = 0;  // packets received from it (worker only)
    int64_t packetsWritten_ = 0;  // packets in the file (worker only)
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

AviFrameWriter::Worker::Worker(const Settings& s) : settings(s) {
    open();
    thread_ = std::thread([this] { run(); });
}

AviFrameWriter::Worker::~Worker() {
    try {
        finish();
    } catch (const TvnError& e) {
        qCWarning(lcLesson, "%s", e.what());
    }
}

void AviFrameWriter::Worker::open() {
    const QByteArray name = settings.fileName.toUtf8();
    if (settings.width <= 0 || settings.height <= 0)
        throw captureError(settings.fileName, QStringLiteral("frame size %1 x %2 is not valid")
                                                  .arg(settings.width).arg(settings.height));
    if (!(settings.fps > 0)) throw captureError(settings.fileName, QStringLiteral("frame rate must be positive"));
    const AVCodec* codec = avcodec_find_encoder_by_name(settings.codecName.toUtf8().constData());
    if (!codec) throw captureError(settings.fileName, QStringLiteral("encoder '%1' is not available").arg(settings.codecName));

    AVFormatContext* raw = nullptr;
    int rc = avformat_alloc_output_context2(&raw, nullptr, "avi", name.constData());
    if (rc < 0 || !raw) throw captureError(settings.fileName, errorText(rc));
    output_.reset(raw);

    codec_.reset(avcodec_alloc_context3(codec));
    const AVRational rate = av_d2q(settings.fps, 100000);
    codec_->width = settings.width;
    codec_->height = settings.height;
    codec_->time_base = av_inv_q(rate);
    codec_->framerate = rate;
    codec_->pix_fmt = choosePixelFormat(codec);
    codec_->max_b_frames = 0;  // AVI has no reordering: one packet per frame, in order
    codec_->thread_count = 2;
    codec_->thread_type = FF_THREAD_SLICE;  // frame threads would hold packets back
    if (codec->id == AV_CODEC_ID_MJPEG || codec->id == AV_CODEC_ID_MPEG4) {
        // High quality at a fixed quantiser: q 2 is near transparent for screen content.
        codec_->flags |= AV_CODEC_FLAG_QSCALE;
        codec_->global_quality = FF_QP2LAMBDA * 2;
    }
    if (codec->id == AV_CODEC_ID_MPEG4) codec_->gop_size = 12;
    if (codec->id == AV_CODEC_ID_FFV1) codec_->gop_size = 1;  // every frame a key frame: copies stay valid
    if (output_->oformat->flags & AVFMT_GLOBALHEADER) codec_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if ((rc = avcodec_open2(codec_.get(), codec, nullptr)) < 0)
        throw captureError(settings.fileName, QStringLiteral("cannot open encoder '%1': %2").arg(settings.codecName, errorText(rc)));
    const AVCodecDescriptor* desc = avcodec_descriptor_get(codec->id);
    intraOnly_ = (desc && (desc->props & AV_CODEC_PROP_INTRA_ONLY)) || codec_->gop_size == 1;

    stream_ = avformat_new_stream(output_.get(), nullptr);
    if (!stream_) throw captureError(settings.fileName, QStringLiteral("cannot add a video stream: out of memory"));
    if ((rc = avcodec_parameters_from_context(stream_->codecpar, codec_.get())) < 0)
        throw captureError(settings.fileName, QStringLiteral("cannot describe the video stream: %1").arg(errorText(rc)));
    stream_->time_base = codec_->time_base;
    stream_->avg_frame_rate = rate;

    if ((rc = avio_open(&output_->pb, name.constData(), AVIO_FLAG_WRITE)) < 0)
        throw captureError(settings.fileName, errorText(rc), err::PathFileAccess);
    if ((rc = avformat_write_header(output_.get(), nullptr)) < 0) {
        output_.reset();
        QFile::remove(settings.fileName);
        throw captureError(settings.fileName, errorText(rc));
    }
    avio_flush(output_->pb);
    if (output_->pb->error < 0) {
        const int e = output_->pb->error;
        output_.reset();
        QFile::remove(settings.fileName);
        throw captureError(settings.fileName, errorText(e), err::PathFileAccess);
    }

    frame_.reset(av_frame_alloc());
    frame_->format = codec_->pix_fmt;
    frame_->width = settings.width;
    frame_->height = settings.height;
    if ((rc = av_frame_get_buffer(frame_.get(), 0)) < 0) throw captureError(settings.fileName, errorText(rc));
}

void AviFrameWriter::Worker::add(const QImage& image) {
    std::scoped_lock lock(mutex_);
    if (!error_.isEmpty()) throw captureError(settings.fileName, error_);
    if (finished_) throw captureError(settings.fileName, QStringLiteral("the file capture has ended"));
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
    encode(nullptr);  // drain the encoder
}

QImage AviFrameWriter::Worker::prepare(const QImage& image) const {
    const QSize size(settings.width, settings.height);
    if (image.isNull()) {
        QImage black(size, QImage::Format_RGB32);
        black.fill(Qt::black);
        return black;
    }
    if (settings.keepAspect && image.size() != size) {
        QImage canvas(size, QImage::Format_RGB32);
        canvas.fill(Qt::black);
        QPainter painter(&canvas);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        const QSize fitted = image.size().scaled(size, Qt::KeepAspectRatio);
        painter.drawImage(QRect(QPoint((size.width() - fitted.width()) / 2, (size.height() - fitted.height()) / 2), fitted),
                          image);
        return canvas;
    }
    if (image.format() == QImage::Format_RGB32 || image.format() == QImage::Format_ARGB32 ||
        image.format() == QImage::Format_ARGB32_Premultiplied)
        return image;
    return image.convertToFormat(QImage::Format_RGB32);
}

void AviFrameWriter::Worker::writeEntry(const Entry& entry, int64_t index) {
    if (entry.repeat && haveFrame_) {
        // A packet can be copied only once the encoder has handed out the previous frame's.
        if (intraOnly_ && lastPacket_ && packetsOut_ == framesIn_) {
            PacketPtr copy(av_packet_clone(lastPacket_.get()));
            copy->pts = copy->dts = index;
            copy->duration = 1;
            writePacket(copy.get());
        } else {
            frame_->pts = index;
            encode(frame_.get());
        }
        return;
    }
    const QImage source = prepare(entry.image);
    int rc = av_frame_make_writable(frame_.get());
    if (rc < 0) return fail(errorText(rc));
    // QImage RGB32 is B, G, R, A in memory on little-endian machines.
    const uint8_t* src[4] = {source.constBits(), nullptr, nullptr, nullptr};
    const int srcStride[4] = {static_cast<int>(source.bytesPerLine()), 0, 0, 0};
    const FrameScaler::Side from{source.width(), source.height(), AV_PIX_FMT_BGRA};
    if (!scaler_.scale(from, src, srcStride, FrameScaler::sideOf(frame_.get()), frame_->data, frame_->linesize))
        return fail(QStringLiteral("cannot scale a %1 x %2 image").arg(source.width()).arg(source.height()));
    frame_->pts = index;
    haveFrame_ = true;
    encode(frame_.get());
    std::scoped_lock lock(mutex_);
    ++encoded_;
}

void AviFrameWriter::Worker::encode(AVFrame* frame) {
    int rc = avcodec_send_frame(codec_.get(), frame);
    if (rc < 0) return fail(QStringLiteral("encoder: %1").arg(errorText(rc)));
    if (frame) ++framesIn_;
    PacketPtr packet(av_packet_alloc());
    for (;;) {
        rc = avcodec_receive_packet(codec_.get(), packet.get());
        if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) return;
        if (rc < 0) return fail(QStringLiteral("encoder: %1").arg(errorText(rc)));
        if (intraOnly_) lastPacket_.reset(av_packet_clone(packet.get()));
        ++packetsOut_;
        writePacket(packet.get());
        av_packet_unref(packet.get());
    }
}

bool AviFrameWriter::Worker::roomFor(int64_t bytes) {
    int64_t free = 0;
    if (settings.freeBytes) {
        free = settings.freeBytes();
    } else {
        struct statvfs fs {};
        if (::statvfs(QFile::encodeName(settings.fileName).constData(), &fs) != 0) return true;  // cannot tell: write on
        free = int64_t(fs.f_bavail) * int64_t(fs.f_frsize);
    }
    const int64_t needed = bytes + kReserveBytes + kIndexBytesPerFrame * (packetsWritten_ + 1);
    if (free >= needed) return true;
    std::scoped_lock lock(mutex_);
    if (error_.isEmpty()) {
        error_ = QStringLiteral("No space left on device: the video ends after its first %1 frames, which the file keeps whole")
                     .arg(packetsWritten_);
        stoppedForSpace_ = true;
        qCWarning(lcLesson, "Lesson video '%s': %s", qPrintable(settings.fileName), qPrintable(error_));
    }
    return false;
}

void AviFrameWriter::Worker::writePacket(AVPacket* packet) {
    if (!roomFor(packet->size)) return;
    packet->stream_index = stream_->index;
    av_packet_rescale_ts(packet, codec_->time_base, stream_->time_base);
    int rc = av_write_frame(output_.get(), packet);
    if (rc >= 0) {
        // Hand the packet to the system now: a killed process loses nothing written so far.
        avio_flush(output_->pb);
        rc = output_->pb->error;
    }
    if (rc < 0) fail(errorText(rc));
    else ++packetsWritten_;
}

void AviFrameWriter::Worker::fail(const QString& what) {
    std::scoped_lock lock(mutex_);
    if (error_.isEmpty()) {
        error_ = what;
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
    if (error.isEmpty() || stoppedForSpace) {
        int rc = av_write_trailer(output_.get());
        if (rc >= 0) {
            avio_flush(output_->pb);
            rc = output_->pb->error;
        }
        if (rc < 0 && error.isEmpty()) error = errorText(rc);
    }
    output_.reset();  // closes the file
    codec_.reset();
    if (!error.isEmpty()) throw captureError(settings.fileName, error);
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
