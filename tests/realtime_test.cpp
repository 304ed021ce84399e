// Tests that run in real time and measure it: clip sound on a real ALSA device
// (a PulseAudio server the test starts), voice recording, lessons through the
// control, and mixer sources kept to their clocks. They run one at a time
// (ctest RESOURCE_LOCK), and take their measure from the recording where they
// can; where they compare with the wall clock, the margins hold on a loaded
// machine. Without a sound device they skip, but fail where CI=true.
#include "control/Trelvan.h"
#include "core/TvnError.h"
#include "fakes/ControlProbe.h"
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
#include "media/ffmpeg/FfmpegVideoMixer.h"
#include "media/ffmpeg/TempoFilter.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QWidget>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <gtest/gtest.h>
#include <functional>
#include <optional>
#include <unistd.h>

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

TEST(EngineSound, PlaysTheClipsSoundAtTheVolumeAndPitchAskedFor) {
    PulseTestServer device;
    TVN_REQUIRE_SOUND(device);
    // 3 s at 30 fps, with a 440 Hz sound track.
    const QString sound = clip(ClipFormat::H264Mp4, {.frames = 90, .audio = true});

    QWidget host;
    host.resize(320, 240);
    // Plays for 1.5 s; after 0.75 s the volume goes to 0.
    auto play = [&](double rate) {
        FfmpegDisplayEngine engine(&host);
        engine.OpenClip(sound);
        engine.SetVolume(100);
        engine.SetRate(rate);
        device.startCapture();
        engine.Play();
        runFor(750);
        engine.SetVolume(0);
        runFor(750);
        engine.Pause();
        std::vector<int16_t> samples = device.stopCapture();
        engine.Stop();
        return samples;
    };
    const size_t rate = PulseTestServer::kRate;
    // The 0.4 s from 50 ms after the sound starts, well before the volume changes.
    auto played = [&](const std::vector<int16_t>& s) {
        const auto onset = std::find_if(s.begin(), s.end(), [](int16_t v) { return std::abs(v) > 1000; });
        const size_t from = std::min(size_t(onset - s.begin()) + rate / 20, s.size());
        return std::vector<int16_t>(s.begin() + from, s.begin() + std::min(from + rate * 4 / 10, s.size()));
    };
    const std::vector<int16_t> normal = play(1.0);
    ASSERT_GT(normal.size(), rate) << "the monitor recorded less than a second";
    const std::vector<int16_t> loud = played(normal);
    const std::vector<int16_t> quiet(normal.end() - rate * 5 / 10, normal.end());
    EXPECT_GT(rms(loud), 1000) << "no sound reached the device at volume 100";
    EXPECT_GT(toneShare(loud, 440, rate), 0.5) << "what was played is not the clip's 440 Hz tone";
    EXPECT_LT(rms(quiet), 50) << "volume 0 still plays sound";

    // Other rates keep the pitch: the tone is still 440 Hz, not 880 or 220.
    for (double r : {2.0, 0.5}) {
        const std::vector<int16_t> s = play(r);
        ASSERT_GT(s.size(), rate) << "rate " << r;
        const std::vector<int16_t> part = played(s);
        EXPECT_GT(rms(part), 1000) << "no sound at rate " << r;
        EXPECT_GT(toneShare(part, 440, rate), 0.5) << "the pitch changed at rate " << r;
    }
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
        ASSERT_EQ(QProcess::execute("ffmpeg", QStringList{"-v", "error", "-y", "-f", "lavfi", "-i",
                                                          "testsrc=s=320x240:r=30:d=2"} +
                                                  c.soundArgs + QStringList{"-c:v", "libx264", "-c:a", "aac", burst}),
                  0);
        QWidget host;
        host.resize(320, 240);
        FfmpegDisplayEngine engine(&host);
        engine.OpenClip(burst);
        engine.Seek(c.fromMs);
        engine.SetVolume(100);
        using Clock = std::chrono::steady_clock;
        device.startCapture();
        const size_t playedFrom = device.capturedSamples();  // the sample heard as Play is called
        const Clock::time_point started = Clock::now();
        engine.Play();
        std::optional<double> frameShownMs;
        while (Clock::now() < started + std::chrono::milliseconds(1500 - int(c.fromMs))) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
            if (!frameShownMs && engine.GetPosition() >= 1000)
                frameShownMs = std::chrono::duration<double, std::milli>(Clock::now() - started).count();
        }
        engine.Pause();
        const std::vector<int16_t> samples = device.stopCapture();
        ASSERT_TRUE(frameShownMs) << "the 1.000 s frame was never shown";
        const auto heard = std::find_if(samples.begin(), samples.end(), [](int16_t v) { return std::abs(v) > 3000; });
        ASSERT_NE(heard, samples.end()) << "the burst was never heard";
        const double heardMs = double(heard - samples.begin() - playedFrom) * 1000.0 / PulseTestServer::kRate;
        EXPECT_NEAR(*frameShownMs, 1000 - c.fromMs, 150);
        EXPECT_NEAR(heardMs, *frameShownMs, 80) << "sound and picture out of step";
    }
}

// A clip whose frame n shows n, with a 440 Hz sound for its first two seconds
// and 1320 Hz after. Each change is made while it plays; from then on no frame
// from before the change is shown, play goes on, and the sound heard is the
// sound of the new place.
TEST(EngineSound, ChangesWhilePlayingShowNoStaleFrameAndRestartTheSoundAtTheNewPlace) {
    PulseTestServer device;
    TVN_REQUIRE_SOUND(device);
    const QString twoTones = testFolder().filePath("two-tones.mp4");
    const QString picture = clip(ClipFormat::H264Mp4, {.frames = 120, .keyInterval = 30});
    ASSERT_EQ(QProcess::execute("ffmpeg", {"-v", "error", "-y", "-i", picture, "-f", "lavfi", "-i",
                                           "aevalsrc=0.5*sin(2*PI*if(lt(t\\,2)\\,440\\,1320)*t):s=48000:d=4", "-c:v",
                                           "copy", "-c:a", "aac", "-shortest", twoTones}),
              0);
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
        engine.OpenClip(twoTones);
        engine.SetVolume(100);
        engine.Play();
        runFor(300);
        const int atChange = frameNumber(engine.shownPicture());
        device.startCapture();
        c.change(engine);
        const int first = c.firstFrame >= 0 ? c.firstFrame : atChange;
        int last = first;
        QElapsedTimer watched;
        watched.start();
        while (watched.elapsed() < 600) {
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
        EXPECT_GT(toneShare(part, c.toneHz, PulseTestServer::kRate), 0.5) << "the sound is not that of the shown place";
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
        EXPECT_GT(toneShare(left, 440, rate), 0.8) << "tempo " << tempo;
        double product = 1;
        for (double f : TempoFilter::stages(tempo)) {
            EXPECT_GE(f, 0.5);
            EXPECT_LE(f, 2.0);
            product *= f;
        }
        EXPECT_NEAR(product, tempo, 1e-9);
    }
}

PulseTestServer* device = nullptr;

int32_t toneIndex(AlsaAudioRecorder& recorder) {
    for (int32_t i = 0; i < recorder.GetDeviceCount(); ++i)
        if (recorder.GetDeviceName(i).contains(PulseTestServer::monitorDescription())) return i;
    return -1;
}

class RecordingLessonTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (qEnvironmentVariableIsSet("TVN_KILL_CHILD_DIR")) return;  // the child uses its parent's daemon
        device = new PulseTestServer(1000);
    }
    static void TearDownTestSuite() {
        delete device;
        device = nullptr;
    }
    void SetUp() override {
        if (qEnvironmentVariableIsSet("TVN_KILL_CHILD_DIR")) GTEST_SKIP() << "runs only the child role";
        TVN_REQUIRE_SOUND(*device);
    }
    QString path(const char* name) const { return dir_.filePath(QLatin1String(name)); }

    // Records for ms of real time; returns the seconds that really passed.
    static double recordFor(int ms) {
        QElapsedTimer clock;
        clock.start();
        QThread::msleep(ms);
        return clock.elapsed() / 1000.0;
    }

    QTemporaryDir dir_;
};

TEST_F(RecordingLessonTest, DevicesAreTheOpenableCapturePcms) {
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
}

// A recording is as long as the time recorded (the device paces it), leaves the
// paused time out, holds the tone and is a readable WAVE file while it is being
// written. A start on the file this recorder wrote (a lesson resumed after a
// stop) appends and keeps what was there; a new file starts a new recording.
TEST_F(RecordingLessonTest, RecordsTheToneLeavingPausesOutAndAppendsOnARestart) {
    AlsaAudioRecorder recorder;
    recorder.SelectDevice(toneIndex(recorder));
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

    recorder.StartRecord(2, 44100);  // the restart branch of a resume
    recorded = recordFor(500);
    recorder.StopRecord();
    const Wave appended = readWave(file);
    EXPECT_NEAR(appended.seconds() - first.seconds(), recorded, 0.2);
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

TEST_F(RecordingLessonTest, BadFileFailsTheStartNamingIt) {
    AlsaAudioRecorder recorder;
    recorder.SelectDevice(toneIndex(recorder));
    const QString file = path("no/such/folder/x.avi.wav");
    recorder.SetFileName(file);
    const auto e = errorFrom([&] { recorder.StartRecord(2, 44100); });
    ASSERT_TRUE(e) << "started";
    EXPECT_EQ(e->number(), err::PathFileAccess);
    EXPECT_TRUE(e->description().contains(file)) << e->what();
    EXPECT_FALSE(recorder.IsPaused());
    recorder.StopRecord();  // nothing running: nothing to do
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
// that FFmpeg and libsndfile read up to within a second of the kill.
TEST_F(RecordingLessonTest, KilledMidLessonLeavesReadableFiles) {
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("TVN_KILL_CHILD_DIR", dir_.path());
    env.insert("QT_QPA_PLATFORM", "offscreen");
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(), {"--gtest_filter=RecordingKillChild.*"});
    ASSERT_TRUE(child.waitForStarted(5000));
    int frames = 0;
    QByteArray out;
    QDeadlineTimer deadline(15000);
    while (frames < 60 && !deadline.hasExpired() && child.state() == QProcess::Running) {
        child.waitForReadyRead(200);
        out += child.readAllStandardOutput();
        const QList<QByteArray> lines = out.split('\n');
        for (const QByteArray& l : lines)
            if (l.trimmed().toInt() > frames) frames = l.trimmed().toInt();
    }
    child.kill();  // SIGKILL: no destructor, no trailer, no header update
    ASSERT_TRUE(child.waitForFinished(5000));
    ASSERT_GE(frames, 60) << out.toStdString();

    const QString avi = dir_.filePath("killed.avi");
    const auto streams = probeStreams(avi);
    ASSERT_EQ(streams.size(), 1u);
    EXPECT_GE(streams[0].packets, frames - 25) << "more than a second of video lost";
    const auto decoded = decodeFrames(avi);
    EXPECT_GE(static_cast<int>(decoded.size()), frames - 25);

    const Wave w = readWave(dir_.filePath("killed.avi.wav"));
    EXPECT_EQ(w.channels, 2);
    EXPECT_GE(w.seconds(), frames / 25.0 - 1.0) << "more than a second of sound lost";
}

// A coach's lesson on every real component, the voice included: a drawing and a
// bitmap over a real clip, a pause, the film strip, then the overlay of a second
// clip, then compression. The lesson records whichever of them is shown, for as
// long as it is shown. The voice is a 1 kHz tone from a capture device the test
// starts itself. Sound and picture must stay in step: the WAVE file is as long
// as the AVI within 40 ms plus one frame per start and resume (the frame loop
// starts each stretch one frame ahead), and the compressed file keeps both
// lengths. Against the wall clock the margins are wide, as a loaded machine is
// slow to call.
TEST(LessonControlReal, RecordsWhatIsShownWithTheVoiceInStepThroughPauseAndCompression) {
    PulseTestServer voice(1000);
    TVN_REQUIRE_SOUND(voice);
    QTemporaryDir dir;
    QString main = clip(ClipFormat::H264Mp4, {.frames = 30, .keyInterval = 10});
    QString second = clip(ClipFormat::H264Mp4, {.frames = 30, .fps = 25, .keyInterval = 10});
    const QString avi = dir.filePath("voice lesson.avi");
    const QString wmv = dir.filePath("voice lesson.wmv");

    Trelvan control(Components::defaults());
    control.resize(320, 240);
    control.show();
    int16_t device = -1;
    for (int32_t i = 1; i <= control.TVN_AudioDevices.Count(); ++i)
        if (control.TVN_AudioDevices.Item(i).contains(PulseTestServer::monitorDescription()))
            device = static_cast<int16_t>(i - 1);
    ASSERT_GE(device, 0) << "the test's capture device is not offered";
    control.TVN_SelectAudioDevice(device);
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
    // After the pause, a red square in the top-left corner, the rest of the bitmap the key colour.
    QImage mark(320, 240, QImage::Format_RGB32);
    mark.fill(Qt::white);
    QPainter(&mark).fillRect(0, 0, 20, 20, Qt::red);
    int32_t handle = BitmapTable::instance().add(mark);
    control.TVN_SetBitmapOverlay(handle);
    control.TVN_ResumeLesson();
    runFor(500);
    control.TVN_ShowFilmStrip(true);
    runFor(1000);
    control.TVN_ShowFilmStrip(false);
    // Setting up the overlay takes real time of its own, which the lesson records too.
    const double overlayFrom = clock.elapsed() / 1000.0;
    control.TVN_Overlay(second);
    control.TVN_SetOverlay2Frame(9);
    control.TVN_AdjustOverlay(0, 0, 240, 320, 100);  // the second clip opaque
    runFor(1000);
    const double seconds = clock.elapsed() / 1000.0;
    const double recorded = seconds - pausedFor / 1000.0;
    control.TVN_StopLesson();
    BitmapTable::instance().release(handle);

    const std::vector<QImage> frames = decodeFrames(avi);
    EXPECT_NEAR(static_cast<double>(frames.size()), recorded * 25.0, 6.0) << recorded << " s";
    ASSERT_GT(frames.size(), 25u);
    std::vector<int> numbers;
    for (const QImage& f : frames) numbers.push_back(frameNumber(f));
    EXPECT_EQ(numbers.front(), 4);
    EXPECT_TRUE(near(frames[10].pixel(160, 60), QColor(255, 255, 0), 60)) << "the drawing is not in the lesson";
    EXPECT_FALSE(near(frames[10].pixel(160, 150), QColor(255, 255, 0), 60));
    // Clip, then strip, then overlay.
    const auto lastFour = std::find(numbers.rbegin(), numbers.rend(), 4).base();
    ASSERT_NE(lastFour, numbers.begin());
    EXPECT_TRUE(near(frames[lastFour - numbers.begin() - 1].pixel(10, 10), QColor(255, 0, 0), 60)) << "no bitmap";
    const auto firstNine = std::find(numbers.begin(), numbers.end(), 9);
    ASSERT_NE(firstNine, numbers.end());
    EXPECT_LT(lastFour, firstNine);
    EXPECT_GE(lastFour - numbers.begin(), 30);  // the first second and the half after the pause
    EXPECT_GE(firstNine - lastFour, 22);        // the strip's second
    // The last second, and the catch-up frames of the time the overlay took to set up.
    EXPECT_GE(numbers.end() - firstNine, 23);
    EXPECT_LE(static_cast<double>(numbers.end() - firstNine), (seconds - overlayFrom) * 25.0 + 4.0);
    EXPECT_TRUE(std::all_of(firstNine, numbers.end(), [](int n) { return n == 9; }));
    EXPECT_TRUE(std::none_of(lastFour, firstNine, [](int n) { return n == 4 || n == 9; }));

    const Wave sound = readWave(avi + ".wav");
    const double videoSeconds = frames.size() / 25.0;
    EXPECT_EQ(sound.channels, 2);
    EXPECT_NEAR(sound.seconds(), recorded, 0.25) << "the voice is not as long as the time recorded";
    EXPECT_NEAR(sound.seconds(), videoSeconds, 0.040 + 2 / 25.0) << "sound and picture drift apart";
    for (double at : {0.3, videoSeconds / 2, videoSeconds - 0.3})
        EXPECT_GT(toneShare(sound.firstChannel(at, 0.1), 1000, sound.sampleRate), 0.5) << "no voice at " << at << " s";

    QList<int32_t> progress;
    int completions = 0;
    QObject::connect(&control, &Trelvan::LessonCompressionProgress,
                     [&] { progress << control.TVN_LessonCompressionProgress; });
    QObject::connect(&control, &Trelvan::LessonCompressionComplete, [&] { ++completions; });
    EXPECT_EQ(control.TVN_CompressLesson(avi, wmv), 0);
    ASSERT_TRUE(waitFor([&] { return completions > 0; }, 60000)) << "no completion";
    EXPECT_EQ(std::tuple(bool(std::is_sorted(progress.begin(), progress.end())), progress.value(progress.size() - 1)),
              std::tuple(true, 100));
    runFor(200);
    EXPECT_EQ(completions, 1);
    const auto out = probeStreams(wmv);
    const StreamSummary* outVideo = findStream(out, AVMEDIA_TYPE_VIDEO);
    const StreamSummary* outAudio = findStream(out, AVMEDIA_TYPE_AUDIO);
    ASSERT_NE(outVideo, nullptr);
    ASSERT_NE(outAudio, nullptr);
    EXPECT_EQ(std::tuple(outVideo->codec, outAudio->codec), std::tuple("wmv2", "wmav2"));
    EXPECT_NEAR(outVideo->seconds, videoSeconds, 0.1);
    EXPECT_NEAR(outAudio->seconds, sound.seconds(), 0.1);
}

struct MixerOnWidget {
    MixerOnWidget() : mixer(&host) { host.resize(kW, kH); mixer.Display()->setGeometry(0, 0, kW, kH); }
    QImage picture() { return mixer.MixedFramePicture(-1).image().convertToFormat(QImage::Format_RGB32); }
    void seekFrame(int32_t id, int n) { mixer.SeekSource(id, mixer.GetSourceDuration(id) / mixer.GetSourceFrameCount(id) * n); }
    QWidget host;
    FfmpegVideoMixer mixer;
};

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
