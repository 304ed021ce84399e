#pragma once

#include "media/ffmpeg/LessonAvHandles.h"

#include <QString>
#include <cstdint>
#include <functional>
#include <vector>

namespace tvn {

// The sound stream of a video file being written: interleaved 16-bit stereo at
// 48 kHz in, AAC (MP4) or Opus (WebM) out, through a FIFO that cuts it into the
// encoder's frames (the last one padded with silence). Encoded packets go to
// the writer's send, which muxes them. Failures throw TvnError ExportFailed
// naming the file. Used from one thread at a time.
class SoundStreamEncoder {
public:
    // Sends one frame (null: flush) to the encoder and muxes what comes out.
    using Send = std::function<void(AVCodecContext*, AVStream*, AVFrame*)>;

    // Adds the stream to the file (before its header is written).
    SoundStreamEncoder(AVFormatContext* out, bool webm, int bitRate, QString file);

    // Sound to play from where the sound so far ends; flush: the last of it.
    void encode(const std::vector<int16_t>& interleaved, bool flush, const Send& send);

private:
    [[noreturn]] void fail(const QString& what) const;
    void check(int rc, const QString& what) const;

    const QString file_;
    ff::CodecPtr enc_;
    AVStream* stream_ = nullptr;
    ff::SwrPtr swr_;  // s16 interleaved to the encoder's sample format
    ff::AudioFifoPtr fifo_;
    int64_t samplesOut_ = 0;
};

}  // namespace tvn
