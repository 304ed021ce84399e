#pragma once

#include <QString>
#include <atomic>
#include <chrono>
#include <mutex>
#include <optional>
#include <thread>

namespace tvn {

// Plays a clip's sound track through ALSA on a thread of its own, from a given
// position, at the playback rate: rates other than 1 are tempo-corrected
// (TempoFilter), so the voice keeps its pitch; if the filter cannot be built
// the sound is muted rather than garbled. Without a sound track or a sound
// device it does nothing. The device's blocking writes pace it.
//
// The sound keeps to its timestamps: a track that starts later than the
// picture (common after cutting), or that has a gap, gets silence for the
// missing time instead of being played early. heardPositionMs() is the clock
// of what the device plays now, for the picture to follow.
class ClipSoundPlayer {
public:
    using Clock = std::chrono::steady_clock;

    ClipSoundPlayer() = default;
    ~ClipSoundPlayer();
    ClipSoundPlayer(const ClipSoundPlayer&) = delete;
    ClipSoundPlayer& operator=(const ClipSoundPlayer&) = delete;

    // fromMs counts from the clip's first video frame, whose container time is firstFrameSeconds.
    void start(const QString& fileName, double fromMs, double firstFrameSeconds, int volume, double rate = 1.0);
    void stop();
    // 0..100, applied to the samples as they go out.
    void setVolume(int volume) { volume_ = volume; }
    // The clip position (ms, as fromMs) the device plays at the instant given;
    // nothing before the first write, after the sound's end, without a device
    // or when the last reading is too old to trust. Any thread.
    std::optional<double> heardPositionMs(Clock::time_point at) const;

private:
    void run(QString fileName, double fromMs, double startSeconds, double rate);
    // Records, after a write, what the device plays now (sound thread).
    void noteHeard(double positionMs);
    void forgetHeard();

    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<int> volume_{100};
    double rate_ = 1.0;
    mutable std::mutex heardMutex_;  // guards heardMs_, heardAt_, heardValid_
    double heardMs_ = 0;
    Clock::time_point heardAt_;
    bool heardValid_ = false;
};

}  // namespace tvn
