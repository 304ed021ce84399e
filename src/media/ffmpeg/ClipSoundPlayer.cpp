#include "media/ffmpeg/ClipSoundPlayer.h"

#include "media/alsa/AlsaAudioOutput.h"
#include "media/ffmpeg/FfmpegHandles.h"
#include "media/ffmpeg/TempoFilter.h"

extern "C" {
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <vector>

namespace tvn {

namespace {
struct SwrFreer {
    void operator()(SwrContext* s) const { swr_free(&s); }
};
// Timestamps closer than this to where the sound stands are taken as joined:
// containers round times (Matroska to whole milliseconds).
constexpr double kJoinToleranceSeconds = 0.003;
// A reading of the device older than this says nothing about now (a stalled device).
constexpr auto kHeardValidFor = std::chrono::milliseconds(250);
// Silence is written in pieces of this many frames, so a stop is heard between them.
constexpr int kSilenceBlock = AlsaAudioOutput::kRate / 50;
}  // namespace

ClipSoundPlayer::~ClipSoundPlayer() { stop(); }

void ClipSoundPlayer::start(const QString& fileName, double fromMs, double firstFrameSeconds, int volume,
                            double rate) {
    stop();
    stop_ = false;
    volume_ = volume;
    rate_ = rate > 0 ? rate : 1.0;
    thread_ = std::thread(&ClipSoundPlayer::run, this, fileName, fromMs, firstFrameSeconds + fromMs / 1000.0, rate_);
}

void ClipSoundPlayer::stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    forgetHeard();
}

std::optional<double> ClipSoundPlayer::heardPositionMs(Clock::time_point at) const {
    std::scoped_lock lock(heardMutex_);
    if (!heardValid_ || at - heardAt_ > kHeardValidFor) return std::nullopt;
    return heardMs_ + std::chrono::duration<double, std::milli>(at - heardAt_).count() * rate_;
}

void ClipSoundPlayer::noteHeard(double positionMs) {
    std::scoped_lock lock(heardMutex_);
    heardMs_ = positionMs;
    heardAt_ = Clock::now();
    heardValid_ = true;
}

void ClipSoundPlayer::forgetHeard() {
    std::scoped_lock lock(heardMutex_);
    heardValid_ = false;
}

void ClipSoundPlayer::run(QString fileName, double fromMs, double startSeconds, double rate) {
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

    // Everything fed to the tempo filter continues one timeline from startSeconds
    // (samples before it skipped, missing time filled with silence), so the
    // frames the device has played tell the clip position it plays.
    double nextSeconds = startSeconds;  // clip time of the next sample to feed
    int64_t framesOut = 0;
    const auto play = [&](const int16_t* samples, int frames) {
        std::vector<int16_t> played = tempo.process(samples, frames);
        const int gain = volume_;
        for (int16_t& v : played) v = int16_t(v * gain / 100);
        const int outFrames = int(played.size() / AlsaAudioOutput::kChannels);
        out.write(played.data(), outFrames);
        framesOut += outFrames;
        if (!out.isOpen()) return forgetHeard();  // the device went away: silent from here
        const double heardFrames = double(framesOut - out.delayFrames());
        noteHeard(fromMs + heardFrames * rate * 1000.0 / AlsaAudioOutput::kRate);
    };
    const std::vector<int16_t> silence(size_t(kSilenceBlock) * AlsaAudioOutput::kChannels, 0);
    const auto playSilence = [&](int64_t frames) {
        for (; frames > 0 && !stop_; frames -= kSilenceBlock) play(silence.data(), int(std::min<int64_t>(frames, kSilenceBlock)));
    };

    auto packet = ff::makePacket();
    auto frame = ff::makeFrame();
    std::vector<int16_t> samples;
    while (!stop_) {
        if (av_read_frame(format.get(), packet.get()) < 0) break;
        if (packet->stream_index == index) avcodec_send_packet(codec.get(), packet.get());
        av_packet_unref(packet.get());
        while (!stop_ && avcodec_receive_frame(codec.get(), frame.get()) == 0) {
            const double t = frame->best_effort_timestamp == AV_NOPTS_VALUE
                                 ? nextSeconds
                                 : frame->best_effort_timestamp * av_q2d(stream->time_base);
            const int capacity = swr_get_out_samples(swr.get(), frame->nb_samples);
            samples.resize(size_t(std::max(capacity, 0)) * AlsaAudioOutput::kChannels);
            uint8_t* dst = reinterpret_cast<uint8_t*>(samples.data());
            const int n = swr_convert(swr.get(), &dst, capacity, const_cast<const uint8_t**>(frame->extended_data),
                                      frame->nb_samples);
            if (n <= 0) continue;
            // Sound that starts late (or resumes after a gap) waits in silence;
            // sound before where it stands (the seek lands on a packet boundary) is skipped.
            if (t > nextSeconds + kJoinToleranceSeconds)
                playSilence(int64_t((t - nextSeconds) * AlsaAudioOutput::kRate));
            int skip = 0;
            if (t < nextSeconds - kJoinToleranceSeconds) skip = std::min(n, int((nextSeconds - t) * AlsaAudioOutput::kRate));
            if (n > skip) play(samples.data() + skip * AlsaAudioOutput::kChannels, n - skip);
            nextSeconds = std::max(nextSeconds, t + double(n) / AlsaAudioOutput::kRate);
        }
    }
    // At the sound's end the device still holds its last moments: let them play.
    const Clock::time_point drainUntil = Clock::now() + std::chrono::seconds(1);
    while (!stop_ && out.isOpen() && out.delayFrames() > 0 && Clock::now() < drainUntil)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    forgetHeard();
    out.discard();
}

}  // namespace tvn
