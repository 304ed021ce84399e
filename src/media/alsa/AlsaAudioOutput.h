#pragma once

#include <cstdint>
#include <memory>

namespace tvn {

// Plays interleaved 16-bit stereo sound at 48 kHz on the default ALSA device.
// A machine without a sound device (snd_pcm_open fails) gets an output that is
// not open: writes are dropped, so playback goes on silently and without error.
// Used from one thread (the clip's sound thread).
class AlsaAudioOutput {
public:
    static constexpr int kRate = 48000;
    static constexpr int kChannels = 2;

    AlsaAudioOutput();
    ~AlsaAudioOutput();
    AlsaAudioOutput(const AlsaAudioOutput&) = delete;
    AlsaAudioOutput& operator=(const AlsaAudioOutput&) = delete;

    // Opens the default device; false (quietly) when there is none.
    bool open();
    bool isOpen() const;
    // Blocks until the device has taken the frames (this paces the sound thread).
    void write(const int16_t* interleaved, int frames);
    // Frames written and not yet heard (the device's delay); 0 when not open.
    long delayFrames();
    // Drops what is queued in the device (pause, seek).
    void discard();
    void close();

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

}  // namespace tvn
