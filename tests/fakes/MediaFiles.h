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
#include <cmath>
#include <sndfile.h>
#include <string>
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
