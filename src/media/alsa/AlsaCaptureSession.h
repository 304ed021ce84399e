#pragma once

#include <QString>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

typedef struct _snd_pcm snd_pcm_t;
typedef struct sf_private_tag SNDFILE;

namespace tvn {

// One running capture: an ALSA PCM read on its own thread into a 16-bit PCM
// WAVE file written through libsndfile. libsndfile rewrites the WAVE sizes
// after every block (about every 50 ms), so the file is complete at any
// moment, also if the process dies.
//
// The file follows the clock of the calls: each stretch of recording (start
// to pause, resume to pause or stop) holds exactly the sound of that time,
// each sample where the time it was captured puts it. The device's delay (what
// it captured but has not handed over) dates the first samples of a stretch:
// a device that starts late gets silence in front for the gap, and sound it
// captured before the stretch began (a pre-roll) is left out. At a pause or
// stop the thread still writes what the device buffered before the call (its
// latency, waiting for it up to a second, also for the very first samples of
// a device slow to start), and a stretch the device gave too little for is
// made up with silence, so the next stretch starts where it should. A stretch
// may be given its length (setStretchLength: the lesson's pictures of that
// stretch) instead of ending at the call: shorter, its sound is cut there;
// longer, the time past the call is silence (nothing said after a pause is
// recorded). While paused the thread goes on reading the device (so it does
// not overrun) and drops what it reads; resuming first drops what the device
// buffered during the pause. A capture overrun (the thread kept from reading
// for longer than the device buffers) is logged, the time it lost is filled
// with silence and the recording goes on; a write failure (full disk) is
// logged, stops the writing and is readable from error().
class AlsaCaptureSession {
public:
    // Opens the PCM for capture and the file, then starts the thread. append:
    // continue an existing WAVE file of the same format instead of creating one.
    // Throws a TvnError naming the device or the file; a file created here is
    // removed again when the start fails.
    AlsaCaptureSession(const QString& pcmName, const QString& deviceName, const QString& fileName, int channels,
                       int sampleRate, bool append);
    ~AlsaCaptureSession();  // stops
    AlsaCaptureSession(const AlsaCaptureSession&) = delete;
    AlsaCaptureSession& operator=(const AlsaCaptureSession&) = delete;

    void pause();
    void resume();
    // The running stretch lasts seconds: the next pause or stop ends it at that
    // length (at most two seconds past the moment of that call, as silence)
    // instead of at the call. Ignored while paused or stopped.
    void setStretchLength(double seconds);
    bool paused() const { return paused_; }
    // Stops the thread and closes the device and the file; later calls do nothing.
    void stop();

    int64_t framesWritten() const { return framesWritten_; }  // by this capture
    int overruns() const { return overruns_; }
    // For tests: the thread stops reading for ms, then meets the overrun a
    // sound card reports after a wait longer than its buffer (the device is
    // reset and what it held is lost). PulseAudio's ALSA plugin, the tests'
    // device, never reports one: it queues a slow reader's sound (up to 4 MiB).
    void overrunOnceForTest(int ms) { stallMs_ = ms; }
    QString error() const;

private:
    struct PcmCloser {
        void operator()(snd_pcm_t* pcm) const;
    };
    struct FileCloser {
        void operator()(SNDFILE* file) const;
    };

    void run();
    // Notes the length of the stretch that a pause or stop ends now.
    void endStretch();
    void setError(const QString& what);
    static int64_t now();

    const QString fileName_;
    const int channels_;
    std::unique_ptr<snd_pcm_t, PcmCloser> pcm_;
    std::unique_ptr<SNDFILE, FileCloser> file_;
    std::thread thread_;
    std::atomic<bool> stopping_{false};
    std::atomic<bool> paused_{false};
    std::atomic<bool> dropPending_{false};
    std::atomic<int64_t> stretchStartedAt_{0};  // steady-clock ns of the start or the last resume
    std::atomic<double> askedLength_{-1};       // seconds setStretchLength gave the running stretch; < 0: none
    std::atomic<double> stretchLength_{0};      // seconds of the stretch the last pause or stop ended
    std::atomic<double> stretchHeard_{0};       // of them, the seconds up to that call (the device's part)
    std::atomic<int> pauses_{0};
    std::atomic<int64_t> framesWritten_{0};
    int64_t framesBefore_ = 0;  // frames the file held when this capture opened it (appending)
    std::atomic<int> overruns_{0};
    std::atomic<int> stallMs_{0};
    mutable std::mutex errorMutex_;  // guards error_
    QString error_;
};

}  // namespace tvn
