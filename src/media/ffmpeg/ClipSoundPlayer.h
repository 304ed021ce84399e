#pragma once

#include "core/TvnError.h"
#include "media/SoundOutput.h"

#include <QString>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

namespace tvn {

// Plays a clip's sound track on a thread of its own, from a given position, at
// the playback rate: rates other than 1 are tempo-corrected (TempoFilter), so
// the voice keeps its pitch. Without a sound device it does nothing, silently
// (a machine without one plays pictures only). The device's writes pace it.
//
// The sound keeps to its timestamps: a track that starts later than the
// picture (common after cutting), or that has a gap, gets silence for the
// missing time instead of being played early. At the track's end the decoder,
// the resampler and the tempo filter give up what they hold, so the clip's last
// samples are heard. heardPositionMs() is the clock of what the device plays
// now, for the picture to follow.
//
// A failure (the track cannot be opened or decoded, read errors mid-track, the
// tempo filter cannot be built, the device goes away) ends the sound, never the
// picture, and goes to the failure sink once, on the sound thread. A damaged
// packet is skipped (logged at debug). stop() returns within a few milliseconds
// whatever the device does: its waits look at the stop request (SoundOutput).
class ClipSoundPlayer {
public:
    using Clock = std::chrono::steady_clock;
    // The device a play writes to, made on the sound thread; empty: ALSA's default.
    using OutputFactory = std::function<std::unique_ptr<SoundOutput>()>;
    // Called on the sound thread with why the sound stopped before its end.
    using FailureSink = std::function<void(const TvnError& error)>;

    explicit ClipSoundPlayer(OutputFactory makeOutput = {});
    ~ClipSoundPlayer();
    ClipSoundPlayer(const ClipSoundPlayer&) = delete;
    ClipSoundPlayer& operator=(const ClipSoundPlayer&) = delete;

    // Set before the first start.
    void setFailureSink(FailureSink sink) { failureSink_ = std::move(sink); }
    // fromMs counts from the clip's first video frame, whose container time is firstFrameSeconds.
    void start(const QString& fileName, double fromMs, double firstFrameSeconds, int volume, double rate = 1.0);
    void stop();
    // True once the thread of the last start has ended by itself (the sound's end or a failure).
    bool finished() const { return finished_; }
    // 0..100, applied to the samples as they go out.
    void setVolume(int volume) { volume_ = volume; }
    // The clip position (ms, as fromMs) the device plays at the instant given;
    // nothing before the first write, after the sound's end, without a device
    // or when the last reading is too old to trust. Any thread.
    std::optional<double> heardPositionMs(Clock::time_point at) const;

private:
    void run(QString fileName, double fromMs, double startSeconds, double rate);
    void play(QString fileName, double fromMs, double startSeconds, double rate);
    // Records, after a write, what the device plays now (sound thread).
    void noteHeard(double positionMs);
    void forgetHeard();

    OutputFactory makeOutput_;
    FailureSink failureSink_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> finished_{false};
    std::atomic<int> volume_{100};
    double rate_ = 1.0;
    mutable std::mutex heardMutex_;  // guards heardMs_, heardAt_, heardValid_
    double heardMs_ = 0;
    Clock::time_point heardAt_;
    bool heardValid_ = false;
};

}  // namespace tvn
