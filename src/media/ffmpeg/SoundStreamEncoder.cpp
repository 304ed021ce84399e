#include "media/ffmpeg/SoundStreamEncoder.h"

#include "core/TvnError.h"
#include "media/VideoFileWriter.h"
#include "media/ffmpeg/FfmpegCompat.h"

extern "C" {
#include <libavutil/channel_layout.h>
}

namespace tvn {

using namespace ff;

namespace {
constexpr int kRate = VideoFileWriter::SoundRate;
constexpr int kChannels = VideoFileWriter::SoundChannels;
}  // namespace

SoundStreamEncoder::SoundStreamEncoder(AVFormatContext* out, bool webm, int bitRate, QString file)
    : file_(std::move(file)) {
    const char* name = webm ? "libopus" : "aac";
    const AVCodec* codec = avcodec_find_encoder_by_name(name);
    if (!codec) fail(QStringLiteral("Cannot export to '%1': the encoder %2 is not available").arg(file_, QLatin1String(name)));
    enc_.reset(avcodec_alloc_context3(codec));
    const AVSampleFormat* formats = ff::encoderSampleFormats(codec);
    enc_->sample_fmt = formats ? formats[0] : AV_SAMPLE_FMT_FLTP;
    enc_->sample_rate = kRate;
    av_channel_layout_default(&enc_->ch_layout, kChannels);
    enc_->bit_rate = bitRate;
    enc_->time_base = AVRational{1, kRate};
    if (out->oformat->flags & AVFMT_GLOBALHEADER) enc_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    check(avcodec_open2(enc_.get(), codec, nullptr), QStringLiteral("Cannot open the %1 encoder for '%2'").arg(QLatin1String(name), file_));
    stream_ = avformat_new_stream(out, nullptr);
    if (!stream_) fail(QStringLiteral("Cannot add a sound stream to '%1': out of memory").arg(file_));
    check(avcodec_parameters_from_context(stream_->codecpar, enc_.get()), QStringLiteral("audio stream"));
    stream_->time_base = enc_->time_base;
    SwrContext* swr = nullptr;
    AVChannelLayout stereo;
    av_channel_layout_default(&stereo, kChannels);
    check(swr_alloc_set_opts2(&swr, &enc_->ch_layout, enc_->sample_fmt, kRate, &stereo, AV_SAMPLE_FMT_S16,
                              kRate, 0, nullptr),
          QStringLiteral("audio converter"));
    swr_.reset(swr);
    check(swr_init(swr), QStringLiteral("audio converter"));
    fifo_.reset(av_audio_fifo_alloc(enc_->sample_fmt, kChannels, 4096));
    if (!fifo_) fail(QStringLiteral("Cannot export to '%1': out of memory").arg(file_));
}

void SoundStreamEncoder::fail(const QString& what) const {
    throw TvnError(err::ExportFailed, what, QStringLiteral("VideoFileWriter"));
}

void SoundStreamEncoder::check(int rc, const QString& what) const {
    if (rc < 0) fail(QStringLiteral("%1: %2").arg(what, errorText(rc)));
}

void SoundStreamEncoder::encode(const std::vector<int16_t>& interleaved, bool flush, const Send& send) {
    const int given = int(interleaved.size() / kChannels);
    if (given > 0) {
        FramePtr converted(av_frame_alloc());
        converted->format = enc_->sample_fmt;
        converted->nb_samples = given;
        converted->sample_rate = kRate;
        check(av_channel_layout_copy(&converted->ch_layout, &enc_->ch_layout), QStringLiteral("audio frame"));
        check(av_frame_get_buffer(converted.get(), 0), QStringLiteral("audio frame"));
        const uint8_t* in[1] = {reinterpret_cast<const uint8_t*>(interleaved.data())};
        const int got = swr_convert(swr_.get(), converted->data, given, in, given);
        check(got, QStringLiteral("Cannot convert the sound for '%1'").arg(file_));
        check(av_audio_fifo_write(fifo_.get(), reinterpret_cast<void**>(converted->data), got), QStringLiteral("audio fifo"));
    }
    const int frameSize = enc_->frame_size > 0 ? enc_->frame_size : 1024;
    while (av_audio_fifo_size(fifo_.get()) >= frameSize || (flush && av_audio_fifo_size(fifo_.get()) > 0)) {
        const int take = std::min(av_audio_fifo_size(fifo_.get()), frameSize);
        FramePtr frame(av_frame_alloc());
        frame->format = enc_->sample_fmt;
        frame->sample_rate = kRate;
        // A fixed-size encoder gets its last frame padded with silence.
        frame->nb_samples = (enc_->codec->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE) ? take : frameSize;
        check(av_channel_layout_copy(&frame->ch_layout, &enc_->ch_layout), QStringLiteral("audio frame"));
        check(av_frame_get_buffer(frame.get(), 0), QStringLiteral("audio frame"));
        av_samples_set_silence(frame->data, 0, frame->nb_samples, kChannels, enc_->sample_fmt);
        check(av_audio_fifo_read(fifo_.get(), reinterpret_cast<void**>(frame->data), take), QStringLiteral("audio fifo"));
        frame->pts = samplesOut_;
        samplesOut_ += take;
        send(enc_.get(), stream_, frame.get());
    }
    if (flush) send(enc_.get(), stream_, nullptr);
}

}  // namespace tvn
