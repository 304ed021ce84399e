// The ALSA audio recorder on a real capture device, and a lesson's files after
// the process is killed mid-lesson.
//
// The capture device is a PulseAudio server started by the test, whose sink
// plays a 1 kHz sine; its monitor is the device the recorder records.

#include "recording_test_support.h"

#include "fakes/ErrorFrom.h"
#include "fakes/PulseTestServer.h"

#include "core/TvnError.h"
#include "media/alsa/AlsaAudioRecorder.h"
#include "media/ffmpeg/FfmpegRecordingEngine.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace tvn;
using tvn::testing::errorFrom;
using namespace tvn::rectest;

namespace {

using tvn::testing::PulseTestServer;

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
        if (!device->problem().empty()) GTEST_SKIP() << device->problem();
    }
    QString path(const char* name) const { return dir_.filePath(QLatin1String(name)); }

    // Records for ms of real time.
    static void recordFor(int ms) { QThread::msleep(ms); }

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

// A 2 s recording is 2 s long (the device paces it), holds the tone and is a
// readable WAVE file while it is being written.
TEST_F(RecordingLessonTest, RecordsTheToneIntoAWaveFileReadableAtEveryMoment) {
    AlsaAudioRecorder recorder;
    recorder.SelectDevice(toneIndex(recorder));
    const QString file = path("lesson.avi.wav");
    recorder.SetRecordOption(28);
    recorder.SetFileName(file);
    recorder.StartRecord(2, 44100);
    recordFor(1200);
    const Wave during = readWave(file);
    EXPECT_EQ(during.channels, 2);
    EXPECT_GT(during.seconds(), 0.7) << "the header does not follow the data";
    recordFor(800);
    recorder.StopRecord();
    EXPECT_TRUE(recorder.LastError().isEmpty()) << recorder.LastError().toStdString();

    const Wave w = readWave(file);
    EXPECT_EQ(w.format, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    EXPECT_EQ(w.channels, 2);
    EXPECT_EQ(w.sampleRate, 44100);
    EXPECT_NEAR(w.seconds(), 2.0, 0.3);
    const size_t mid = w.samples.size() / w.channels / 2;
    const double tone = tonePower(w, 1000, mid, 4410);
    EXPECT_GT(tone, 100 * tonePower(w, 1500, mid, 4410));
    EXPECT_GT(tone, 1e-4);
}

// Pause leaves the paused time out; a start on the file this recorder wrote
// (a lesson resumed after a stop) appends and keeps what was there.
TEST_F(RecordingLessonTest, PauseResumeAndRestartAppend) {
    AlsaAudioRecorder recorder;
    recorder.SelectDevice(toneIndex(recorder));
    const QString file = path("resumed.avi.wav");
    recorder.SetFileName(file);
    EXPECT_FALSE(recorder.IsPaused());
    recorder.StartRecord(2, 44100);
    recordFor(700);
    recorder.PauseRecord();
    EXPECT_TRUE(recorder.IsPaused());
    recordFor(700);
    recorder.ResumeRecord();
    EXPECT_FALSE(recorder.IsPaused());
    recordFor(700);
    recorder.StopRecord();
    const Wave first = readWave(file);
    EXPECT_NEAR(first.seconds(), 1.4, 0.25);

    recorder.StartRecord(2, 44100);  // the restart branch of a resume
    recordFor(500);
    recorder.StopRecord();
    const Wave appended = readWave(file);
    EXPECT_NEAR(appended.seconds() - first.seconds(), 0.5, 0.2);
    ASSERT_GE(appended.samples.size(), first.samples.size());
    EXPECT_TRUE(std::equal(first.samples.begin(), first.samples.end(), appended.samples.begin()));

    // A new lesson file starts a new recording.
    recorder.SetFileName(path("other.avi.wav"));
    recorder.StartRecord(2, 44100);
    recordFor(300);
    recorder.StopRecord();
    EXPECT_LT(readWave(path("other.avi.wav")).seconds(), 0.6);
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

// A machine without capture devices, in a process of its own with an ALSA
// configuration that has none: an empty list and a clear failure to record.
TEST_F(RecordingLessonTest, NoCaptureDeviceMeansAnEmptyList) {
    const QString config = path("none.conf");
    QFile conf(config);
    ASSERT_TRUE(conf.open(QIODevice::WriteOnly));
    conf.write("pcm.null { type null }\nctl.null { type hw card 0 }\n");
    conf.close();
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        setenv("ALSA_CONFIG_PATH", config.toUtf8().constData(), 1);
        int code = 0;
        try {
            AlsaAudioRecorder recorder;
            code = recorder.GetDeviceCount() == 0 ? 0 : 10 + recorder.GetDeviceCount();
            recorder.SetFileName(path("none.wav"));
            recorder.StartRecord(2, 44100);
            code = 2;  // recorded without a device
        } catch (const TvnError& e) {
            if (code == 0 && e.number() != err::AudioDeviceFailed) code = 3;
        }
        _exit(code);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "2: recorded, 3: wrong error, 10+n: n devices listed";
    EXPECT_FALSE(QFile::exists(path("none.wav")));
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
    for (int i = 0; i < 25; ++i) handles.push_back(BitmapTable::instance().add(solid({320, 240}, QColor::fromHsv(i * 14, 255, 255))));
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

}  // namespace
