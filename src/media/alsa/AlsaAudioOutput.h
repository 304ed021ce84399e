#pragma once

#include "media/SoundOutput.h"

#include <memory>

namespace tvn {

// Plays interleaved 16-bit stereo sound at 48 kHz on the default ALSA device.
// A machine without a sound device (snd_pcm_open fails) gets an output that is
// not open: writes are dropped, so playback goes on silently and without error.
//
// The device is driven without blocking: a write waits for room in slices of
// a few milliseconds and looks at its interrupt flag between them, so stopping
// the sound never waits on the device (a device that takes nothing, a sound
// server that answers late). Used from one thread (the clip's sound thread).
class AlsaAudioOutput : public SoundOutput {
public:
    AlsaAudioOutput();
    ~AlsaAudioOutput() override;
    AlsaAudioOutput(const AlsaAudioOutput&) = delete;
    AlsaAudioOutput& operator=(const AlsaAudioOutput&) = delete;

    bool open() override;
    bool isOpen() const override;
    int write(const int16_t* interleaved, int frames, const std::atomic<bool>& interrupted) override;
    long delayFrames() override;
    void discard() override;
    void close();

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

}  // namespace tvn
