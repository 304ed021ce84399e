#include "media/ffmpeg/ClipSoundPlayer.h"

#include "core/LogCategories.h"
#include "media/alsa/AlsaAudioOutput.h"
#include "media/ffmpeg/FfmpegHandles.h"
#include "media/ffmpeg/TempoFilter.h"

extern "C" {
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <pthread.h>
#include <vector>

namespace tvn {

namespace {
struct SwrFreer {
    void operator()(SwrContext* s) const { swr_free(&s); }
};
constexpr int kRate = SoundOutput::kRate;
constexpr int kChannels = SoundOutput::kChannels;
// Timestamps closer than this to where the sound stands are taken as joined:
// containers round times (Matroska to whole milliseconds).
constexpr double kJoinToleranceSeconds = 0.003;
// A reading of the device older than this says nothing about now (a stalled device).
constexpr auto kHeardValidFor = std::chrono::milliseconds(250);
// Silence is written in pieces of this many frames, so a stop is heard between them.
constexpr int kSilenceBlock = kRate / 50;
// How long the device may take to play out its last moments at the end.
constexpr auto kDrainAtMost = std::chrono::seconds(1);

// Why the sound stopped before its end; thrown inside the sound thread only.
struct SoundFailure {
    QString why;
};
}  // namespace

ClipSoundPlayer::ClipSoundPlayer(OutputFactory makeOutput) : makeOutput_(std::move(makeOutput)) {}

ClipSoundPlayer::~ClipSoundPlayer() { stop(); }

void ClipSoundPlayer::start(const QString& fileName, double fromMs, double firstFrameSeconds, int volume,
                            double rate) {
    stop();
    stop_ = false;
    finished_ = false;
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
    pthread_setname_np(pthread_self(), "tvn-sound");
    try {
        play(fileName, fromMs, startSeconds, rate);
    } catch (const SoundFailure& f) {
        if (!stop_ && failureSink_)
            failureSink_(TvnError(err::PlaybackFailed,
                                  QStringLiteral("The sound of '%1' stopped: %2; the picture plays on silently")
                                      .arg(fileName, f.why),
                                  QStringLiteral("VideoEngine"))
                             .prefixed("Play"));
    }
    forgetHeard();
    finished_ = true;
}

void ClipSoundPlayer::play(QString fileName, double fromMs, double startSeconds, double rate) {
    const auto failIf = [](bool failed, const QString& why) {
        if (failed) throw SoundFailure{why};
    };
    const auto failOn = [](int rc, const QString& what) {
        if (rc < 0) throw SoundFailure{what + QStringLiteral(": ") + ff::errorText(rc)};
    };
    TempoFilter tempo(rate);
    // Muted rather than played at the wrong speed.
    failIf(!tempo.isReady(), QStringLiteral("the tempo filter for rate %1 could not be built").arg(rate));
    AVFormatContext* raw = nullptr;
    failOn(avformat_open_input(&raw, fileName.toUtf8().constData(), nullptr, nullptr), QStringLiteral("cannot open it"));
    ff::FormatPtr format(raw);
    failOn(avformat_find_stream_info(format.get(), nullptr), QStringLiteral("cannot read its streams"));
    const AVCodec* decoder = nullptr;
    const int index = av_find_best_stream(format.get(), AVMEDIA_TYPE_AUDIO, -1, -1, &decoder, 0);
    failOn(index, QStringLiteral("no sound track it can decode"));
    AVStream* stream = format->streams[index];
    for (unsigned i = 0; i < format->nb_streams; ++i)
        if (int(i) != index) format->streams[i]->discard = AVDISCARD_ALL;
    ff::CodecPtr codec(avcodec_alloc_context3(decoder));
    failIf(!codec, QStringLiteral("out of memory"));
    failOn(avcodec_parameters_to_context(codec.get(), stream->codecpar), QStringLiteral("its sound decoder"));
    failOn(avcodec_open2(codec.get(), decoder, nullptr), QStringLiteral("its sound decoder"));

    const int64_t start = av_rescale_q(int64_t(startSeconds * AV_TIME_BASE), AV_TIME_BASE_Q, stream->time_base);
    av_seek_frame(format.get(), index, start, AVSEEK_FLAG_BACKWARD);  // not there: from the start, skipped up to it

    AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
    SwrContext* rawSwr = nullptr;
    failOn(swr_alloc_set_opts2(&rawSwr, &stereo, AV_SAMPLE_FMT_S16, kRate, &codec->ch_layout, codec->sample_fmt,
                               codec->sample_rate, 0, nullptr),
           QStringLiteral("its resampler"));
    std::unique_ptr<SwrContext, SwrFreer> swr(rawSwr);
    failOn(swr_init(swr.get()), QStringLiteral("its resampler"));

    // The track is checked first, so a sound that cannot play is reported on a
    // machine without a device too.
    std::unique_ptr<SoundOutput> out = makeOutput_ ? makeOutput_() : std::make_unique<AlsaAudioOutput>();
    if (!out->open()) {
        qCDebug(lcAlsa, "No sound device: '%s' plays without its sound", qPrintable(fileName));
        return;
    }

    // Everything fed to the tempo filter continues one timeline from startSeconds
    // (samples before it skipped, missing time filled with silence), so the
    // frames the device has played tell the clip position it plays.
    double nextSeconds = startSeconds;  // clip time of the next sample to feed
    int64_t framesOut = 0;
    const auto toDevice = [&](std::vector<int16_t> played) {
        const int gain = volume_;
        for (int16_t& v : played) v = int16_t(v * gain / 100);
        const int outFrames = int(played.size() / kChannels);
        framesOut += out->write(played.data(), outFrames, stop_);
        failIf(!out->isOpen(), QStringLiteral("the sound device went away"));
        const double heardFrames = double(framesOut - out->delayFrames());
        noteHeard(fromMs + heardFrames * rate * 1000.0 / kRate);
    };
    const auto feed = [&](const int16_t* samples, int frames) { toDevice(tempo.process(samples, frames)); };
    const std::vector<int16_t> silence(size_t(kSilenceBlock) * kChannels, 0);
    const auto feedSilence = [&](int64_t frames) {
        for (; frames > 0 && !stop_; frames -= kSilenceBlock) feed(silence.data(), int(std::min<int64_t>(frames, kSilenceBlock)));
    };

    std::vector<int16_t> samples;
    // Resampled samples of one decoded frame (none: what the resampler still holds), at clip time t.
    const auto feedConverted = [&](const uint8_t** data, int count, double t) {
        const int capacity = swr_get_out_samples(swr.get(), count);
        if (capacity <= 0) return;
        samples.resize(size_t(capacity) * kChannels);
        uint8_t* dst = reinterpret_cast<uint8_t*>(samples.data());
        const int n = swr_convert(swr.get(), &dst, capacity, data, count);
        if (n <= 0) return;
        // Sound that starts late (or resumes after a gap) waits in silence;
        // sound before where it stands (the seek lands on a packet boundary) is skipped.
        if (t > nextSeconds + kJoinToleranceSeconds) feedSilence(int64_t((t - nextSeconds) * kRate));
        int skip = 0;
        if (t < nextSeconds - kJoinToleranceSeconds) skip = std::min(n, int((nextSeconds - t) * kRate));
        if (n > skip) feed(samples.data() + skip * kChannels, n - skip);
        nextSeconds = std::max(nextSeconds, t + double(n) / kRate);
    };
    auto frame = ff::makeFrame();
    const auto receiveAll = [&] {
        while (!stop_ && avcodec_receive_frame(codec.get(), frame.get()) == 0) {
            const double t = frame->best_effort_timestamp == AV_NOPTS_VALUE
                                 ? nextSeconds
                                 : frame->best_effort_timestamp * av_q2d(stream->time_base);
            feedConverted(const_cast<const uint8_t**>(frame->extended_data), frame->nb_samples, t);
            av_frame_unref(frame.get());
        }
    };

    auto packet = ff::makePacket();
    int64_t damaged = 0;
    while (!stop_) {
        const int rc = av_read_frame(format.get(), packet.get());
        if (rc == AVERROR_EOF) break;
        failOn(rc, QStringLiteral("cannot read it further"));
        if (packet->stream_index == index && avcodec_send_packet(codec.get(), packet.get()) < 0) ++damaged;
        av_packet_unref(packet.get());
        receiveAll();
    }
    if (damaged > 0) qCDebug(lcMedia, "%lld damaged sound packet(s) of '%s' skipped", qlonglong(damaged), qPrintable(fileName));
    if (stop_) return;
    // The end: the decoder, the resampler and the tempo filter let go of what they hold.
    avcodec_send_packet(codec.get(), nullptr);
    receiveAll();
    feedConverted(nullptr, 0, nextSeconds);
    if (!stop_) toDevice(tempo.flush());
    // The device still holds the last moments: let them play.
    const Clock::time_point drainUntil = Clock::now() + kDrainAtMost;
    while (!stop_ && out->isOpen() && out->delayFrames() > 0 && Clock::now() < drainUntil)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    forgetHeard();
    out->discard();
}

}  // namespace tvn
