#pragma once

#include <QString>
#include <cstdint>
#include <memory>
#include <vector>

namespace tvn {

// A clip's sound, read by span, for code that makes something new from a clip
// (video export): interleaved 16-bit stereo at 48 kHz, any speed, pitch kept.
// Times are the control's clip positions in milliseconds (0 is the first
// frame's start). Used from one thread.
class SoundSource {
public:
    static constexpr int Rate = 48000;
    static constexpr int Channels = 2;

    // Opens the clip's first sound stream; zeroSeconds is the container time of
    // position 0 (ClipInfo::firstFrameSeconds), so sound and pictures keep in step.
    // Throws TvnError naming the file and the cause when the file cannot be
    // opened; a clip without sound opens, and gives silence.
    static std::unique_ptr<SoundSource> open(const QString& fileName, double zeroSeconds);

    virtual ~SoundSource() = default;
    virtual bool hasSound() const = 0;
    // The sound from fromMs to toMs played at tempo (0.5: twice as long, pitch
    // kept), round((toMs - fromMs) * Rate / 1000 / tempo) sample frames. Spans
    // read one after another at one tempo join without a gap or a click, and
    // together are exactly as long as the one span they make up; silence where
    // the clip has no sound there.
    virtual std::vector<int16_t> read(double fromMs, double toMs, double tempo) = 0;
};

}  // namespace tvn
