#pragma once

#include "media/SoundSource.h"
#include "media/ffmpeg/LessonAvHandles.h"
#include "media/ffmpeg/TempoFilter.h"

namespace tvn {

// SoundSource on FFmpeg: the clip's sound decoded, resampled to 48 kHz stereo
// by swresample, slowed or sped up by TempoFilter (atempo). Reads that follow
// one another at the same tempo run on through one filter, so the filter's
// look-ahead never leaves a gap; any other read seeks and starts a new filter.
class FfmpegSoundSource final : public SoundSource {
public:
    FfmpegSoundSource(const QString& fileName, double zeroSeconds);
    ~FfmpegSoundSource() override;

    bool hasSound() const override { return decoder_ != nullptr; }
    std::vector<int16_t> read(double fromMs, double toMs, double tempo) override;

private:
    void restart(double fromMs, double tempo);
    // Decodes on; appends what the filter gives to ready_. False at the sound's end.
    bool pull();
    void append(const int16_t* samples, int frames);

    QString file_;
    double zeroSeconds_ = 0;
    ff::FormatPtr input_;
    int stream_ = -1;
    ff::CodecPtr decoder_;
    ff::SwrPtr swr_;
    ff::PacketPtr packet_;
    ff::FramePtr frame_;
    std::unique_ptr<TempoFilter> filter_;
    double tempo_ = 1;
    double expectedFromMs_ = -1;
    double runStartMs_ = 0;  // where the reads that follow one another began
    int64_t runHanded_ = 0;  // sample frames handed out since  // where the last read ended; -1: nothing read yet
    int64_t skip_ = 0;            // sample frames still to drop before the read's start
    bool startFound_ = false;     // the first decoded frame after a restart has placed the start
    double startMs_ = 0;
    bool ended_ = false;
    std::vector<int16_t> ready_;  // output at the tempo, not yet handed out
};

}  // namespace tvn
