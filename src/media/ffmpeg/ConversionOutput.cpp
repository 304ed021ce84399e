#include "media/ffmpeg/ConversionOutput.h"

#include "media/ffmpeg/ConversionError.h"

#include <QFile>
#include <cerrno>
#include <cstdio>
#include <cstring>

extern "C" {
#include <libavutil/dict.h>
}

namespace tvn {

using namespace ff;

ConversionOutput::ConversionOutput(const QString& outputFile, const QString& temporaryFile, bool mp4)
    : outputFile_(outputFile), temp_(temporaryFile), mp4_(mp4) {
    AVFormatContext* raw = nullptr;
    conversion::check(avformat_alloc_output_context2(&raw, nullptr, mp4_ ? "mp4" : "asf", QFile::encodeName(temp_).constData()),
                      QStringLiteral("Cannot create '%1'").arg(outputFile_));
    out_.reset(raw);
}

ConversionOutput::~ConversionOutput() {
    if (!finished_) discard();
}

bool ConversionOutput::wantsGlobalHeader() const { return out_->oformat->flags & AVFMT_GLOBALHEADER; }

AVStream* ConversionOutput::addStream(AVCodecContext* encoder, const char* kind) {
    AVStream* stream = avformat_new_stream(out_.get(), nullptr);
    if (!stream)
        conversion::fail(QStringLiteral("Cannot add a %1 stream to '%2': out of memory").arg(QLatin1String(kind), outputFile_));
    conversion::check(avcodec_parameters_from_context(stream->codecpar, encoder),
                      QStringLiteral("%1 stream").arg(QLatin1String(encoder->codec_type == AVMEDIA_TYPE_VIDEO ? "video" : "audio")));
    stream->time_base = encoder->time_base;
    return stream;
}

void ConversionOutput::open() {
    conversion::check(avio_open(&out_->pb, QFile::encodeName(temp_).constData(), AVIO_FLAG_WRITE),
                      QStringLiteral("Cannot write '%1'").arg(temp_));
    AVDictionary* options = nullptr;
    if (mp4_) av_dict_set(&options, "movflags", "+faststart", 0);
    const int rc = avformat_write_header(out_.get(), &options);
    av_dict_free(&options);
    conversion::check(rc, QStringLiteral("Cannot write '%1'").arg(temp_));
}

void ConversionOutput::encodeAndWrite(AVCodecContext* encoder, AVStream* stream, AVFrame* frame) {
    int rc = avcodec_send_frame(encoder, frame);
    if (rc == AVERROR_EOF) return;  // already flushed
    conversion::check(rc, QStringLiteral("Cannot encode '%1'").arg(outputFile_));
    PacketPtr packet(av_packet_alloc());
    for (;;) {
        rc = avcodec_receive_packet(encoder, packet.get());
        if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) return;
        conversion::check(rc, QStringLiteral("Cannot encode '%1'").arg(outputFile_));
        packet->stream_index = stream->index;
        av_packet_rescale_ts(packet.get(), encoder->time_base, stream->time_base);
        conversion::check(av_interleaved_write_frame(out_.get(), packet.get()), QStringLiteral("Cannot write '%1'").arg(temp_));
    }
}

void ConversionOutput::finish() {
    conversion::check(av_write_trailer(out_.get()), QStringLiteral("Cannot finish '%1'").arg(outputFile_));
    avio_flush(out_->pb);
    conversion::check(out_->pb->error, QStringLiteral("Cannot write '%1'").arg(outputFile_));
    out_.reset();
    if (std::rename(QFile::encodeName(temp_).constData(), QFile::encodeName(outputFile_).constData()) != 0)
        conversion::fail(QStringLiteral("Cannot rename '%1' to '%2': %3").arg(temp_, outputFile_,
                                                                             QString::fromLocal8Bit(strerror(errno))));
    finished_ = true;
}

void ConversionOutput::discard() {
    out_.reset();
    QFile::remove(temp_);
    finished_ = true;
}

}  // namespace tvn
