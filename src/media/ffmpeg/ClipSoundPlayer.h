#pragma once

#include <QString>
#include <atomic>
#include <thread>

namespace tvn {

// Plays a clip's sound track through ALSA on a thread of its own, from a given
// position, at the playback rate: rates other than 1 are tempo-corrected
// (TempoFilter), so the voice keeps its pitch; if the filter cannot be built
// the sound is muted rather than garbled. Without a sound track or a sound
// device it does nothing. The device's blocking writes pace it; it starts with
// the picture and is not resynchronised afterwards.
class ClipSoundPlayer {
public:
    ClipSoundPlayer() = default;
    ~ClipSoundPlayer();
    ClipSoundPlayer(const ClipSoundPlayer&) = delete;
    ClipSoundPlayer& operator=(const ClipSoundPlayer&) = delete;

    // fromMs counts from the clip's first video frame, whose container time is firstFrameSeconds.
    void start(const QString& fileName, double fromMs, double firstFrameSeconds, int volume, double rate = 1.0);
    void stop();
    // 0..100, applied to the samples as they go out.
    void setVolume(int volume) { volume_ = volume; }

private:
    void run(QString fileName, double startSeconds, double rate);

    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<int> volume_{100};
};

}  // namespace tvn
