// Tests that run in real time and measure it: clip sound on a real ALSA device
// (a PulseAudio server the test starts), voice recording, lessons through the
// control, and mixer sources kept to their clocks. They run one at a time
// (ctest RESOURCE_LOCK), and take their measure from the recording where they
// can; where they compare with the wall clock, the margins hold on a loaded
// machine. Without a sound device they skip, but fail where CI=true.
#include "control/Trelvan.h"
#include "core/TvnError.h"
#include "fakes/ErrorFrom.h"
#include "fakes/EventLoopWait.h"
#include "fakes/MediaFiles.h"
#include "fakes/PulseTestServer.h"
#include "fakes/TestClips.h"
#include "media/Components.h"
#include "media/alsa/AlsaAudioRecorder.h"
#include "media/alsa/AlsaCaptureSession.h"
#include "media/ffmpeg/FfmpegDisplayEngine.h"
#include "media/ffmpeg/FfmpegRecordingEngine.h"
#include "media/ffmpeg/TempoFilter.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <gtest/gtest.h>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

using namespace tvn;
using namespace tvn::testclips;
using namespace tvn::testing;

namespace {

constexpr int kW = 320, kH = 240;

double rms(const std::vector<int16_t>& s) {
    double sum = 0;
    for (int16_t v : s) sum += double(v) * v;
    return s.empty() ? 0 : std::sqrt(sum / s.size());
}

// The sound and the picture of a clip start together: a 50 ms burst in a clip
// otherwise silent reaches the device when the picture shows its second. Played
// from 0.5 s with the burst at 1 s; and from the start of a clip whose sound
// track starts a second after the picture (as after cutting), the burst at the
// track's start. A sound track started from the wrong place, or a picture that
// ignores the sound's start, is off by hundreds of ms; measured here the two
// agree within about 12 ms, and the margins hold on a loaded machine.
TEST(EngineSound, SoundAndPictureStartTogetherFromTheShownFrame) {
    PulseTestServer device;
    TVN_REQUIRE_SOUND(device);
    struct Case {
        const char* name;
        QStringList soundArgs;
        double fromMs;
    } cases[] = {
        {"burst at 1 s",
         {"-f", "lavfi", "-i", "aevalsrc=if(between(t\\,1\\,1.05)\\,0.8*sin(2*PI*1000*t)\\,0):s=48000:d=2"}, 500},
        {"sound a second late",
         {"-itsoffset", "1", "-f", "lavfi", "-i", "aevalsrc=if(lt(t\\,0.05)\\,0.8*sin(2*PI*1000*t)\\,0):s=48000:d=2"},
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString burst = testFolder().filePath(QStringLiteral("%1.mp4").arg(c.name));
        ASSERT_TRUE(ffmpeg(QStringList{"-f", "lavfi", "-i", "testsrc=s=320x240:r=30:d=2"} + c.soundArgs +
                           QStringList{"-c:v", "libx264", "-c:a", "aac", burst}));
        QWidget host;
        host.resize(320, 240);
        FfmpegDisplayEngine engine(&host);
        engine.OpenClip(burst);
        engine.Seek(c.fromMs);
        engine.SetVolume(100);
        device.startCapture();
        const size_t playedFrom = device.capturedSamples();  // the sample heard as Play is called
        QElapsedTimer clock;
        clock.start();
        engine.Play();
        double frameShownMs = -1;
        while (clock.elapsed() < 1500 - c.fromMs) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
            if (frameShownMs < 0 && engine.GetPosition() >= 1000) frameShownMs = clock.nsecsElapsed() / 1e6;
        }
        engine.Pause();
        const std::vector<int16_t> samples = device.stopCapture();
        ASSERT_GE(frameShownMs, 0) << "the 1.000 s frame was never shown";
        const auto heard = std::find_if(samples.begin(), samples.end(), [](int16_t v) { return std::abs(v) > 3000; });
        ASSERT_NE(heard, samples.end()) << "the burst was never heard";
        const double heardMs = double(heard - samples.begin() - playedFrom) * 1000.0 / PulseTestServer::kRate;
        EXPECT_NEAR(frameShownMs, 1000 - c.fromMs, 150);
        EXPECT_NEAR(heardMs, frameShownMs, 80) << "sound and picture out of step";
    }
}

// A clip whose frame n shows n, with a 440 Hz sound for its first two seconds
// and 1320 Hz after, played at a rate set before Play. Each change is made
// while it plays; from then on no frame from before the change is shown, play
// goes on, and the sound heard is that of the new place at the clip's pitch
// whatever the rate, at the volume asked for.
TEST(EngineSound, ChangesWhilePlayingShowNoStaleFrameAndRestartTheSoundAtTheNewPlace) {
    PulseTestServer device;
    TVN_REQUIRE_SOUND(device);
    const QString twoTones = testFolder().filePath("two-tones.mp4");
    const QString picture = clip(ClipFormat::H264Mp4, {.frames = 120, .keyInterval = 30});
    ASSERT_TRUE(ffmpeg({"-i", picture, "-f", "lavfi", "-i",
                        "aevalsrc=0.5*sin(2*PI*if(lt(t\\,2)\\,440\\,1320)*t):s=48000:d=4", "-c:v", "copy",
                        "-c:a", "aac", "-shortest", twoTones}));
    struct Case {
        const char* name;
        double rate;
        std::function<void(FfmpegDisplayEngine&)> change;
        int firstFrame;  // -1: the frame shown at the change
        double toneHz;   // 0: silence
    } cases[] = {
        {"seek", 1.0, [](FfmpegDisplayEngine& e) { e.Seek(2500); }, 75, 1320},
        {"rate", 1.0, [](FfmpegDisplayEngine& e) { e.SetRate(2.0); }, -1, 440},
        {"deinterlace", 1.0, [](FfmpegDisplayEngine& e) { e.SetDeinterlace(1); }, -1, 440},
        {"volume 0", 1.0, [](FfmpegDisplayEngine& e) { e.SetVolume(0); }, -1, 0},
        {"no change, started at half rate", 0.5, [](FfmpegDisplayEngine&) {}, -1, 440},
    };
    QWidget host;
    host.resize(320, 240);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FfmpegDisplayEngine engine(&host);
        engine.OpenClip(twoTones);
        engine.SetVolume(100);
        engine.SetRate(c.rate);
        engine.Play();
        runFor(300);
        const int atChange = frameNumber(engine.shownPicture());
        device.startCapture();
        c.change(engine);
        const int first = c.firstFrame >= 0 ? c.firstFrame : atChange;
        int last = first;
        QDeadlineTimer watched(600);
        while (!watched.hasExpired()) {
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
        if (c.toneHz == 0) {
            EXPECT_LT(rms(part), 50) << "volume 0 still plays sound";
            continue;
        }
        EXPECT_GT(rms(part), 1000) << "no sound reached the device at volume 100";
        EXPECT_GT(toneShare(part, c.toneHz, PulseTestServer::kRate), 0.5) << "the sound is not that of the shown place";
    }
}

// The sound device stops taking sound (its sink suspended, so writes to it
// would wait for ever): a pause, a seek while playing and a close never wait
// on it. Each returns while the sink is still suspended; a watchdog lets the
// sink play again after a while, so a call that waits does end, as a failure.
TEST(EngineSound, StoppingTheSoundNeverWaitsOnTheDevice) {
    PulseTestServer device;
    TVN_REQUIRE_SOUND(device);
    const QString withSound = clip(ClipFormat::H264Mp4, {.frames = 300, .audio = true});
    struct Case { const char* name; std::function<void(FfmpegDisplayEngine&)> stop; };
    const Case cases[] = {
        {"pause", [](FfmpegDisplayEngine& e) { e.Pause(); }},
        {"seek while playing", [](FfmpegDisplayEngine& e) { e.Seek(5000); e.Pause(); }},
        {"close", [](FfmpegDisplayEngine& e) { e.Stop(); }},
    };
    QWidget host;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FfmpegDisplayEngine engine(&host);
        engine.OpenClip(withSound);
        engine.SetVolume(100);
        engine.Play();
        runFor(300);
        ASSERT_TRUE(device.suspendSink(true));
        runFor(400);  // the device's buffer is full: the sound thread waits on it
        std::mutex m;
        std::condition_variable done;
        bool returned = false, resumed = false;
        std::thread watchdog([&] {
            std::unique_lock lock(m);
            if (!done.wait_for(lock, std::chrono::seconds(5), [&] { return returned; })) resumed = true;
            device.suspendSink(false);
        });
        c.stop(engine);
        {
            std::scoped_lock lock(m);
            returned = true;
            EXPECT_FALSE(resumed) << "the call waited on the device until the sink played again";
        }
        done.notify_one();
        watchdog.join();
    }
}

// Clip time over wall time, both measured here: 4 when the pictures follow rate 4.
TEST(ControlPace, PictureKeepsPaceWithRateFour) {
    Trelvan control(Components::defaults());
    control.resize(320, 240);
    control.show();
    QString name = clip(ClipFormat::H264Mp4);
    ASSERT_EQ(control.TVN_OpenFile(name), 150);
    double rate = 4;
    control.TVN_SetRate(rate);
    control.TVN_Play();
    ASSERT_TRUE(waitFor([&] { return control.TVN_GetPosLive() >= 500; }, 5000));
    const double from = control.TVN_GetPosLive();
    QElapsedTimer wall;
    wall.start();
    ASSERT_TRUE(waitFor([&] { return control.TVN_GetPosLive() >= 3500; }, 10000));
    const double speed = (control.TVN_GetPosLive() - from) / double(wall.elapsed());
    EXPECT_GT(speed, 3.0);
    EXPECT_LT(speed, 5.0);
}

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
        for (int block = 0; block < 400; ++block) {  // four seconds in, fed in 10 ms blocks as the player does
            const std::vector<int16_t> got = filter.process(second.data() + block % 100 * 480 * 2, 480);
            out.insert(out.end(), got.begin(), got.end());
        }
        const double seconds = double(out.size()) / 2 / rate;
        EXPECT_NEAR(seconds, 4.0 / tempo, 0.1 + 0.02 * 4.0 / tempo) << "tempo " << tempo;
        std::vector<int16_t> left;
        for (size_t i = out.size() / 4; i < out.size() / 2; i += 2) left.push_back(out[i]);
        EXPECT_GT(toneShare(left, 440, rate), 0.8) << "tempo " << tempo;
    }
}

int32_t toneIndex(AlsaAudioRecorder& recorder) {
    for (int32_t i = 0; i < recorder.GetDeviceCount(); ++i)
        if (recorder.GetDeviceName(i).contains(PulseTestServer::monitorDescription())) return i;
    return -1;
}

// A 1 kHz tone device for each test (ctest runs each in a process of its own).
class RecordingLessonTest : public ::testing::Test {
protected:
    void SetUp() override { TVN_REQUIRE_SOUND(device_); }
    QString path(const char* name) const { return dir_.filePath(QLatin1String(name)); }

    // Records for ms of real time; returns the seconds that really passed.
    static double recordFor(int ms) {
        QElapsedTimer clock;
        clock.start();
        QThread::msleep(ms);
        return clock.elapsed() / 1000.0;
    }

    PulseTestServer device_{1000};
    QTemporaryDir dir_;
};

TEST_F(RecordingLessonTest, ListsTheCapturePcmsAndRecordsTheToneLeavingPausesOutAndAppendsOnARestart) {
    AlsaAudioRecorder recorder;
    const int32_t n = recorder.GetDeviceCount();
    ASSERT_GE(toneIndex(recorder), 0) << "the test's tone device is not listed";
    QStringList names;
    for (int32_t i = 0; i < n; ++i) {
        EXPECT_NE(recorder.DevicePcmName(i), QStringLiteral("null"));
        if (recorder.DevicePcmName(i) == QLatin1String("default")) EXPECT_EQ(i, 0);
        names << recorder.GetDeviceName(i);
    }
    EXPECT_EQ(names.removeDuplicates(), 0) << names.join(" | ").toStdString();
    AlsaAudioRecorder again;  // a stable order
    ASSERT_EQ(again.GetDeviceCount(), n);
    for (int32_t i = 0; i < n; ++i) EXPECT_EQ(again.GetDeviceName(i), names[i]);

    for (int32_t bad : {-1, n}) {
        EXPECT_THROW(recorder.GetDeviceName(bad), TvnError);
        EXPECT_THROW(recorder.SelectDevice(bad), TvnError);
    }
    recorder.SelectDevice(toneIndex(recorder));
    for (int32_t i = 0; i < recorder.GetLineInputCount(); ++i) {
        EXPECT_FALSE(recorder.GetLineInputName(i).isEmpty());
        recorder.SelectLineInput(i);
    }
    EXPECT_THROW(recorder.SelectLineInput(recorder.GetLineInputCount()), TvnError);

    // A file that cannot be written fails the start naming it, and nothing runs.
    const QString bad = path("no/such/folder/x.avi.wav");
    recorder.SetFileName(bad);
    const auto e = errorFrom([&] { recorder.StartRecord(2, 44100); });
    ASSERT_TRUE(e) << "started";
    EXPECT_EQ(e->number(), err::PathFileAccess);
    EXPECT_TRUE(e->description().contains(bad)) << e->what();
    EXPECT_FALSE(recorder.IsPaused());
    recorder.StopRecord();  // nothing running: nothing to do

    // A recording is as long as the time recorded (the device paces it), leaves the
    // paused time out, holds the tone and is a readable WAVE file while it is being
    // written. A start on the file this recorder wrote (a lesson resumed after a
    // stop) appends and keeps what was there, also when its stretch is cut to
    // the length its pictures set; a new file starts a new recording.
    const QString file = path("lesson.avi.wav");
    recorder.SetRecordOption(28);
    recorder.SetFileName(file);
    recorder.StartRecord(2, 44100);
    double recorded = recordFor(1000);
    EXPECT_GT(readWave(file).seconds(), 0.5) << "the header does not follow the data";
    recorder.PauseRecord();
    EXPECT_TRUE(recorder.IsPaused());
    recordFor(700);
    recorder.ResumeRecord();
    EXPECT_FALSE(recorder.IsPaused());
    recorded += recordFor(700);
    recorder.StopRecord();
    EXPECT_TRUE(recorder.LastError().isEmpty()) << recorder.LastError().toStdString();
    const Wave first = readWave(file);
    EXPECT_EQ(std::tuple(first.format, first.channels, first.sampleRate),
              std::tuple(SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 44100));
    EXPECT_NEAR(first.seconds(), recorded, 0.25);
    EXPECT_GT(toneShare(first.firstChannel(first.seconds() / 2, 0.1), 1000, first.sampleRate), 0.5);

    recorder.StartRecord(2, 44100);  // the restart branch of a resume, whose pictures last 0.3 s
    recordFor(500);
    recorder.SetStretchLength(0.3);
    recorder.StopRecord();
    const Wave appended = readWave(file);
    EXPECT_EQ(appended.samples.size() - first.samples.size(), size_t(0.3 * 44100) * 2);
    ASSERT_GE(appended.samples.size(), first.samples.size());
    EXPECT_TRUE(std::equal(first.samples.begin(), first.samples.end(), appended.samples.begin()));

    recorder.SetFileName(path("other.avi.wav"));
    recorder.StartRecord(2, 44100);
    recorded = recordFor(300);
    recorder.StopRecord();
    // Appended, it would hold the first file's 2 s too. (On a loaded machine a new
    // recording was seen to start with up to 0.6 s the device had buffered.)
    EXPECT_LT(readWave(path("other.avi.wav")).seconds(), recorded + 1.0);
}

// The child role of the kill test: records a lesson in real time and prints
// the number of frames added after each one, until it is killed.
TEST(RecordingKillChild, RecordsUntilKilled) {
    const QString dir = qEnvironmentVariable("TVN_KILL_CHILD_DIR");
    if (dir.isEmpty()) GTEST_SKIP() << "the child role of KilledMidLessonLeavesReadableFiles";
    FfmpegRecordingEngine engine;
    engine.SetCaptureFileName(dir + "/killed.avi");
    engine.SetFrameSize(320, 240);
    engine.StartFileCapture(25);
    AlsaAudioRecorder recorder;
    recorder.SelectDevice(toneIndex(recorder));
    recorder.SetFileName(dir + "/killed.avi.wav");
    recorder.StartRecord(2, 44100);
    std::vector<int32_t> handles;
    for (int i = 0; i < 25; ++i) handles.push_back(BitmapTable::instance().add(solid(320, 240, QColor::fromHsv(i * 14, 255, 255))));
    for (int frame = 0; frame < 25 * 60; ++frame) {
        engine.AddFrame(handles[frame % handles.size()]);
        printf("%d\n", frame + 1);
        fflush(stdout);
        QThread::msleep(40);
    }
}

// Killing the process in the middle of a lesson leaves an AVI and a WAVE file
// that FFmpeg and libsndfile read up to the last moments before the kill: at
// most a second of video lost, and of the sound only what the device still
// held (0.1 s) and the block being read (0.05 s), 0.3 s with a margin for the
// kill itself. (A device that holds more, such as PulseAudio's monitor of a
// sink rendering in long blocks, loses what it holds: the file ends at the last
// sample it handed over.)
TEST_F(RecordingLessonTest, KilledMidLessonLeavesReadableFiles) {
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("TVN_KILL_CHILD_DIR", dir_.path());
    env.insert("QT_QPA_PLATFORM", "offscreen");
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(), {"--gtest_filter=RecordingKillChild.*"});
    ASSERT_TRUE(child.waitForStarted(5000));
    int frames = 0;  // the last count the child printed
    QDeadlineTimer deadline(15000);
    while (frames < 60 && !deadline.hasExpired() && child.waitForReadyRead(5000))
        while (child.canReadLine()) frames = std::max(frames, child.readLine().trimmed().toInt());
    child.kill();  // SIGKILL: no destructor, no trailer, no header update
    ASSERT_TRUE(child.waitForFinished(5000));
    ASSERT_GE(frames, 60) << "the child stopped early";

    const auto decoded = decodeFrames(dir_.filePath("killed.avi"));
    EXPECT_GE(static_cast<int>(decoded.size()), frames - 25) << "more than a second of video lost";

    // The child printed a count after each frame it added every 40 ms, so its
    // recording ran at least frames / 25 s.
    const Wave w = readWave(dir_.filePath("killed.avi.wav"));
    EXPECT_EQ(w.channels, 2);
    EXPECT_GE(w.seconds(), frames / 25.0 - 0.3) << "more sound lost than the device held";
}

// A coach's lesson on every real component, the voice included: a drawing over
// a real clip, a pause, then the overlay of a second clip. The
// lesson records whichever of them is shown, for as long as it is shown. The
// voice is a 1 kHz tone from a capture device the test starts itself. Sound and
// picture must stay in step: each stretch of sound is cut to its pictures, so
// the WAVE file is as long as the AVI to the sample (2 ms for the rounding of
// each stretch). Against the wall clock the margins are wide, as a loaded
// machine is slow to call. (Compression is measured on the real converter in
// recording_test, and the control's part in it on fakes.)
TEST(LessonControlReal, RecordsWhatIsShownWithTheVoiceInStepThroughAPause) {
    PulseTestServer voice(1000);
    TVN_REQUIRE_SOUND(voice);
    QTemporaryDir dir;
    QString main = clip(ClipFormat::H264Mp4, {.frames = 30, .keyInterval = 10});
    QString second = clip(ClipFormat::H264Mp4, {.frames = 30, .fps = 25, .keyInterval = 10});
    const QString avi = dir.filePath("voice lesson.avi");

    Trelvan control(Components::defaults());
    control.resize(320, 240);
    control.show();
    AlsaAudioRecorder devices;  // the list the control offers
    ASSERT_GE(toneIndex(devices), 0) << "the test's capture device is not offered";
    control.TVN_SelectAudioDevice(static_cast<int16_t>(toneIndex(devices)));
    ASSERT_EQ(control.TVN_OpenFile(main), 30);
    int32_t four = 4;
    control.TVN_SetFrame(four);
    // A yellow line across the top, drawn as the host forwards the pointer (twips).
    control.TVN_drawingTool = QStringLiteral("line");
    int16_t left = 1, none = 0;
    float x1 = 600, x2 = 4200, y = 900;
    control.TVN_MouseDown(left, none, x1, y);
    control.TVN_MouseMove(left, none, x2, y);
    control.TVN_MouseUp(left, none, x2, y);

    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(control.TVN_StartLesson(avi, 25));
    runFor(1000);
    control.TVN_PauseLesson();
    const qint64 pausedAt = clock.elapsed();
    runFor(600);
    const qint64 pausedFor = clock.elapsed() - pausedAt;
    control.TVN_ResumeLesson();
    runFor(500);
    // Setting up the overlay takes real time of its own, which the lesson records too.
    const double overlayFrom = clock.elapsed() / 1000.0;
    control.TVN_Overlay(second);
    control.TVN_SetOverlay2Frame(9);
    control.TVN_AdjustOverlay(0, 0, 240, 320, 100);  // the second clip opaque
    runFor(1000);
    const double seconds = clock.elapsed() / 1000.0;
    const double recorded = seconds - pausedFor / 1000.0;
    control.TVN_StopLesson();

    const std::vector<QImage> frames = decodeFrames(avi);
    EXPECT_NEAR(static_cast<double>(frames.size()), recorded * 25.0, 6.0) << recorded << " s";
    ASSERT_GT(frames.size(), 25u);
    std::vector<int> numbers;
    for (const QImage& f : frames) numbers.push_back(frameNumber(f));
    EXPECT_EQ(numbers.front(), 4);
    EXPECT_TRUE(near(frames[10].pixel(160, 60), QColor(255, 255, 0), 60)) << "the drawing is not in the lesson";
    EXPECT_FALSE(near(frames[10].pixel(160, 150), QColor(255, 255, 0), 60));
    // Clip, then overlay.
    const auto lastFour = std::find(numbers.rbegin(), numbers.rend(), 4).base();
    ASSERT_NE(lastFour, numbers.begin());
    const auto firstNine = std::find(numbers.begin(), numbers.end(), 9);
    ASSERT_NE(firstNine, numbers.end());
    EXPECT_LE(lastFour, firstNine);  // no clip frame after the overlay's first
    EXPECT_GE(lastFour - numbers.begin(), 30);  // the first second and the half after the pause
    // The last second, and the catch-up frames of the time the overlay took to set up.
    EXPECT_GE(numbers.end() - firstNine, 23);
    EXPECT_LE(static_cast<double>(numbers.end() - firstNine), (seconds - overlayFrom) * 25.0 + 4.0);
    EXPECT_TRUE(std::all_of(firstNine, numbers.end(), [](int n) { return n == 9; }));

    const Wave sound = readWave(avi + ".wav");
    const double videoSeconds = frames.size() / 25.0;
    EXPECT_EQ(sound.channels, 2);
    EXPECT_NEAR(sound.seconds(), recorded, 0.25) << "the voice is not as long as the time recorded";
    EXPECT_NEAR(sound.seconds(), videoSeconds, 0.002) << "sound and picture drift apart";
    for (double at : {0.3, videoSeconds / 2, videoSeconds - 0.3})
        EXPECT_GT(toneShare(sound.firstChannel(at, 0.1), 1000, sound.sampleRate), 0.5) << "no voice at " << at << " s";
}

// A lesson whose capture device is slow to hand over its first samples (they
// come a second or two after the start): paused or stopped before they came,
// the stretch still holds its time, so the sound of the whole lesson is as
// long as its pictures, stretch by stretch; and the voice the device gave later
// is there. Each stretch of sound is cut to its pictures, so the two lengths
// agree to the sample (2 ms: one sample per stretch, and the rounding of WAVE
// and frame times).
TEST(LessonControlReal, ADeviceSlowToStartLeavesNoStretchWithoutItsTime) {
    PulseTestServer voice(1000, PulseTestServer::Start::Late);
    TVN_REQUIRE_SOUND(voice);
    struct Case {
        const char* name;
        std::vector<int> stretchesMs;  // a pause of half a second between two
        double toneFrom;               // seconds of the lesson from which the device's tone is in the file
    } cases[] = {
        {"1 s, a pause, 5 s", {1000, 5000}, 3.5},
        {"a lesson of 1.2 s", {1200}, -1},
    };
    QString main = clip(ClipFormat::H264Mp4, {.frames = 30, .keyInterval = 10});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        const QString avi = dir.filePath("slow.avi");
        Trelvan control(Components::defaults());
        control.resize(320, 240);
        AlsaAudioRecorder devices;
        ASSERT_GE(toneIndex(devices), 0);
        control.TVN_SelectAudioDevice(static_cast<int16_t>(toneIndex(devices)));
        ASSERT_EQ(control.TVN_OpenFile(main), 30);
        ASSERT_TRUE(control.TVN_StartLesson(avi, 25));
        for (size_t k = 0; k < c.stretchesMs.size(); ++k) {
            if (k > 0) {
                control.TVN_PauseLesson();
                runFor(500);
                control.TVN_ResumeLesson();
            }
            runFor(c.stretchesMs[k]);
        }
        control.TVN_StopLesson();
        const double pictures = decodeFrames(avi).size() / 25.0;
        const Wave sound = readWave(avi + ".wav");
        ASSERT_GT(pictures, 0);
        EXPECT_NEAR(sound.seconds(), pictures, 0.002) << "the sound is not as long as the pictures";
        if (c.toneFrom >= 0)
            EXPECT_GT(toneShare(sound.firstChannel(c.toneFrom, 1.0), 1000, sound.sampleRate), 0.5)
                << "the voice the device gave is not in the file";
    }
}

// When a lesson's picture reaches the start of clip frame f: every lesson frame
// that shows a clip frame within 0.4 s of f says where the clip was (the middle
// of the frame it shows) at its own time; the median of those offsets maps f
// onto the lesson's timeline. It averages out which part of a clip frame a
// lesson frame caught; the lag of the lesson's sampling stays in.
std::optional<double> pictureReaches(const TimedMedia& m, int f, int clipFps) {
    std::vector<double> offsets;
    const int around = clipFps * 2 / 5;
    for (size_t i = 0; i < m.frames.size(); ++i) {
        const int n = frameNumber(m.frames[i]);
        if (n >= f - around && n <= f + around) offsets.push_back((n + 0.5) / clipFps - m.frameSeconds[i]);
    }
    if (offsets.size() < 10) return std::nullopt;
    std::nth_element(offsets.begin(), offsets.begin() + offsets.size() / 2, offsets.end());
    return double(f) / clipFps - offsets[offsets.size() / 2];
}

// The voice in step with the picture, from the output to the compressed file:
// a clip whose frames show their numbers and whose sound beeps at the start of
// known frames plays through the control while a lesson records, with the
// sound output's monitor as the lesson's voice (a loopback microphone). The
// lesson starts, the clip plays at once, the lesson pauses and resumes while
// the clip plays on. In the lesson's own files and in both compressed forms,
// each beep starts when the picture reaches its frame, within one lesson frame
// (40 ms at 25 fps): that sum holds the player's own sound-to-picture step, the
// capture's start and stretch alignment and the converter's.
TEST(LessonControlReal, VoiceIsInStepWithThePictureInTheLessonFilesAndTheCompressedOnes) {
    PulseTestServer device;  // the sink plays what the control plays
    TVN_REQUIRE_SOUND(device);
    QTemporaryDir dir;
    constexpr int kClipFps = 30, kLessonFps = 25;
    const int beepFrames[] = {21, 45, 96, 120};  // none near the pause (2.0 to 2.6 s of the clip)
    QStringList beeps;
    for (int f : beepFrames) beeps << QStringLiteral("between(t\\,%1\\,%2)").arg(double(f) / kClipFps).arg(double(f) / kClipFps + 0.06);
    const QString picture = clip(ClipFormat::H264Mp4, {.frames = 150, .keyInterval = 30});
    QString beeping = dir.filePath("beeps.mp4");
    ASSERT_TRUE(ffmpeg({"-i", picture, "-f", "lavfi", "-i",
                        QStringLiteral("aevalsrc=0.8*sin(2*PI*1000*t)*(%1):s=48000:d=5").arg(beeps.join('+')),
                        "-c:v", "copy", "-c:a", "aac", beeping}));  // both 5 s: -shortest can cut the last frame (FFmpeg 7)

    Trelvan control(Components::defaults());
    control.resize(320, 240);
    control.show();
    AlsaAudioRecorder devices;
    ASSERT_GE(toneIndex(devices), 0) << "the test's monitor is not offered";
    control.TVN_SelectAudioDevice(static_cast<int16_t>(toneIndex(devices)));
    ASSERT_EQ(control.TVN_OpenFile(beeping), 150);
    int32_t volume = 100;
    control.TVN_SetVolume(volume);
    const QString avi = dir.filePath("voice.avi");
    const auto playedTo = [&](double ms) { return waitFor([&] { return control.TVN_GetPosLive() >= ms; }, 10000); };
    ASSERT_TRUE(control.TVN_StartLesson(avi, kLessonFps));
    control.TVN_Play();
    ASSERT_TRUE(playedTo(2000));
    control.TVN_PauseLesson();
    ASSERT_TRUE(playedTo(2600));
    control.TVN_ResumeLesson();
    ASSERT_TRUE(playedTo(4600));
    control.TVN_StopLesson();
    control.TVN_Pause();

    int completions = 0;
    QObject::connect(&control, &Trelvan::LessonCompressionComplete, [&] { ++completions; });
    std::vector<std::pair<QString, TimedMedia>> readBack;
    TimedMedia lesson = decodeTimed(avi);
    const TimedMedia voice = decodeTimed(avi + ".wav");
    std::tie(lesson.soundFrom, lesson.sampleRate, lesson.sound) = std::tie(voice.soundFrom, voice.sampleRate, voice.sound);
    readBack.emplace_back(QStringLiteral("the lesson's AVI and WAVE"), std::move(lesson));
    for (const char* name : {"voice.wmv", "voice.mp4"}) {
        const int before = completions;
        control.TVN_CompressLesson(avi, dir.filePath(name));
        ASSERT_TRUE(waitFor([&] { return completions > before; }, 60000)) << name;
        ASSERT_EQ(control.lastNotificationError(), nullptr) << control.lastNotificationError()->what();
        readBack.emplace_back(QLatin1String(name), decodeTimed(dir.filePath(name)));
    }
    for (const auto& [name, media] : readBack) {
        SCOPED_TRACE(name.toStdString());
        const std::vector<double> onsets = soundOnsets(media);
        ASSERT_EQ(onsets.size(), std::size(beepFrames)) << "beeps heard, not as many as played";
        QString measured;
        for (size_t i = 0; i < onsets.size(); ++i) {
            const std::optional<double> shown = pictureReaches(media, beepFrames[i], kClipFps);
            ASSERT_TRUE(shown) << "the lesson does not show frame " << beepFrames[i];
            const double early = *shown - onsets[i];
            measured += QStringLiteral(" %1").arg(early * 1000, 0, 'f', 1);
            EXPECT_LE(std::abs(early), 1.0 / kLessonFps)
                << "the beep of frame " << beepFrames[i] << " is " << early * 1000 << " ms before its picture";
        }
        std::printf("%s: beeps before their pictures by (ms)%s\n", qPrintable(name), qPrintable(measured));
    }
}

// A recording paused twice: every stretch holds its time and ends with the
// device's own sound. What the device still buffered when a pause or the stop
// came after a resume is written, not cut off and not made up with silence (a
// run of zero samples, which the tone never has). The second stretch is told
// it lasts 0.4 s (its pictures ran behind): its sound ends there, to the sample.
TEST_F(RecordingLessonTest, TheSoundJustBeforeEachPauseAndTheStopIsInTheFile) {
    const QString file = path("stretches.wav");
    constexpr int kRate = 44100;
    QElapsedTimer clock;
    clock.start();
    AlsaCaptureSession session(PulseTestServer::kMonitorPcm, "monitor", file, 2, kRate, false);
    // Frames in the file once the stretch that the pause ended is written.
    const auto settled = [&] {
        int64_t seen = -1;
        for (int i = 0; i < 40 && session.framesWritten() != seen; ++i) {
            seen = session.framesWritten();
            QThread::msleep(100);
        }
        return seen;
    };
    std::vector<double> lengths;
    std::vector<int64_t> ends;
    for (int stretch = 0; stretch < 3; ++stretch) {
        if (stretch > 0) {
            QThread::msleep(300);
            clock.restart();
            session.resume();
        }
        QThread::msleep(600);
        lengths.push_back(stretch == 1 ? 0.4 : clock.nsecsElapsed() / 1e9);
        if (stretch == 1) session.setStretchLength(0.4);
        if (stretch < 2) {
            session.pause();
            ends.push_back(settled());
        } else {
            session.stop();
            ends.push_back(session.framesWritten());
        }
    }
    const Wave wave = readWave(file);
    ASSERT_EQ(int64_t(wave.samples.size()) / 2, ends.back());
    for (int stretch = 0; stretch < 3; ++stretch) {
        SCOPED_TRACE(stretch);
        const int64_t from = stretch ? ends[stretch - 1] : 0, to = ends[stretch];
        EXPECT_NEAR(double(to - from) / kRate, lengths[stretch], stretch == 1 ? 0.5 / kRate : 1.0 / 25);
        const std::vector<int16_t> last = wave.firstChannel(double(to) / kRate - 0.1, 0.1);
        size_t longest = 0, zeros = 0;
        for (int16_t v : last) longest = std::max(longest, zeros = v ? 0 : zeros + 1);
        EXPECT_LT(longest, 8u) << "silence in the last 100 ms before the pause or stop";
        EXPECT_GT(toneShare(last, 1000, kRate), 0.5);
    }
}

TEST(MixerClock, PlayingSourcesOfDifferentRatesStayInStepAndPausedOnesStay) {
    MixerOnWidget m;
    m.host.show();
    const int32_t a = m.mixer.AddSource(clip(ClipFormat::H264Mp4), 0);
    const int32_t b = m.mixer.AddSource(clip(ClipFormat::H264Mp4, {125, 25}), 0);
    const int32_t still = m.mixer.AddSource(clip(ClipFormat::Vp9Mkv), 0);
    m.mixer.SetSourceRect(a, 0, 0, kW / 2, kH / 2);
    m.mixer.SetSourceRect(b, kW / 2, 0, kW / 2, kH / 2);
    m.mixer.SetSourceRect(still, 0, kH / 2, kW / 2, kH / 2);
    m.seekFrame(still, 12);
    m.mixer.PlaySource(still);
    m.mixer.PauseSource(still);
    m.mixer.PlaySource(a);
    m.mixer.PlaySource(b);
    const int64_t before = m.mixer.compositionCount();
    runFor(1000);
    m.mixer.PauseSource(a);
    m.mixer.PauseSource(b);
    const QImage p = m.picture();
    const int na = frameNumber(p.copy(0, 0, kW / 2, kH / 2));
    const int nb = frameNumber(p.copy(kW / 2, 0, kW / 2, kH / 2));
    EXPECT_EQ(frameNumber(p.copy(0, kH / 2, kW / 2, kH / 2)), 12) << "a paused source stays on its frame";
    ASSERT_GE(na, 20) << "the 30 fps clip advanced about a second";
    ASSERT_GE(nb, 16) << "the 25 fps clip advanced about a second";
    // In step: their positions differ by less than one frame of the slower clip (40 ms).
    EXPECT_LE(std::abs(na * 1000.0 / 30 - nb * 1000.0 / 25), 80.0 + 1.0) << na << " vs " << nb;
    // Composed about once per new frame of either source, never more than the frames shown.
    EXPECT_LE(m.mixer.compositionCount() - before, na + nb + 2);
    // After the pause nothing moves.
    runFor(200);
    EXPECT_EQ(m.picture(), p);
    // Playing on resumes from the frame shown.
    QElapsedTimer played;
    played.start();
    m.mixer.PlaySource(a);
    runFor(300);
    m.mixer.PauseSource(a);
    const int later = frameNumber(m.picture().copy(0, 0, kW / 2, kH / 2));
    EXPECT_GT(later, na);
    EXPECT_LE(later, na + played.elapsed() * 30 / 1000 + 3);
    // StopAll stops every source; a seek of a stopped source shows its frame and stays.
    m.mixer.PlaySource(a);
    m.mixer.PlaySource(b);
    m.mixer.StopAll();
    m.seekFrame(b, 100);
    runFor(150);
    EXPECT_EQ(frameNumber(m.picture().copy(kW / 2, 0, kW / 2, kH / 2)), 100);
}

// A capture overrun (the reading thread kept from the device for longer than it
// buffers, the device reset) leaves the file as long as the time recorded, the lost time silent.
TEST_F(RecordingLessonTest, CaptureOverrunIsFilledWithSilence) {
    const QString file = path("overrun.wav");
    QElapsedTimer clock;
    clock.start();
    AlsaCaptureSession session(PulseTestServer::kMonitorPcm, "monitor", file, 2, PulseTestServer::kRate, false);
    recordFor(600);
    session.overrunOnceForTest(600);
    recordFor(1000);
    const double recorded = clock.elapsed() / 1000.0;
    session.stop();
    EXPECT_GE(session.overruns(), 1);
    const Wave wave = readWave(file);
    EXPECT_NEAR(wave.seconds(), recorded, 0.25);
    size_t longest = 0, zeros = 0;  // the stall cannot start before 0.6 s
    for (int16_t v : wave.firstChannel(0.5, wave.seconds())) longest = std::max(longest, zeros = v ? 0 : zeros + 1);
    EXPECT_GT(longest, PulseTestServer::kRate * 0.4) << "the stall (0.6 s, less the 0.1 s buffered) is not silent";
}

}  // namespace
