// Failures on the components' workers reach the host; changes made while a clip
// plays restart it cleanly; sound keeps to the picture (late sound, a drifting
// sound clock, no sound device); a capture device without line inputs.

#include "control/Trelvan.h"
#include "fakes/EventLoopWait.h"
#include "fakes/PulseTestServer.h"
#include "fakes/TestClips.h"
#include "media/Components.h"
#include "media/ffmpeg/FfmpegDisplayEngine.h"
#include "media/ffmpeg/PlaybackPacer.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <gtest/gtest.h>
#include <optional>

using namespace tvn;
using namespace tvn::testclips;
using tvn::testing::PulseTestServer;
using tvn::testing::waitFor;
using Clock = std::chrono::steady_clock;

namespace {

// Power of one frequency in the samples (Goertzel), relative to the total power.
double toneShare(const std::vector<int16_t>& s, double hz) {
    const double w = 2 * M_PI * hz / PulseTestServer::kRate, c = 2 * std::cos(w);
    double s1 = 0, s2 = 0, total = 0;
    for (int16_t v : s) {
        const double s0 = v + c * s1 - s2;
        s2 = s1;
        s1 = s0;
        total += double(v) * v;
    }
    return total > 0 ? 2 * (s1 * s1 + s2 * s2 - c * s1 * s2) / (total * s.size()) : 0;
}

bool ffmpeg(const QStringList& args) {
    return QProcess::execute("ffmpeg", QStringList{"-v", "error", "-y"} + args) == 0;
}

TEST(WorkerFailures, ReachTheHostBesideTheDocumentedEvents) {
    QTemporaryDir dir;
    ClipOptions o;
    o.frames = 90;
    o.keyInterval = 15;
    // Index at the front; the data is cut at half once the clip is open (a card
    // pulled out, a copy that failed), so play runs until the data stops.
    const QString cut = dir.filePath("cut.mp4");
    // A busy picture, so that half the file is far more than the demuxer reads ahead.
    ASSERT_TRUE(ffmpeg({"-f", "lavfi", "-i", "testsrc2=size=640x480:rate=30", "-frames:v", "90", "-g", "15", "-c:v",
                        "libx264", "-movflags", "+faststart", cut}));
    const QString lesson = makeClip(dir.path(), ClipFormat::MjpegAvi, o, "lesson");
    const QString notAFolder = dir.filePath("file");
    QFile(notAFolder).open(QIODevice::WriteOnly);

    Trelvan control(Components::defaults());
    std::vector<TvnError> failures;
    int ends = 0, completions = 0;
    QObject::connect(&control, &Trelvan::failed, [&](const TvnError& e) { failures.push_back(e); });
    QObject::connect(&control, &Trelvan::VideoEnd, [&] { ++ends; });
    QObject::connect(&control, &Trelvan::LessonCompressionComplete, [&] { ++completions; });

    QString clip = cut;
    ASSERT_EQ(control.TVN_OpenFile(clip), 90);
    ASSERT_TRUE(QFile(cut).resize(QFile(cut).size() / 2));
    control.TVN_Play();
    ASSERT_TRUE(waitFor([&] { return ends > 0; }, 10000));
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(failures[0].number(), err::PlaybackFailed);
    EXPECT_TRUE(failures[0].description().contains(cut)) << failures[0].what();
    ASSERT_NE(control.lastNotificationError(), nullptr);
    EXPECT_EQ(control.lastNotificationError()->description(), failures[0].description());

    // Nothing listens on port 1 of the loopback.
    EXPECT_EQ(control.TVN_UploadFrame("127.0.0.1", "coach", "pw", "", "frame.jpg", 1, 80), 0);
    ASSERT_EQ(failures.size(), 2u);
    EXPECT_EQ(failures[1].number(), err::UploadFailed);
    EXPECT_TRUE(failures[1].description().contains("127.0.0.1")) << failures[1].what();

    control.TVN_CompressLesson(lesson, notAFolder + "/lesson.wmv");
    ASSERT_TRUE(waitFor([&] { return completions > 0; }, 30000));
    waitFor([] { return false; }, 100);
    EXPECT_EQ(completions, 1);
    ASSERT_EQ(failures.size(), 3u);
    EXPECT_EQ(failures[2].number(), err::ConversionFailed);
    EXPECT_TRUE(failures[2].description().contains(notAFolder)) << failures[2].what();
    EXPECT_EQ(ends, 1);
}

// A clip whose frame n shows n, with a 440 Hz sound for its first two seconds
// and 1320 Hz after. Each change is made while it plays; from then on no frame
// from before the change is shown, play goes on, and the sound heard is the
// sound of the new place.
TEST(ChangesWhilePlaying, ShowNoStaleFrameAndRestartTheSoundAtTheNewPlace) {
    PulseTestServer device;
    if (!device.problem().empty()) GTEST_SKIP() << device.problem();
    QTemporaryDir dir;
    ClipOptions o;
    o.frames = 120;
    o.keyInterval = 30;
    const QString clip = dir.filePath("two-tones.mp4");
    ASSERT_TRUE(ffmpeg({"-i", makeClip(dir.path(), ClipFormat::H264Mp4, o), "-f", "lavfi", "-i",
                        "aevalsrc=0.5*sin(2*PI*if(lt(t\\,2)\\,440\\,1320)*t):s=48000:d=4", "-c:v", "copy", "-c:a",
                        "aac", "-shortest", clip}));
    struct Case {
        const char* name;
        std::function<void(FfmpegDisplayEngine&)> change;
        int firstFrame;  // -1: the frame shown at the change
        double toneHz;
    } cases[] = {
        {"seek", [](FfmpegDisplayEngine& e) { e.Seek(2500); }, 75, 1320},
        {"rate", [](FfmpegDisplayEngine& e) { e.SetRate(2.0); }, -1, 440},
        {"deinterlace", [](FfmpegDisplayEngine& e) { e.SetDeinterlace(1); }, -1, 440},
    };
    QWidget host;
    host.resize(320, 240);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FfmpegDisplayEngine engine(&host);
        engine.OpenClip(clip);
        engine.SetVolume(100);
        engine.Play();
        waitFor([] { return false; }, 300);
        const int atChange = frameNumber(engine.shownPicture());
        device.startCapture();
        c.change(engine);
        const int first = c.firstFrame >= 0 ? c.firstFrame : atChange;
        int last = first;
        const Clock::time_point until = Clock::now() + std::chrono::milliseconds(600);
        while (Clock::now() < until) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            const int shown = frameNumber(engine.shownPicture());
            ASSERT_GE(shown, last) << "a frame from before the change, or out of order";
            last = shown;
        }
        const std::vector<int16_t> heard = device.stopCapture();
        EXPECT_TRUE(engine.isPlaying());
        EXPECT_GT(last, first + 5) << "play did not go on after the change";
        // The device's 100 ms of buffer on from the change, then 300 ms of sound.
        const size_t from = PulseTestServer::kRate / 5, to = PulseTestServer::kRate / 2;
        ASSERT_GT(heard.size(), to);
        const std::vector<int16_t> part(heard.begin() + from, heard.begin() + to);
        EXPECT_GT(toneShare(part, c.toneHz), 0.5) << "the sound is not that of the shown place";
    }
}

// The sound track starts a second after the picture (as after cutting): it is
// heard when the picture reaches that second, not at once.
TEST(SoundWithThePicture, SoundThatStartsLaterThanThePicturePlaysLateByTheSameAmount) {
    PulseTestServer device;
    if (!device.problem().empty()) GTEST_SKIP() << device.problem();
    QTemporaryDir dir;
    const QString clip = dir.filePath("late.mp4");
    ASSERT_TRUE(ffmpeg({"-f", "lavfi", "-i", "testsrc=s=320x240:r=30:d=3", "-itsoffset", "1", "-f", "lavfi", "-i",
                        "aevalsrc=if(lt(t\\,0.05)\\,0.8*sin(2*PI*1000*t)\\,0):s=48000:d=2", "-c:v", "libx264",
                        "-c:a", "aac", clip}));
    QWidget host;
    FfmpegDisplayEngine engine(&host);
    engine.OpenClip(clip);
    engine.SetVolume(100);
    device.startCapture();
    const Clock::time_point started = Clock::now();
    engine.Play();
    std::optional<double> secondShownMs;
    while (Clock::now() < started + std::chrono::milliseconds(1500)) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        if (!secondShownMs && engine.GetPosition() >= 1000)
            secondShownMs = std::chrono::duration<double, std::milli>(Clock::now() - started).count();
    }
    engine.Pause();
    const std::vector<int16_t> samples = device.stopCapture();
    ASSERT_TRUE(secondShownMs);
    const auto burst = std::find_if(samples.begin(), samples.end(), [](int16_t v) { return std::abs(v) > 3000; });
    ASSERT_NE(burst, samples.end()) << "the sound was never heard";
    const double heardMs = double(burst - samples.begin()) * 1000.0 / PulseTestServer::kRate;
    EXPECT_NEAR(heardMs, *secondShownMs, 60) << "sound and picture out of step";
}

// Twenty minutes at 60 frames a second against a sound clock that runs 0.3 %
// fast or slow and reports with a few milliseconds of jitter: every frame is
// shown within one frame of the sound heard at that moment.
TEST(SoundWithThePicture, PictureFollowsADriftingSoundClockWithinAFrame) {
    const double frameMs = 1000.0 / 60;
    for (double drift : {0.003, -0.003}) {
        SCOPED_TRACE(drift);
        const Clock::time_point t0{};
        const auto heardAt = [&](Clock::time_point t) {
            return std::chrono::duration<double, std::milli>(t - t0).count() * (1 + drift);
        };
        int jitter = 0;
        PlaybackPacer pacer(t0, 0, 1.0, [&](Clock::time_point t) -> std::optional<double> {
            jitter = (jitter * 7 + 3) % 9;  // -4 .. +4 ms
            return heardAt(t) + jitter - 4;
        });
        Clock::time_point now = t0;
        double worst = 0;
        for (int k = 1; k < 20 * 60 * 60; ++k) {
            const double position = k * frameMs;
            now = std::max(now, pacer.due(position, now));
            if (k > 60) worst = std::max(worst, std::abs(position - heardAt(now)));
        }
        EXPECT_LT(worst, frameMs);
    }
}

// ALSA set up with no device that plays and one capture device without a mixer.
class NoSoundCard : public ::testing::Test {
protected:
    void SetUp() override {
        QFile conf(dir_.filePath("asound.conf"));
        ASSERT_TRUE(conf.open(QIODevice::WriteOnly));
        conf.write("pcm.!default { type hw card 99 }\n"
                   "pcm.tvn_quiet { type null hint { show on description \"Quiet input\" } }\n");
        conf.close();
        saved_ = qgetenv("ALSA_CONFIG_PATH");
        qputenv("ALSA_CONFIG_PATH", conf.fileName().toUtf8());
    }
    void TearDown() override {
        if (saved_.isEmpty()) qunsetenv("ALSA_CONFIG_PATH");
        else qputenv("ALSA_CONFIG_PATH", saved_);
    }
    QTemporaryDir dir_;
    QByteArray saved_;
};

TEST_F(NoSoundCard, AClipWithSoundPlaysSilentlyToItsEnd) {
    ClipOptions o;
    o.frames = 30;
    o.audio = true;
    QString clip = makeClip(dir_.path(), ClipFormat::H264Mp4, o);
    Trelvan control(Components::defaults());
    int ends = 0;
    QObject::connect(&control, &Trelvan::VideoEnd, [&] { ++ends; });
    ASSERT_EQ(control.TVN_OpenFile(clip), 30);
    control.TVN_Play();
    ASSERT_TRUE(waitFor([&] { return ends > 0; }, 5000));
    EXPECT_EQ(control.lastNotificationError(), nullptr);
}

TEST_F(NoSoundCard, SelectingACaptureDeviceWithoutLineInputsLeavesNoneSelected) {
    Trelvan control(Components::defaults());
    const int16_t quiet = int16_t(control.TVN_AudioDevices.items().indexOf("Quiet input"));
    ASSERT_GE(quiet, 0) << control.TVN_AudioDevices.items().join(", ").toStdString();
    control.TVN_SelectAudioDevice(quiet);
    EXPECT_EQ(control.TVN_SelectedAudioDevice, quiet);
    EXPECT_EQ(control.TVN_AudioLineInputs.Count(), 0);
    EXPECT_EQ(control.TVN_SelectedLineInput, -1);
}

}  // namespace
