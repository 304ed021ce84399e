#include "media/ffmpeg/FfmpegSoundSource.h"

#include "core/TvnError.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cmath>

extern "C" {
#include <libavutil/channel_layout.h>
}

namespace tvn {

using namespace ff;

std::unique_ptr<SoundSource> SoundSource::open(const QString& fileName, double zeroSeconds) {
    return std::make_unique<FfmpegSoundSource>(fileName, zeroSeconds);
}

FfmpegSoundSource::FfmpegSoundSource(const QString& fileName, double zeroSeconds)
    : file_(fileName), zeroSeconds_(zeroSeconds), packet_(av_packet_alloc()), frame_(av_frame_alloc()) {
    if (!QFileInfo::exists(fileName))
        throw TvnError(err::FileNotFound, QStringLiteral("Cannot open clip '%1': file not found").arg(fileName),
                       QStringLiteral("SoundSource"));
    AVFormatContext* raw = nullptr;
    int rc = avformat_open_input(&raw, QFile::encodeName(fileName).constData(), nullptr, nullptr);
    if (rc < 0)
        throw TvnError(err::ClipOpenFailed, QStringLiteral("Cannot open clip '%1': %2").arg(fileName, errorText(rc)),
                       QStringLiteral("SoundSource"));
    input_.reset(raw);
    if (avformat_find_stream_info(raw, nullptr) < 0) return;  // no sound we can read: silence
    stream_ = av_find_best_stream(raw, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    if (stream_ < 0) return;
    AVStream* st = raw->streams[stream_];
    const AVCodec* codec = avcodec_find_decoder(st->codecpar->codec_id);
    if (!codec) return;
    CodecPtr ctx(avcodec_alloc_context3(codec));
    if (avcodec_parameters_to_context(ctx.get(), st->codecpar) < 0) return;
    ctx->pkt_timebase = st->time_base;
    if (avcodec_open2(ctx.get(), codec, nullptr) < 0) return;
    if (ctx->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC) {
        const int n = ctx->ch_layout.nb_channels;
        av_channel_layout_uninit(&ctx->ch_layout);
        av_channel_layout_default(&ctx->ch_layout, n);
    }
    AVChannelLayout stereo;
    av_channel_layout_default(&stereo, Channels);
    SwrContext* swr = nullptr;
    if (swr_alloc_set_opts2(&swr, &stereo, AV_SAMPLE_FMT_S16, Rate, &ctx->ch_layout, ctx->sample_fmt,
                            ctx->sample_rate, 0, nullptr) < 0)
        return;
    swr_.reset(swr);
    if (swr_init(swr) < 0) return;
    decoder_ = std::move(ctx);
    // The file's packets of other streams are never needed.
    for (unsigned i = 0; i < raw->nb_streams; ++i)
        if (int(i) != stream_) raw->streams[i]->discard = AVDISCARD_ALL;
}

FfmpegSoundSource::~FfmpegSoundSource() = default;

void FfmpegSoundSource::restart(double fromMs, double tempo) {
    ready_.clear();
    ended_ = false;
    tempo_ = tempo;
    filter_ = std::make_unique<TempoFilter>(tempo);
    if (!filter_->isReady()) filter_.reset();  // untouched speed, as the player does without the filter
    startMs_ = fromMs;
    startFound_ = false;
    skip_ = 0;
    if (!decoder_) return;
    AVStream* st = input_->streams[stream_];
    const int64_t target = av_rescale_q(int64_t(std::llround((zeroSeconds_ + fromMs / 1000.0) * AV_TIME_BASE)),
                                        AVRational{1, AV_TIME_BASE}, st->time_base);
    av_seek_frame(input_.get(), stream_, target, AVSEEK_FLAG_BACKWARD);
    avcodec_flush_buffers(decoder_.get());
    swr_init(swr_.get());
}

void FfmpegSoundSource::append(const int16_t* samples, int frames) {
    if (frames <= 0) return;
    if (!filter_) {
        ready_.insert(ready_.end(), samples, samples + size_t(frames) * Channels);
        return;
    }
    const std::vector<int16_t> out = filter_->process(samples, frames);
    ready_.insert(ready_.end(), out.begin(), out.end());
}

bool FfmpegSoundSource::pull() {
    if (ended_ || !decoder_) return false;
    for (;;) {
        int rc = avcodec_receive_frame(decoder_.get(), frame_.get());
        if (rc == 0) break;
        if (rc == AVERROR_EOF) {
            ended_ = true;
            if (filter_) {
                const std::vector<int16_t> rest = filter_->flush();
                ready_.insert(ready_.end(), rest.begin(), rest.end());
            }
            return false;
        }
        if (rc != AVERROR(EAGAIN)) {
            ended_ = true;  // undecodable sound from here: silence, as playback has it
            return false;
        }
        rc = av_read_frame(input_.get(), packet_.get());
        if (rc < 0) {
            avcodec_send_packet(decoder_.get(), nullptr);
            continue;
        }
        if (packet_->stream_index == stream_) avcodec_send_packet(decoder_.get(), packet_.get());
        av_packet_unref(packet_.get());
    }
    // Where the first frame after a seek starts decides how much to drop before
    // the read's start (the seek lands on a packet at or before it), or how much
    // silence goes first (the sound starts after it).
    if (!startFound_) {
        startFound_ = true;
        const int64_t ts = frame_->best_effort_timestamp;
        if (ts != AV_NOPTS_VALUE) {
            const double frameMs = (ts * av_q2d(input_->streams[stream_]->time_base) - zeroSeconds_) * 1000.0;
            const int64_t offset = std::llround((startMs_ - frameMs) * Rate / 1000.0);
            if (offset > 0) skip_ = offset;
            else if (offset < 0) {
                const std::vector<int16_t> silence(size_t(-offset) * Channels, 0);
                append(silence.data(), int(-offset));
            }
        }
    }
    const int room = swr_get_out_samples(swr_.get(), frame_->nb_samples);
    std::vector<int16_t> converted(size_t(std::max(room, 0)) * Channels);
    uint8_t* out[1] = {reinterpret_cast<uint8_t*>(converted.data())};
    const int got = swr_convert(swr_.get(), out, room, const_cast<const uint8_t**>(frame_->extended_data),
                                frame_->nb_samples);
    av_frame_unref(frame_.get());
    if (got <= 0) return true;
    const int64_t dropped = std::min<int64_t>(skip_, got);
    skip_ -= dropped;
    append(converted.data() + dropped * Channels, got - int(dropped));
    return true;
}

std::vector<int16_t> FfmpegSoundSource::read(double fromMs, double toMs, double tempo) {
    if (!(tempo > 0)) tempo = 1;
    const bool continues = expectedFromMs_ >= 0 && std::abs(fromMs - expectedFromMs_) < 0.5 && tempo == tempo_;
    if (!continues) {
        restart(fromMs, tempo);
        runStartMs_ = fromMs;
        runHanded_ = 0;
    }
    expectedFromMs_ = toMs;
    // Counted from the run's start, so pieces add up to the whole exactly.
    const int64_t runWanted = std::llround((toMs - runStartMs_) * Rate / 1000.0 / tempo);
    const int64_t wanted = std::max<int64_t>(0, runWanted - runHanded_);
    runHanded_ += wanted;
    while (int64_t(ready_.size() / Channels) < wanted && pull()) {
    }
    std::vector<int16_t> out(size_t(wanted) * Channels, 0);  // past the sound's end: silence
    const size_t take = std::min(out.size(), ready_.size());
    std::copy(ready_.begin(), ready_.begin() + ptrdiff_t(take), out.begin());
    ready_.erase(ready_.begin(), ready_.begin() + ptrdiff_t(take));
    return out;
}

}  // namespace tvn
