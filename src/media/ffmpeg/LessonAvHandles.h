#pragma once

// Owning handles for the FFmpeg objects that writing and converting lessons
// need beyond the common ones of FfmpegHandles.h: an output file, an audio
// resampler and an audio sample queue.

#include "media/ffmpeg/FfmpegHandles.h"

extern "C" {
#include <libavutil/audio_fifo.h>
#include <libswresample/swresample.h>
}

namespace tvn::ff {

// An output from avformat_alloc_output_context2; closes its file if one was opened.
struct OutputFreer {
    void operator()(AVFormatContext* f) const {
        if (f->pb && !(f->oformat->flags & AVFMT_NOFILE)) avio_closep(&f->pb);
        avformat_free_context(f);
    }
};
struct SwrFreer {
    void operator()(SwrContext* s) const { swr_free(&s); }
};
struct AudioFifoFreer {
    void operator()(AVAudioFifo* f) const { av_audio_fifo_free(f); }
};

using OutputPtr = std::unique_ptr<AVFormatContext, OutputFreer>;
using SwrPtr = std::unique_ptr<SwrContext, SwrFreer>;
using AudioFifoPtr = std::unique_ptr<AVAudioFifo, AudioFifoFreer>;

}  // namespace tvn::ff
