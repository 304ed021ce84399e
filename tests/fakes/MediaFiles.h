#pragma once

// Reading back the files lessons write, with libavformat, the ffmpeg tool and
// libsndfile, independently of the writers; and the mixer's composed picture.

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include "core/BitmapTable.h"
#include "media/ffmpeg/FfmpegVideoMixer.h"

#include <QColor>
#include <QImage>
#include <QProcess>
#include <QString>
#include <QWidget>
#include <algorithm>
#include <cmath>
#include <sndfile.h>
#include <string>
#include <tuple>
#include <vector>

namespace tvn::testing {

struct StreamSummary {
    std::string codec;
    AVMediaType type = AVMEDIA_TYPE_UNKNOWN;
    int width = 0, height = 0, channels = 0, sampleRate = 0;
    int64_t packets = 0;
    double seconds = 0;  // from the first packet's start to the last packet's end
    double frameRate = 0;
};

// Reads every packet of a media file. Empty when the file cannot be opened.
inline std::vector<StreamSummary> probeStreams(const QString& path) {
    AVFormatContext* fmt = nullptr;
    if (avformat_open_input(&fmt, path.toUtf8().constData(), nullptr, nullptr) < 0) return {};
    avformat_find_stream_info(fmt, nullptr);
    std::vector<StreamSummary> out(fmt->nb_streams);
    std::vector<int64_t> first(fmt->nb_streams, AV_NOPTS_VALUE), last(fmt->nb_streams, AV_NOPTS_VALUE);
    for (unsigned i = 0; i < fmt->nb_streams; ++i) {
        const AVCodecParameters* p = fmt->streams[i]->codecpar;
        out[i] = {.codec = avcodec_get_name(p->codec_id), .type = p->codec_type, .width = p->width,
                  .height = p->height, .channels = p->ch_layout.nb_channels, .sampleRate = p->sample_rate,
                  .frameRate = av_q2d(fmt->streams[i]->avg_frame_rate)};
    }
    AVPacket* pkt = av_packet_alloc();
    while (av_read_frame(fmt, pkt) >= 0) {
        const int s = pkt->stream_index;
        ++out[s].packets;
        const int64_t ts = pkt->pts != AV_NOPTS_VALUE ? pkt->pts : pkt->dts;
        if (ts != AV_NOPTS_VALUE) {
            if (first[s] == AV_NOPTS_VALUE || ts < first[s]) first[s] = ts;
            int64_t duration = pkt->duration;
            if (duration == 0 && out[s].frameRate > 0)  // some containers leave video durations out
                duration = av_rescale_q(1, av_inv_q(fmt->streams[s]->avg_frame_rate), fmt->streams[s]->time_base);
            if (last[s] == AV_NOPTS_VALUE || ts + duration > last[s]) last[s] = ts + duration;
        }
        av_packet_unref(pkt);
    }
    av_packet_free(&pkt);
    for (unsigned i = 0; i < fmt->nb_streams; ++i)
        if (first[i] != AV_NOPTS_VALUE) out[i].seconds = (last[i] - first[i]) * av_q2d(fmt->streams[i]->time_base);
    avformat_close_input(&fmt);
    return out;
}

// The pointer points into streams, so a temporary list is refused at compile time.
const StreamSummary* findStream(std::vector<StreamSummary>&&, AVMediaType) = delete;
inline const StreamSummary* findStream(const std::vector<StreamSummary>& streams, AVMediaType type) {
    for (const auto& s : streams)
        if (s.type == type) return &s;
    return nullptr;
}

// Decodes the video frames of a file into RGB32 images, at most maxFrames, with
// the ffmpeg tool: every frame the file holds, none repeated or left out.
inline std::vector<QImage> decodeFrames(const QString& path, int maxFrames = 1 << 20) {
    const std::vector<StreamSummary> streams = probeStreams(path);
    const StreamSummary* video = findStream(streams, AVMEDIA_TYPE_VIDEO);
    if (!video) return {};
    QProcess ffmpeg;
    ffmpeg.start("ffmpeg", {"-v", "error", "-i", path, "-frames:v", QString::number(maxFrames), "-fps_mode",
                            "passthrough", "-f", "rawvideo", "-pix_fmt", "bgra", "-"});
    ffmpeg.waitForFinished(-1);
    const QByteArray raw = ffmpeg.readAllStandardOutput();
    const qsizetype size = qsizetype(video->width) * video->height * 4;
    std::vector<QImage> frames;
    for (qsizetype at = 0; size > 0 && at + size <= raw.size(); at += size)
        frames.push_back(QImage(reinterpret_cast<const uchar*>(raw.constData() + at), video->width, video->height,
                                QImage::Format_RGB32)
                             .copy());
    return frames;
}

// A media file decoded as a player sees it: every video frame (its luma, enough
// to read a frame code) with its presentation time, and the first sound
// channel placed by its timestamps, all in seconds of the file's own timeline
// (no stream's start moved), so the two line up as they would when played.
struct TimedMedia {
    std::vector<double> frameSeconds;
    std::vector<QImage> frames;
    double soundFrom = 0;  // the time of sound[0]
    int sampleRate = 0;
    std::vector<float> sound;  // -1 to 1
};

inline TimedMedia decodeTimed(const QString& path) {
    TimedMedia m;
    AVFormatContext* fmt = nullptr;
    if (avformat_open_input(&fmt, path.toUtf8().constData(), nullptr, nullptr) < 0) return m;
    avformat_find_stream_info(fmt, nullptr);
    AVCodecContext* dec[2] = {};  // video, sound
    int index[2] = {av_find_best_stream(fmt, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0),
                    av_find_best_stream(fmt, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0)};
    for (int k = 0; k < 2; ++k) {
        if (index[k] < 0) continue;
        const AVStream* st = fmt->streams[index[k]];
        dec[k] = avcodec_alloc_context3(avcodec_find_decoder(st->codecpar->codec_id));
        avcodec_parameters_to_context(dec[k], st->codecpar);
        dec[k]->pkt_timebase = st->time_base;
        if (avcodec_open2(dec[k], nullptr, nullptr) < 0) avcodec_free_context(&dec[k]);
    }
    AVPacket* pkt = av_packet_alloc();
    AVFrame* f = av_frame_alloc();
    const auto take = [&](int k) {
        const AVRational tb = fmt->streams[index[k]]->time_base;
        while (avcodec_receive_frame(dec[k], f) >= 0) {
            const double t = f->best_effort_timestamp == AV_NOPTS_VALUE ? 0 : f->best_effort_timestamp * av_q2d(tb);
            if (k == 0) {
                m.frameSeconds.push_back(t);
                m.frames.push_back(QImage(f->data[0], f->width, f->height, f->linesize[0], QImage::Format_Grayscale8).copy());
            } else {
                if (m.sampleRate == 0) std::tie(m.soundFrom, m.sampleRate) = std::tuple(t, f->sample_rate);
                // Placed by its time: a gap between frames stays a gap.
                const size_t at = size_t(std::max<long long>(0, std::llround((t - m.soundFrom) * m.sampleRate)));
                if (at > m.sound.size()) m.sound.resize(at, 0.f);
                // The decoders of lesson sound give floats (WMA, AAC) or 16-bit samples (WAVE).
                const bool floats = av_get_packed_sample_fmt(AVSampleFormat(f->format)) == AV_SAMPLE_FMT_FLT;
                const int step = av_sample_fmt_is_planar(AVSampleFormat(f->format)) ? 1 : f->ch_layout.nb_channels;
                for (int i = 0; i < f->nb_samples * step; i += step)
                    m.sound.push_back(floats ? reinterpret_cast<const float*>(f->data[0])[i]
                                             : reinterpret_cast<const int16_t*>(f->data[0])[i] / 32768.f);
            }
            av_frame_unref(f);
        }
    };
    while (av_read_frame(fmt, pkt) >= 0) {
        for (int k = 0; k < 2; ++k)
            if (dec[k] && pkt->stream_index == index[k] && avcodec_send_packet(dec[k], pkt) >= 0) take(k);
        av_packet_unref(pkt);
    }
    for (int k = 0; k < 2; ++k)
        if (dec[k] && avcodec_send_packet(dec[k], nullptr) >= 0) take(k);
    av_frame_free(&f);
    av_packet_free(&pkt);
    for (AVCodecContext*& d : dec) avcodec_free_context(&d);
    avformat_close_input(&fmt);
    return m;
}

// Where the sounds (beeps) of a file start, in its seconds: the first sample
// above a third of the loudest after at least 0.2 s below that.
inline std::vector<double> soundOnsets(const TimedMedia& m) {
    float peak = 0;
    for (float v : m.sound) peak = std::max(peak, std::abs(v));
    std::vector<double> onsets;
    const size_t quietNeeded = size_t(m.sampleRate) / 5;
    size_t quiet = quietNeeded;
    for (size_t i = 0; i < m.sound.size(); ++i) {
        if (std::abs(m.sound[i]) <= peak / 3) {
            ++quiet;
            continue;
        }
        if (quiet >= quietNeeded) onsets.push_back(m.soundFrom + double(i) / m.sampleRate);
        quiet = 0;
    }
    return onsets;
}

// True when two colours differ by at most tolerance in each channel (lossy codecs).
inline bool near(QColor a, QColor b, int tolerance = 24) {
    return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance &&
           std::abs(a.blue() - b.blue()) <= tolerance;
}

struct Wave {
    int channels = 0, sampleRate = 0, format = 0;
    std::vector<int16_t> samples;  // interleaved
    double seconds() const { return channels && sampleRate ? double(samples.size()) / channels / sampleRate : 0; }
    // The first channel of [fromSeconds, fromSeconds + seconds).
    std::vector<int16_t> firstChannel(double fromSeconds, double seconds) const {
        std::vector<int16_t> out;
        const size_t from = size_t(fromSeconds * sampleRate), to = size_t((fromSeconds + seconds) * sampleRate);
        for (size_t i = from; i < to && i * channels < samples.size(); ++i) out.push_back(samples[i * channels]);
        return out;
    }
};

inline Wave readWave(const QString& path) {
    Wave w;
    SF_INFO info = {};
    SNDFILE* f = sf_open(path.toUtf8().constData(), SFM_READ, &info);
    if (!f) return w;
    w.channels = info.channels;
    w.sampleRate = info.samplerate;
    w.format = info.format;
    w.samples.resize(static_cast<size_t>(info.frames) * info.channels);
    w.samples.resize(static_cast<size_t>(sf_readf_short(f, w.samples.data(), info.frames)) * info.channels);
    sf_close(f);
    return w;
}

// Runs the ffmpeg tool quietly, overwriting its output; true when it succeeded.
inline bool ffmpeg(const QStringList& args) {
    return QProcess::execute("ffmpeg", QStringList{"-v", "error", "-y"} + args) == 0;
}

// A mixer whose display fills a 320 x 240 host; seekFrame(n) seeks to duration / count * n.
struct MixerOnWidget {
    MixerOnWidget() : mixer(&host) {
        host.resize(320, 240);
        mixer.Display()->setGeometry(0, 0, 320, 240);
    }
    QImage picture() { return mixer.MixedFramePicture(-1).image().convertToFormat(QImage::Format_RGB32); }
    void seekFrame(int32_t id, int n) {
        mixer.SeekSource(id, mixer.GetSourceDuration(id) / mixer.GetSourceFrameCount(id) * n);
    }
    QWidget host;
    FfmpegVideoMixer mixer;
};

}  // namespace tvn::testing
