#pragma once

#include <QString>
#include <atomic>
#include <thread>

namespace tvn {

// Plays a clip's sound track through ALSA on a thread of its own, from a given
// position, at normal speed. The display engine runs it only while playing at
// rate 1 (other rates are muted rather than pitch-shifted). Without a sound
// track or a sound device it does nothing. The device's blocking writes pace
// it; it starts with the picture and is not resynchronised afterwards.
class ClipSoundPlayer {
public:
    ClipSoundPlayer() = default;
    ~ClipSoundPlayer();
    ClipSoundPlayer(const ClipSoundPlayer&) = delete;
    ClipSoundPlayer& operator=(const ClipSoundPlayer&) = delete;

    // fromMs counts from the clip's first video frame, whose container time is firstFrameSeconds.
    void start(const QString& fileName, double fromMs, double firstFrameSeconds, int volume);
    void stop();
    // 0..100, applied to the samples as they go out.
    void setVolume(int volume) { volume_ = volume; }

private:
    void run(QString fileName, double startSeconds);

    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<int> volume_{100};
};

}  // namespace tvn
