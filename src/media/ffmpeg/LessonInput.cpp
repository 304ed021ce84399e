#include "media/ffmpeg/LessonInput.h"

#include "media/ffmpeg/ConversionError.h"

#include <algorithm>

namespace tvn {

using namespace ff;

LessonInput::LessonInput(const QString& fileName, AVMediaType kind) : fileName_(fileName) {
    const bool video = kind == AVMEDIA_TYPE_VIDEO;
    const QLatin1String what(video ? "video" : "sound");
    AVFormatContext* raw = nullptr;
    const int rc = avformat_open_input(&raw, fileName.toUtf8().constData(), nullptr, nullptr);
    if (rc < 0)
        conversion::fail(QStringLiteral("Cannot open lesson %1 '%2': %3").arg(what, fileName, errorText(rc)));
    format_.reset(raw);
    conversion::check(avformat_find_stream_info(raw, nullptr),
                      QStringLiteral("Cannot read lesson %1 '%2'").arg(what, fileName));
    index_ = av_find_best_stream(raw, kind, -1, -1, nullptr, 0);
    if (index_ < 0)
        conversion::fail(QStringLiteral("The lesson %1 '%2' has no %3 stream")
                             .arg(what, fileName, QLatin1String(video ? "video" : "audio")));
}

void LessonInput::openDecoder(int lowres) {
    AVStream* st = stream();
    const AVCodec* codec = avcodec_find_decoder(st->codecpar->codec_id);
    if (!codec) conversion::fail(QStringLiteral("No decoder for the stream in '%1'").arg(fileName_));
    decoder_.reset(avcodec_alloc_context3(codec));
    conversion::check(avcodec_parameters_to_context(decoder_.get(), st->codecpar), fileName_);
    decoder_->pkt_timebase = st->time_base;
    decoder_->lowres = std::min(lowres, static_cast<int>(codec->max_lowres));
    decoder_->thread_count = 2;
    conversion::check(avcodec_open2(decoder_.get(), codec, nullptr), QStringLiteral("Cannot decode '%1'").arg(fileName_));
}

bool LessonInput::readPacket(AVPacket* packet) {
    const int rc = av_read_frame(format_.get(), packet);
    if (rc == AVERROR_EOF) {
        avcodec_send_packet(decoder_.get(), nullptr);
        return false;
    }
    conversion::check(rc, QStringLiteral("Cannot read '%1'").arg(fileName_));
    return true;
}

}  // namespace tvn
