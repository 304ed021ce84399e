#include "media/ffmpeg/AviLessonFile.h"

#include "media/ffmpeg/FfmpegCompat.h"

#include <QFile>
#include <QPainter>
#include <sys/statvfs.h>

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
}

namespace tvn {

using namespace ff;

namespace {

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

TvnError AviLessonFile::error(const QString& fileName, const QString& what, int32_t number) {
    return TvnError(number, QStringLiteral("Cannot write lesson video '%1': %2").arg(fileName, what),
                    QStringLiteral("FfmpegRecordingEngine"));
}

AviLessonFile::AviLessonFile(const AviFrameWriter::Settings& settings, FailureSink fail)
    : settings_(settings), fail_(std::move(fail)) {
    const QString& file = settings.fileName;
    const QByteArray name = file.toUtf8();
    if (settings.width <= 0 || settings.height <= 0)
        throw error(file, QStringLiteral("frame size %1 x %2 is not valid").arg(settings.width).arg(settings.height));
    if (!(settings.fps > 0)) throw error(file, QStringLiteral("frame rate must be positive"));
    const AVCodec* codec = avcodec_find_encoder_by_name(settings.codecName.toUtf8().constData());
    if (!codec) throw error(file, QStringLiteral("encoder '%1' is not available").arg(settings.codecName));

    AVFormatContext* raw = nullptr;
    int rc = avformat_alloc_output_context2(&raw, nullptr, "avi", name.constData());
    if (rc < 0 || !raw) throw error(file, errorText(rc));
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
        throw error(file, QStringLiteral("cannot open encoder '%1': %2").arg(settings.codecName, errorText(rc)));
    const AVCodecDescriptor* desc = avcodec_descriptor_get(codec->id);
    intraOnly_ = (desc && (desc->props & AV_CODEC_PROP_INTRA_ONLY)) || codec_->gop_size == 1;

    stream_ = avformat_new_stream(output_.get(), nullptr);
    if (!stream_) throw error(file, QStringLiteral("cannot add a video stream: out of memory"));
    if ((rc = avcodec_parameters_from_context(stream_->codecpar, codec_.get())) < 0)
        throw error(file, QStringLiteral("cannot describe the video stream: %1").arg(errorText(rc)));
    stream_->time_base = codec_->time_base;
    stream_->avg_frame_rate = rate;

    if ((rc = avio_open(&output_->pb, name.constData(), AVIO_FLAG_WRITE)) < 0)
        throw error(file, errorText(rc), err::PathFileAccess);
    if ((rc = avformat_write_header(output_.get(), nullptr)) < 0) {
        output_.reset();
        QFile::remove(file);
        throw error(file, errorText(rc));
    }
    avio_flush(output_->pb);
    if (output_->pb->error < 0) {
        const int e = output_->pb->error;
        output_.reset();
        QFile::remove(file);
        throw error(file, errorText(e), err::PathFileAccess);
    }

    frame_.reset(av_frame_alloc());
    frame_->format = codec_->pix_fmt;
    frame_->width = settings.width;
    frame_->height = settings.height;
    if ((rc = av_frame_get_buffer(frame_.get(), 0)) < 0) throw error(file, errorText(rc));
}

QImage AviLessonFile::prepare(const QImage& image) const {
    const QSize size(settings_.width, settings_.height);
    if (image.isNull()) {
        QImage black(size, QImage::Format_RGB32);
        black.fill(Qt::black);
        return black;
    }
    if (settings_.keepAspect && image.size() != size) {
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

bool AviLessonFile::writeCopy(int64_t index) {
    if (!haveFrame_) return false;
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
    return true;
}

bool AviLessonFile::writeImage(const QImage& image, int64_t index) {
    const QImage source = prepare(image);
    int rc = av_frame_make_writable(frame_.get());
    if (rc < 0) {
        fail_(errorText(rc), false);
        return false;
    }
    // QImage RGB32 is B, G, R, A in memory on little-endian machines.
    const uint8_t* src[4] = {source.constBits(), nullptr, nullptr, nullptr};
    const int srcStride[4] = {static_cast<int>(source.bytesPerLine()), 0, 0, 0};
    const FrameScaler::Side from{source.width(), source.height(), AV_PIX_FMT_BGRA};
    if (!scaler_.scale(from, src, srcStride, FrameScaler::sideOf(frame_.get()), frame_->data, frame_->linesize)) {
        fail_(QStringLiteral("cannot scale a %1 x %2 image").arg(source.width()).arg(source.height()), false);
        return false;
    }
    frame_->pts = index;
    haveFrame_ = true;
    encode(frame_.get());
    return true;
}

void AviLessonFile::drain() { encode(nullptr); }

void AviLessonFile::encode(AVFrame* frame) {
    int rc = avcodec_send_frame(codec_.get(), frame);
    if (rc < 0) return fail_(QStringLiteral("encoder: %1").arg(errorText(rc)), false);
    if (frame) ++framesIn_;
    PacketPtr packet(av_packet_alloc());
    for (;;) {
        rc = avcodec_receive_packet(codec_.get(), packet.get());
        if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) return;
        if (rc < 0) return fail_(QStringLiteral("encoder: %1").arg(errorText(rc)), false);
        if (intraOnly_) lastPacket_.reset(av_packet_clone(packet.get()));
        ++packetsOut_;
        writePacket(packet.get());
        av_packet_unref(packet.get());
    }
}

bool AviLessonFile::roomFor(int64_t bytes) {
    int64_t free = 0;
    if (settings_.freeBytes) {
        free = settings_.freeBytes();
    } else {
        struct statvfs fs {};
        if (::statvfs(QFile::encodeName(settings_.fileName).constData(), &fs) != 0) return true;  // cannot tell: write on
        free = int64_t(fs.f_bavail) * int64_t(fs.f_frsize);
    }
    const int64_t needed = bytes + AviFrameWriter::kReserveBytes + AviFrameWriter::kIndexBytesPerFrame * (packetsWritten_ + 1);
    if (free >= needed) return true;
    fail_(QStringLiteral("No space left on device: the video ends after its first %1 frames, which the file keeps whole")
              .arg(packetsWritten_),
          true);
    return false;
}

void AviLessonFile::writePacket(AVPacket* packet) {
    if (!roomFor(packet->size)) return;
    packet->stream_index = stream_->index;
    av_packet_rescale_ts(packet, codec_->time_base, stream_->time_base);
    int rc = av_write_frame(output_.get(), packet);
    if (rc >= 0) {
        // Hand the packet to the system now: a killed process loses nothing written so far.
        avio_flush(output_->pb);
        rc = output_->pb->error;
    }
    if (rc < 0) fail_(errorText(rc), false);
    else ++packetsWritten_;
}

QString AviLessonFile::close(bool writeIndex) {
    QString error;
    if (writeIndex) {
        int rc = av_write_trailer(output_.get());
        if (rc >= 0) {
            avio_flush(output_->pb);
            rc = output_->pb->error;
        }
        if (rc < 0) error = errorText(rc);
    }
    output_.reset();  // closes the file
    codec_.reset();
    return error;
}

}  // namespace tvn
