// Clip sound reaches a real ALSA device: a PulseAudio null sink started by the
// test is ALSA's default PCM, and the test records the sink's monitor while the
// engine plays a clip whose sound track is a 440 Hz sine.

#include "fakes/EventLoopWait.h"
#include "fakes/PulseTestServer.h"
#include "fakes/TestClips.h"
#include "media/ffmpeg/FfmpegDisplayEngine.h"
#include "media/ffmpeg/TempoFilter.h"

#include <QCoreApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QWidget>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <gtest/gtest.h>
#include <optional>

using namespace tvn;
using namespace tvn::testclips;
using tvn::testing::PulseTestServer;
using tvn::testing::waitFor;

namespace {

// Power of one frequency in the samples (Goertzel), relative to the total power.
double toneShare(const std::vector<int16_t>& s, double hz, double rate) {
    if (s.empty()) return 0;
    const double w = 2 * M_PI * hz / rate, c = 2 * std::cos(w);
    double s1 = 0, s2 = 0, total = 0;
    for (int16_t v : s) {
        const double s0 = v + c * s1 - s2;
        s2 = s1;
        s1 = s0;
        total += double(v) * v;
    }
    const double power = s1 * s1 + s2 * s2 - c * s1 * s2;
    return total > 0 ? 2 * power / (total * s.size()) : 0;
}

double rms(const std::vector<int16_t>& s) {
    double sum = 0;
    for (int16_t v : s) sum += double(v) * v;
    return s.empty() ? 0 : std::sqrt(sum / s.size());
}

TEST(EngineSound, PlaysTheClipsSoundAtTheVolumeAndPitchAskedFor) {
    PulseTestServer device;
    if (!device.problem().empty()) GTEST_SKIP() << device.problem();
    QTemporaryDir dir;
    ClipOptions o;
    o.frames = 90;  // 3 s at 30 fps, with a 440 Hz sound track
    o.audio = true;
    const QString clip = makeClip(dir.path(), ClipFormat::H264Mp4, o, "sound");

    QWidget host;
    host.resize(320, 240);
    // Plays for 1.5 s; after 0.75 s the volume goes to 0.
    auto play = [&](double rate) {
        FfmpegDisplayEngine engine(&host);
        engine.OpenClip(clip);
        engine.SetVolume(100);
        engine.SetRate(rate);
        device.startCapture();
        engine.Play();
        waitFor([] { return false; }, 750);
        engine.SetVolume(0);
        waitFor([] { return false; }, 750);
        engine.Pause();
        std::vector<int16_t> samples = device.stopCapture();
        engine.Stop();
        return samples;
    };
    const std::vector<int16_t> normal = play(1.0);
    const size_t rate = PulseTestServer::kRate;
    ASSERT_GT(normal.size(), rate) << "the monitor recorded less than a second";
    // Allow the device's buffering (100 ms here) on either side of the change.
    const std::vector<int16_t> loud(normal.begin() + rate / 10, normal.begin() + rate * 6 / 10);
    const std::vector<int16_t> quiet(normal.end() - rate * 5 / 10, normal.end());
    EXPECT_GT(rms(loud), 1000) << "no sound reached the device at volume 100";
    EXPECT_GT(toneShare(loud, 440, rate), 0.5) << "what was played is not the clip's 440 Hz tone";
    EXPECT_LT(rms(quiet), 50) << "volume 0 still plays sound";

    // Other rates keep the pitch: the tone is still 440 Hz, not 880 or 220.
    for (double r : {2.0, 0.5}) {
        const std::vector<int16_t> s = play(r);
        ASSERT_GT(s.size(), rate) << "rate " << r;
        const std::vector<int16_t> part(s.begin() + rate / 10, s.begin() + rate * 6 / 10);
        EXPECT_GT(rms(part), 1000) << "no sound at rate " << r;
        EXPECT_GT(toneShare(part, 440, rate), 0.5) << "the pitch changed at rate " << r;
    }
}

}  // namespace

// A clip whose sound is silent but for a 50 ms burst at 1.000 s, played from
// 0.5 s: the burst reaches the device when the picture shows the 1.000 s frame.
// The bound is generous (a sound track started from the wrong place, or a
// picture that ignores the sound's start, is off by hundreds of ms); measured
// here the two agree within about 12 ms.
TEST(EngineSound, SoundAndPictureStartTogetherFromTheShownFrame) {
    PulseTestServer device;
    if (!device.problem().empty()) GTEST_SKIP() << device.problem();
    QTemporaryDir dir;
    const QString clip = dir.filePath("burst.mp4");
    ASSERT_EQ(QProcess::execute("ffmpeg", {"-v", "error", "-y", "-f", "lavfi", "-i", "testsrc=s=320x240:r=30:d=2",
                                           "-f", "lavfi", "-i",
                                           "aevalsrc=if(between(t\\,1\\,1.05)\\,0.8*sin(2*PI*1000*t)\\,0):s=48000:d=2",
                                           "-c:v", "libx264", "-c:a", "aac", "-shortest", clip}),
              0);
    QWidget host;
    host.resize(320, 240);
    FfmpegDisplayEngine engine(&host);
    engine.OpenClip(clip);
    engine.Seek(500);
    engine.SetVolume(100);
    using Clock = std::chrono::steady_clock;
    device.startCapture();
    const Clock::time_point started = Clock::now();
    engine.Play();
    std::optional<double> frameShownMs;
    while (Clock::now() < started + std::chrono::milliseconds(1000)) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        if (!frameShownMs && engine.GetPosition() >= 1000)
            frameShownMs = std::chrono::duration<double, std::milli>(Clock::now() - started).count();
    }
    engine.Pause();
    const std::vector<int16_t> samples = device.stopCapture();
    ASSERT_TRUE(frameShownMs) << "the 1.000 s frame was never shown";
    const auto burst = std::find_if(samples.begin(), samples.end(), [](int16_t v) { return std::abs(v) > 3000; });
    ASSERT_NE(burst, samples.end()) << "the burst was never heard";
    const double heardMs = double(burst - samples.begin()) * 1000.0 / PulseTestServer::kRate;
    EXPECT_NEAR(*frameShownMs, 500, 60);
    EXPECT_NEAR(heardMs, *frameShownMs, 60) << "sound and picture out of step";
}

namespace {

// The whole 0.1 to 4.0 range: the output lasts input / tempo and keeps the pitch.
TEST(TempoFilter, StretchesTimeWithoutChangingPitchAcrossTheRateRange) {
    const int rate = 48000;
    std::vector<int16_t> second(size_t(rate) * 2);
    for (int i = 0; i < rate; ++i)
        second[size_t(i) * 2] = second[size_t(i) * 2 + 1] = int16_t(8000 * std::sin(2 * M_PI * 440 * i / rate));
    for (double tempo : {0.1, 0.3, 0.75, 1.0, 1.5, 3.0, 4.0}) {
        TempoFilter filter(tempo);
        ASSERT_TRUE(filter.isReady()) << tempo;
        std::vector<int16_t> out;
        for (int s = 0; s < 4; ++s) {  // four seconds in, fed in 10 ms blocks as the player does
            for (int block = 0; block < 100; ++block) {
                const std::vector<int16_t> got = filter.process(second.data() + block * 480 * 2, 480);
                out.insert(out.end(), got.begin(), got.end());
            }
        }
        const double seconds = double(out.size()) / 2 / rate;
        EXPECT_NEAR(seconds, 4.0 / tempo, 0.1 + 0.02 * 4.0 / tempo) << "tempo " << tempo;
        std::vector<int16_t> left;
        for (size_t i = out.size() / 4; i < out.size() / 2; i += 2) left.push_back(out[i]);
        // Short windows: stretching splices the wave, so phase runs on only piecewise.
        double share = 0;
        const size_t window = 2400, windows = left.size() / window;
        for (size_t w = 0; w < windows; ++w)
            share += toneShare({left.begin() + w * window, left.begin() + (w + 1) * window}, 440, rate) / windows;
        EXPECT_GT(share, 0.8) << "tempo " << tempo;
        double product = 1;
        for (double f : TempoFilter::stages(tempo)) {
            EXPECT_GE(f, 0.5);
            EXPECT_LE(f, 2.0);
            product *= f;
        }
        EXPECT_NEAR(product, tempo, 1e-9);
    }
}

}  // namespace
