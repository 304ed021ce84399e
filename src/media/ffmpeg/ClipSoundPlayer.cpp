#include "media/ffmpeg/ClipSoundPlayer.h"

#include "media/alsa/AlsaAudioOutput.h"
#include "media/ffmpeg/FfmpegHandles.h"
#include "media/ffmpeg/TempoFilter.h"

extern "C" {
#include <libswresample/swresample.h>
}

#include <vector>

namespace tvn {

namespace {
struct SwrFreer {
    void operator()(SwrContext* s) const { swr_free(&s); }
};
}  // namespace

ClipSoundPlayer::~ClipSoundPlayer() { stop(); }

void ClipSoundPlayer::start(const QString& fileName, double fromMs, double firstFrameSeconds, int volume,
                            double rate) {
    stop();
    stop_ = false;
    volume_ = volume;
    thread_ = std::thread(&ClipSoundPlayer::run, this, fileName, firstFrameSeconds + fromMs / 1000.0, rate);
}

void ClipSoundPlayer::stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
}

void ClipSoundPlayer::run(QString fileName, double startSeconds, double rate) {
    TempoFilter tempo(rate);
    if (!tempo.isReady()) return;  // muted rather than played at the wrong speed
    AlsaAudioOutput out;
    if (!out.open()) return;  // no sound device: silent playback
    AVFormatContext* raw = nullptr;
    if (avformat_open_input(&raw, fileName.toUtf8().constData(), nullptr, nullptr) < 0) return;
    ff::FormatPtr format(raw);
    if (avformat_find_stream_info(format.get(), nullptr) < 0) return;
    const AVCodec* decoder = nullptr;
    const int index = av_find_best_stream(format.get(), AVMEDIA_TYPE_AUDIO, -1, -1, &decoder, 0);
    if (index < 0) return;
    AVStream* stream = format->streams[index];
    for (unsigned i = 0; i < format->nb_streams; ++i)
        if (int(i) != index) format->streams[i]->discard = AVDISCARD_ALL;
    ff::CodecPtr codec(avcodec_alloc_context3(decoder));
    if (!codec || avcodec_parameters_to_context(codec.get(), stream->codecpar) < 0 ||
        avcodec_open2(codec.get(), decoder, nullptr) < 0)
        return;

    const int64_t start = av_rescale_q(int64_t(startSeconds * AV_TIME_BASE), AV_TIME_BASE_Q, stream->time_base);
    av_seek_frame(format.get(), index, start, AVSEEK_FLAG_BACKWARD);

    AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
    SwrContext* rawSwr = nullptr;
    if (swr_alloc_set_opts2(&rawSwr, &stereo, AV_SAMPLE_FMT_S16, AlsaAudioOutput::kRate, &codec->ch_layout,
                            codec->sample_fmt, codec->sample_rate, 0, nullptr) < 0)
        return;
    std::unique_ptr<SwrContext, SwrFreer> swr(rawSwr);
    if (swr_init(swr.get()) < 0) return;

    auto packet = ff::makePacket();
    auto frame = ff::makeFrame();
    std::vector<int16_t> samples;
    while (!stop_) {
        if (av_read_frame(format.get(), packet.get()) < 0) break;
        if (packet->stream_index == index) avcodec_send_packet(codec.get(), packet.get());
        av_packet_unref(packet.get());
        while (!stop_ && avcodec_receive_frame(codec.get(), frame.get()) == 0) {
            // Samples before the start position (the seek lands on a packet boundary) are skipped.
            const double t = frame->best_effort_timestamp == AV_NOPTS_VALUE
                                 ? startSeconds
                                 : frame->best_effort_timestamp * av_q2d(stream->time_base);
            const int capacity = swr_get_out_samples(swr.get(), frame->nb_samples);
            samples.resize(size_t(std::max(capacity, 0)) * AlsaAudioOutput::kChannels);
            uint8_t* dst = reinterpret_cast<uint8_t*>(samples.data());
            const int n = swr_convert(swr.get(), &dst, capacity, const_cast<const uint8_t**>(frame->extended_data),
                                      frame->nb_samples);
            if (n <= 0) continue;
            int skip = 0;
            if (t < startSeconds) skip = std::min(n, int((startSeconds - t) * AlsaAudioOutput::kRate));
            std::vector<int16_t> played = tempo.process(samples.data() + skip * AlsaAudioOutput::kChannels, n - skip);
            const int gain = volume_;
            for (int16_t& v : played) v = int16_t(v * gain / 100);
            out.write(played.data(), int(played.size() / AlsaAudioOutput::kChannels));
        }
    }
    out.discard();
}

}  // namespace tvn
