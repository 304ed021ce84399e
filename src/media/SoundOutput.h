#pragma once

#include <atomic>
#include <cstdint>

namespace tvn {

// Where a clip's sound is played: interleaved 16-bit stereo at 48 kHz.
// AlsaAudioOutput is the device; tests hand in outputs of their own. Used from
// one thread (the clip's sound thread).
class SoundOutput {
public:
    static constexpr int kRate = 48000;
    static constexpr int kChannels = 2;

    virtual ~SoundOutput() = default;

    // False (quietly) when there is no device: the sound is then not played.
    virtual bool open() = 0;
    // False after open() failed or the device went away.
    virtual bool isOpen() const = 0;
    // Hands frames to the device, waiting while it has no room (this paces the
    // sound thread), but never longer than a few milliseconds past the moment
    // `interrupted` is set: then it returns what it took so far. Returns the
    // frames taken; fewer than asked also when the device went away.
    virtual int write(const int16_t* interleaved, int frames, const std::atomic<bool>& interrupted) = 0;
    // Frames written and not yet heard (the device's delay); 0 when not open.
    virtual long delayFrames() = 0;
    // Drops what is queued in the device (pause, seek), at once.
    virtual void discard() = 0;
};

}  // namespace tvn
