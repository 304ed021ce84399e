#pragma once

// What a plain FFmpeg program does to show a frame, the baseline the engine's
// benchmarks are measured against in the same run: open and decode the first
// frame; seek backward to the keyframe, flush, decode forward to the target;
// convert each shown frame to RGB32. Same thread count as the engine (FFmpeg's choice).

#include "media/ffmpeg/FfmpegHandles.h"

#include <QImage>
#include <QString>
#include <benchmark/benchmark.h>
#include <chrono>
#include <stdexcept>

namespace tvn::bench {

class BaselinePlayer {
public:
    void open(const QString& file) {
        AVFormatContext* raw = nullptr;
        if (avformat_open_input(&raw, file.toUtf8().constData(), nullptr, nullptr) < 0)
            throw std::runtime_error("baseline cannot open " + file.toStdString());
        format_.reset(raw);
        avformat_find_stream_info(format_.get(), nullptr);
        const AVCodec* decoder = nullptr;
        stream_ = av_find_best_stream(format_.get(), AVMEDIA_TYPE_VIDEO, -1, -1, &decoder, 0);
        codec_.reset(avcodec_alloc_context3(decoder));
        avcodec_parameters_to_context(codec_.get(), format_->streams[stream_]->codecpar);
        codec_->thread_count = 0;
        codec_->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
        avcodec_open2(codec_.get(), decoder, nullptr);
        tb_ = format_->streams[stream_]->time_base;
        decodeOne();
        firstPts_ = frame_->best_effort_timestamp;
        convert();
    }
    // Seeks backward to the keyframe before frame n and decodes up to it; returns its position in ms.
    // A seek that lands past the frame (MPEG-TS seeks to a packet, not a keyframe) is
    // tried again one keyframe interval earlier, as a player that knows it would.
    double seekToFrame(int64_t n, double fps, double keySeconds) {
        const int64_t target = firstPts_ + av_rescale_q(n, av_inv_q(av_d2q(fps, 1000)), tb_);
        const double halfFrame = 0.5 / (fps * av_q2d(tb_));
        for (int64_t back : {int64_t(0), av_rescale_q(int64_t(keySeconds * 1000), AVRational{1, 1000}, tb_)}) {
            avformat_seek_file(format_.get(), stream_, INT64_MIN, target - back, target - back, 0);
            avcodec_flush_buffers(codec_.get());
            if (!decodeOne() || double(frame_->best_effort_timestamp) - halfFrame > double(target)) continue;
            // The frame that contains the target: the first one starting within half a frame of it
            // (containers round timestamps).
            while (double(frame_->best_effort_timestamp) + halfFrame <= double(target) && decodeOne()) {
            }
            break;
        }
        convert();
        return double(frame_->best_effort_timestamp - firstPts_) * av_q2d(tb_) * 1000.0;
    }
    // Decodes and converts the next frame; false at the end.
    bool step() {
        if (!decodeOne()) return false;
        convert();
        return true;
    }

private:
    bool decodeOne() {
        for (;;) {
            const int r = avcodec_receive_frame(codec_.get(), frame_.get());
            if (r == 0) return true;
            if (r == AVERROR_EOF) return false;
            if (av_read_frame(format_.get(), packet_.get()) < 0) {
                avcodec_send_packet(codec_.get(), nullptr);
                continue;
            }
            if (packet_->stream_index == stream_) avcodec_send_packet(codec_.get(), packet_.get());
            av_packet_unref(packet_.get());
        }
    }
    void convert() {
        sws_.reset(sws_getCachedContext(sws_.release(), frame_->width, frame_->height, AVPixelFormat(frame_->format),
                                        frame_->width, frame_->height, AV_PIX_FMT_RGB32, SWS_BILINEAR, nullptr,
                                        nullptr, nullptr));
        if (image_.size() != QSize(frame_->width, frame_->height))
            image_ = QImage(frame_->width, frame_->height, QImage::Format_RGB32);
        uint8_t* dst[4] = {image_.bits()};
        int stride[4] = {int(image_.bytesPerLine())};
        sws_scale(sws_.get(), frame_->data, frame_->linesize, 0, frame_->height, dst, stride);
    }

    ff::FormatPtr format_;
    ff::CodecPtr codec_;
    ff::FramePtr frame_ = ff::makeFrame();
    ff::PacketPtr packet_ = ff::makePacket();
    ff::SwsPtr sws_;
    int stream_ = -1;
    int64_t firstPts_ = 0;
    AVRational tb_{1, 1};
    QImage image_;
};

using Clock = std::chrono::steady_clock;

template <class F>
double timeMs(F&& f) {
    const auto t0 = Clock::now();
    f();
    return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

// Mean per operation of the baseline and the engine, and their ratio.
inline void report(benchmark::State& state, double baseMs, double engineMs, int64_t n) {
    state.counters["base_ms"] = baseMs / double(n);
    state.counters["engine_ms"] = engineMs / double(n);
    state.counters["x_base"] = baseMs > 0 ? engineMs / baseMs : 0;
}

}  // namespace tvn::bench
