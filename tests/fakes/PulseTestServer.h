#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

namespace tvn::testing {

// A real sound device for tests, on a machine that may have no sound card:
// a private PulseAudio daemon with a null sink, reached through ALSA PCMs of
// type pulse that an ALSA configuration of the test's own defines
// (ALSA_CONFIG_PATH is set for the whole process while the server lives).
//
//  - "default" plays into the sink, so whatever a component plays on ALSA's
//    default device lands there;
//  - "trelvan_monitor" captures what the sink plays; its hint description is
//    monitorDescription(), so device lists show it;
//  - with a tone, PulseAudio itself plays a sine of toneHz into the sink, so
//    the monitor is a capture device that hears a steady tone.
//
// PulseAudio paces all of it in real time in small blocks, as a sound card
// does. (module-sine-source was tried first: it hands out its tone in blocks
// of about two seconds whatever latency a reader asks for.) Started Late, the
// sink renders in long blocks until a reader asks for less, so a capture gets
// its first samples a second or two after it starts, as from a device slow to
// start; the times those first samples carry are not real time, so such a
// server tests lengths, not where a sound lands.
// problem() is empty when the device works; see TVN_REQUIRE_SOUND.
class PulseTestServer {
public:
    static constexpr int kRate = 48000;
    static constexpr const char* kMonitorPcm = "trelvan_monitor";

    enum class Start { Prompt, Late };
    // toneHz 0: the sink plays only what clients send it.
    explicit PulseTestServer(int toneHz = 0, Start start = Start::Prompt);
    ~PulseTestServer();

    const std::string& problem() const { return problem_; }
    static QString monitorDescription() { return QStringLiteral("Trelvan test monitor"); }

    // Records the monitor on a thread of its own (kRate, 16-bit) until
    // stopCapture(), which returns the first channel's samples. Returns once
    // the first samples arrived, so a slow start is no part of a measure.
    void startCapture();
    std::vector<int16_t> stopCapture();
    // How many samples have arrived so far: the recording's own clock.
    size_t capturedSamples() const { return capturedCount_; }
    // Suspends the sink (true) or lets it play again: suspended, it takes no
    // sound, as a device that stalls, and writes to it wait for ever.
    bool suspendSink(bool suspended);

private:
    bool startDaemon(int toneHz, bool lowLatency);
    void writeAlsaConfig();
    void captureLoop();

    QTemporaryDir runtime_;
    QString socket_;
    QProcess daemon_;
    QProcess pacer_;  // a low-latency reader of the monitor, see startDaemon()
    QByteArray previousConfigPath_;  // null when there was none
    std::string problem_;
    std::thread capture_;
    std::atomic<bool> capturing_{false};
    std::vector<int16_t> captured_;  // written by the capture thread until it is joined
    std::atomic<size_t> capturedCount_{0};
};

}  // namespace tvn::testing

// Skips a test when the server has no working device, but fails it where CI=true:
// a build machine must have one, and nine tests skipped in silence hide that.
#define TVN_REQUIRE_SOUND(server)                                                      \
    if (!(server).problem().empty()) {                                                 \
        if (qEnvironmentVariable("CI") == QLatin1String("true")) FAIL() << (server).problem(); \
        GTEST_SKIP() << (server).problem();                                            \
    }
