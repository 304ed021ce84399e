#pragma once

#include "media/ffmpeg/FrameScaler.h"
#include "media/ffmpeg/LessonConverter.h"
#include "media/ffmpeg/LessonInput.h"

#include <cstdint>
#include <map>
#include <vector>

namespace tvn {

class ConversionOutput;

// The picture side of a lesson conversion: reads the lesson video, decodes
// it, scales each picture to the profile's size and encodes the output frames
// that fall in the span at the profile's rate (dropping or repeating pictures
// by time). A packet identical to the one before (the lesson writer copies
// packets for a still picture) is shown again without being decoded again.
class ConversionPictures {
public:
    explicit ConversionPictures(const LessonConverter::Job& job);

    // Adds the named encoder's stream to output; the output is written from then on.
    void addEncoder(ConversionOutput& output, const char* name);
    // Reads one packet (or drains the decoder at the end) and encodes what it shows.
    void step();
    bool done() const { return done_; }
    // Seconds of output written so far.
    double seconds() const { return written_ / outFps_; }
    // How far through the video file reading is, in percent (0 when unknown).
    int percentRead() const;

private:
    // Encodes the output frames that fall in the input frame at ts, showing decoded.
    void emitFrame(const AVFrame* decoded, int64_t ts);
    void scale(const AVFrame* decoded);
    void flushEncoder();

    const LessonConverter::Job& job_;
    LessonInput input_;
    double inFps_ = 25;
    double outFps_ = 25;
    int outWidth_ = 0, outHeight_ = 0;

    ConversionOutput* output_ = nullptr;
    ff::CodecPtr encoder_;
    AVStream* stream_ = nullptr;
    FrameScaler scaler_;
    ff::FramePtr scaled_;
    ff::PacketPtr packet_{av_packet_alloc()};
    ff::FramePtr decoded_{av_frame_alloc()};
    int64_t decodedCount_ = 0;   // pictures received from the decoder
    int64_t scaledPicture_ = -1;  // which of them scaled_ shows
    std::vector<uint8_t> lastBytes_;        // the last video packet sent to the decoder
    int64_t lastSentPts_ = AV_NOPTS_VALUE;
    int64_t lastShownPts_ = AV_NOPTS_VALUE;  // the pts of the last picture out of the decoder
    ff::FramePtr lastDecoded_{av_frame_alloc()};  // that picture
    std::map<int64_t, std::vector<int64_t>> repeats_;  // picture's pts -> pts of its copies

    int64_t written_ = 0;  // frames written
    bool done_ = false, ended_ = false;
};

}  // namespace tvn
