#pragma once

#include "media/ffmpeg/LessonAvHandles.h"
#include "media/ffmpeg/LessonConverter.h"
#include "media/ffmpeg/LessonInput.h"

#include <cstdint>

namespace tvn {

class ConversionOutput;

// The sound side of a lesson conversion: reads the lesson's WAVE file,
// resamples it to the profile's rate and channels, leaves out what lies
// outside the span and encodes it in frames of the encoder's size (the last
// one padded with silence where the encoder wants whole frames).
class ConversionSound {
public:
    explicit ConversionSound(const LessonConverter::Job& job);

    // Adds the named encoder's stream to output; the output is written from then on.
    void addEncoder(ConversionOutput& output, const char* name);
    // Reads one packet, queues its samples and encodes every whole frame queued.
    void step();
    bool done() const { return done_; }
    // Seconds of sound handed to the encoder so far.
    double seconds() const { return double(encoded_) / encoder_->sample_rate; }

private:
    void resampleIntoFifo(const uint8_t** data, int samples);
    void encodeFrames(bool flush);

    const LessonConverter::Job& job_;
    LessonInput input_;
    ConversionOutput* output_ = nullptr;
    ff::CodecPtr encoder_;
    AVStream* stream_ = nullptr;
    ff::SwrPtr swr_;
    ff::AudioFifoPtr fifo_;
    ff::PacketPtr packet_{av_packet_alloc()};
    ff::FramePtr decoded_{av_frame_alloc()};

    int64_t encoded_ = 0;  // samples handed to the encoder
    int64_t skip_ = 0;     // samples still to leave out before the span
    int64_t limit_ = 0;    // samples the span allows
    int64_t queued_ = 0;   // samples put in the fifo so far (after the skip)
    bool done_ = false;
};

}  // namespace tvn
