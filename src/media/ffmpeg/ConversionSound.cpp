#include "media/ffmpeg/ConversionSound.h"

#include "media/ffmpeg/ConversionError.h"
#include "media/ffmpeg/ConversionOutput.h"
#include "media/ffmpeg/FfmpegCompat.h"

#include <algorithm>
#include <cmath>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/samplefmt.h>
}

namespace tvn {

using namespace ff;

ConversionSound::ConversionSound(const LessonConverter::Job& job)
    : job_(job), input_(job.audioFile, AVMEDIA_TYPE_AUDIO) {
    input_.openDecoder(0);
    AVCodecContext* decoder = input_.decoder();
    if (decoder->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC) {
        const int n = decoder->ch_layout.nb_channels;
        av_channel_layout_uninit(&decoder->ch_layout);
        av_channel_layout_default(&decoder->ch_layout, n);
    }
}

void ConversionSound::addEncoder(ConversionOutput& output, const char* name) {
    output_ = &output;
    const AVCodec* codec = avcodec_find_encoder_by_name(name);
    if (!codec) conversion::fail(QStringLiteral("The encoder '%1' is not available").arg(QLatin1String(name)));
    encoder_.reset(avcodec_alloc_context3(codec));
    const AVSampleFormat* formats = ff::encoderSampleFormats(codec);
    encoder_->sample_fmt = formats ? formats[0] : AV_SAMPLE_FMT_FLTP;
    encoder_->sample_rate = job_.profile.sampleRate;
    av_channel_layout_default(&encoder_->ch_layout, job_.profile.channels);
    encoder_->bit_rate = job_.profile.audioBitRate;
    encoder_->time_base = AVRational{1, encoder_->sample_rate};
    if (output.wantsGlobalHeader()) encoder_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    conversion::check(avcodec_open2(encoder_.get(), codec, nullptr),
                      QStringLiteral("Cannot open the %1 encoder").arg(QLatin1String(name)));
    stream_ = output.addStream(encoder_.get(), "sound");

    AVCodecContext* decoder = input_.decoder();
    SwrContext* swr = nullptr;
    conversion::check(swr_alloc_set_opts2(&swr, &encoder_->ch_layout, encoder_->sample_fmt, encoder_->sample_rate,
                                          &decoder->ch_layout, decoder->sample_fmt, decoder->sample_rate, 0, nullptr),
                      QStringLiteral("audio resampler"));
    swr_.reset(swr);
    conversion::check(swr_init(swr), QStringLiteral("audio resampler"));
    fifo_.reset(av_audio_fifo_alloc(encoder_->sample_fmt, encoder_->ch_layout.nb_channels, 4096));
    skip_ = std::llround(job_.fromSeconds * encoder_->sample_rate);
    const double span = std::min(job_.toSeconds - job_.fromSeconds, 1e7);
    limit_ = std::llround(span * encoder_->sample_rate);
}

void ConversionSound::step() {
    AVCodecContext* decoder = input_.decoder();
    const QString& file = input_.fileName();
    const bool ended = !input_.readPacket(packet_.get());
    int rc = 0;
    if (!ended) {
        if (packet_->stream_index == input_.streamIndex()) {
            rc = avcodec_send_packet(decoder, packet_.get());
            if (rc < 0 && rc != AVERROR(EAGAIN)) conversion::check(rc, QStringLiteral("Cannot decode '%1'").arg(file));
        }
        av_packet_unref(packet_.get());
    }
    for (;;) {
        rc = avcodec_receive_frame(decoder, decoded_.get());
        if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) break;
        conversion::check(rc, QStringLiteral("Cannot decode '%1'").arg(file));
        resampleIntoFifo(const_cast<const uint8_t**>(decoded_->extended_data), decoded_->nb_samples);
        av_frame_unref(decoded_.get());
    }
    if (ended) resampleIntoFifo(nullptr, 0);  // what the resampler still holds
    const bool finished = ended || queued_ >= limit_;
    encodeFrames(finished);
    if (finished) done_ = true;
}

void ConversionSound::resampleIntoFifo(const uint8_t** data, int samples) {
    const int room = swr_get_out_samples(swr_.get(), samples);
    if (room <= 0) return;
    FramePtr converted(av_frame_alloc());
    converted->format = encoder_->sample_fmt;
    converted->nb_samples = room;
    converted->sample_rate = encoder_->sample_rate;
    conversion::check(av_channel_layout_copy(&converted->ch_layout, &encoder_->ch_layout), QStringLiteral("audio frame"));
    conversion::check(av_frame_get_buffer(converted.get(), 0), QStringLiteral("audio frame"));
    const int got = swr_convert(swr_.get(), converted->data, room, data, samples);
    conversion::check(got, QStringLiteral("Cannot resample '%1'").arg(input_.fileName()));
    // Leave out what lies before the span, and stop at its end.
    const int64_t skip = std::min<int64_t>(skip_, got);
    skip_ -= skip;
    const int count = static_cast<int>(std::min<int64_t>(got - skip, limit_ - queued_));
    if (count <= 0) return;
    const int bytes = av_get_bytes_per_sample(encoder_->sample_fmt);
    const bool planar = av_sample_fmt_is_planar(encoder_->sample_fmt);
    const int channels = encoder_->ch_layout.nb_channels;
    uint8_t* planes[AV_NUM_DATA_POINTERS] = {};
    for (int c = 0; c < (planar ? channels : 1); ++c)
        planes[c] = converted->data[c] + static_cast<size_t>(skip) * bytes * (planar ? 1 : channels);
    conversion::check(av_audio_fifo_write(fifo_.get(), reinterpret_cast<void**>(planes), count), QStringLiteral("audio fifo"));
    queued_ += count;
}

void ConversionSound::encodeFrames(bool flush) {
    const int frameSize = encoder_->frame_size > 0 ? encoder_->frame_size : 1024;
    while (av_audio_fifo_size(fifo_.get()) >= frameSize || (flush && av_audio_fifo_size(fifo_.get()) > 0)) {
        const int available = av_audio_fifo_size(fifo_.get());
        const int take = std::min(available, frameSize);
        FramePtr frame(av_frame_alloc());
        frame->format = encoder_->sample_fmt;
        frame->sample_rate = encoder_->sample_rate;
        // Fixed-size encoders get a last frame padded with silence.
        frame->nb_samples = (encoder_->codec->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE) ? take : frameSize;
        av_channel_layout_copy(&frame->ch_layout, &encoder_->ch_layout);
        conversion::check(av_frame_get_buffer(frame.get(), 0), QStringLiteral("audio frame"));
        av_samples_set_silence(frame->data, 0, frame->nb_samples, encoder_->ch_layout.nb_channels, encoder_->sample_fmt);
        conversion::check(av_audio_fifo_read(fifo_.get(), reinterpret_cast<void**>(frame->data), take), QStringLiteral("audio fifo"));
        frame->pts = encoded_;
        encoded_ += take;
        output_->encodeAndWrite(encoder_.get(), stream_, frame.get());
    }
    if (flush) output_->encodeAndWrite(encoder_.get(), stream_, nullptr);
}

}  // namespace tvn
