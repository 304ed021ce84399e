#pragma once

// Where the FFmpeg releases Trelvan builds on differ in their interface (5.1 on
// Debian 12, 7.1 on Debian 13), one named helper each: call sites read the same
// on both, and the version checks live here and nowhere else. Each check names
// the library version that brought the newer way. Only code inside
// src/media/ffmpeg includes this header.

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/frame.h>
}

#include <cstdint>

namespace tvn::ff {

// How long a decoded frame lasts, in its stream's time base; 0 when the
// container does not say. libavutil 57.30 (FFmpeg 6.0) added AVFrame::duration
// in place of pkt_duration, which FFmpeg 7 removed.
inline int64_t frameDuration(const AVFrame* frame) {
#if LIBAVUTIL_VERSION_INT >= AV_VERSION_INT(57, 30, 100)
    return frame->duration;
#else
    return frame->pkt_duration;
#endif
}

// A stream's side data of one type (such as its display matrix), or nullptr.
// Since libavcodec 60.30 (FFmpeg 6.1) the demuxer puts it in the codec
// parameters' coded side data; the stream's own list and
// av_stream_get_side_data() are deprecated there.
inline const uint8_t* streamSideData(const AVStream* stream, AVPacketSideDataType type) {
#if LIBAVCODEC_VERSION_INT >= AV_VERSION_INT(60, 30, 100)
    const AVPacketSideData* data =
        av_packet_side_data_get(stream->codecpar->coded_side_data, stream->codecpar->nb_coded_side_data, type);
    return data ? data->data : nullptr;
#else
    return av_stream_get_side_data(stream, type, nullptr);
#endif
}

// The pixel formats an encoder takes, ended by AV_PIX_FMT_NONE, or nullptr
// when it does not say (it takes any). libavcodec 61.13 (FFmpeg 7.1) asks
// avcodec_get_supported_config() and deprecates AVCodec::pix_fmts.
inline const AVPixelFormat* encoderPixelFormats(const AVCodec* codec) {
#if LIBAVCODEC_VERSION_INT >= AV_VERSION_INT(61, 13, 100)
    const void* formats = nullptr;
    if (avcodec_get_supported_config(nullptr, codec, AV_CODEC_CONFIG_PIX_FORMAT, 0, &formats, nullptr) < 0)
        return nullptr;
    return static_cast<const AVPixelFormat*>(formats);
#else
    return codec->pix_fmts;
#endif
}

// The sample formats an encoder takes, ended by AV_SAMPLE_FMT_NONE, or nullptr
// when it does not say; as encoderPixelFormats().
inline const AVSampleFormat* encoderSampleFormats(const AVCodec* codec) {
#if LIBAVCODEC_VERSION_INT >= AV_VERSION_INT(61, 13, 100)
    const void* formats = nullptr;
    if (avcodec_get_supported_config(nullptr, codec, AV_CODEC_CONFIG_SAMPLE_FORMAT, 0, &formats, nullptr) < 0)
        return nullptr;
    return static_cast<const AVSampleFormat*>(formats);
#else
    return codec->sample_fmts;
#endif
}

// Says that the get_buffer2 we install may be called on several of the
// decoder's frame threads at once. FFmpeg before 6.0 must be told
// (thread_safe_callbacks, deprecated all along); from 6.0 on it is the rule.
inline void declareThreadSafeGetBuffer([[maybe_unused]] AVCodecContext* codec) {
#if FF_API_THREAD_SAFE_CALLBACKS
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    codec->thread_safe_callbacks = 1;
#pragma GCC diagnostic pop
#endif
}

}  // namespace tvn::ff
