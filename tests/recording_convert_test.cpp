// Lesson compression on the recording engine: an AVI written by the engine and
// a WAVE file become one WMV (or MP4), on a worker, with progress and one
// completion notice; files read back with libavformat and checked with ffmpeg.

#include "recording_test_support.h"

#include "core/TvnError.h"
#include "media/ffmpeg/FfmpegRecordingEngine.h"
#include "media/ffmpeg/LessonConverter.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tvn;
using namespace tvn::rectest;

namespace {

constexpr double Seconds = 3.0;
constexpr int Fps = 25;

class RecordingConvertTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = new QTemporaryDir;
        avi_ = dir_->filePath("lesson.avi");
        // The lesson: a new colour every second, 320 x 240 at 25 fps.
        FfmpegRecordingEngine engine;
        engine.SetCaptureFileName(avi_);
        engine.SetFrameSize(320, 240);
        engine.StartFileCapture(Fps);
        const QColor colours[] = {Qt::red, Qt::green, Qt::blue};
        std::vector<int32_t> handles;
        for (QColor c : colours) handles.push_back(BitmapTable::instance().add(solid({320, 240}, c)));
        for (int f = 0; f < Seconds * Fps; ++f) engine.AddFrame(handles[f / Fps]);
        engine.StopFileCapture();
        for (int32_t h : handles) BitmapTable::instance().release(h);
        // Its sound: a 1 kHz tone, 2 channels at 44.1 kHz.
        SF_INFO info = {};
        info.channels = 2;
        info.samplerate = 44100;
        info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
        SNDFILE* f = sf_open((avi_ + ".wav").toUtf8().constData(), SFM_WRITE, &info);
        std::vector<short> samples(static_cast<size_t>(Seconds * 44100) * 2);
        for (size_t i = 0; i < samples.size() / 2; ++i)
            samples[2 * i] = samples[2 * i + 1] = static_cast<short>(8000 * std::sin(2 * M_PI * 1000 * i / 44100.0));
        sf_writef_short(f, samples.data(), samples.size() / 2);
        sf_close(f);
    }
    static void TearDownTestSuite() { delete dir_; }

    struct Result {
        std::vector<int> progress;
        int done = 0;
        QString error;
    };
    // Converts as the control does and waits (bounded) for the completion notice.
    Result convert(const QString& audio, const QString& output, double from = 0, double to = 1000000,
                   const QString& customProfile = QString()) {
        FfmpegRecordingEngine engine;
        Result r;
        QObject::connect(&engine, &VideoEngine::CompressionProgress,
                         [&](int32_t p, int32_t) { r.progress.push_back(p); });
        QObject::connect(&engine, &VideoEngine::CompressionDone, [&] { ++r.done; });
        engine.SetVideoCompressor(-1);
        engine.SetAudioCompressor(-1);
        engine.SetSetting3(95);
        engine.SetProfile(2);
        if (!customProfile.isEmpty()) {
            engine.SetProfile(-1);
            engine.SetCustomProfile(customProfile);
        }
        engine.ConvertToWmv(avi_, audio, output, from, to);
        EXPECT_TRUE(waitUntil([&] { return r.done > 0; }, 60000)) << "no completion";
        waitUntil([] { return false; }, 50);  // a second completion would arrive here
        r.error = engine.ConversionError();
        return r;
    }
    static QString ffmpegErrors(const QString& file) {
        QProcess p;
        p.start(QStringLiteral("ffmpeg"), {"-v", "error", "-i", file, "-f", "null", "-"});
        if (!p.waitForFinished(60000)) return QStringLiteral("ffmpeg did not finish");
        return QString::fromUtf8(p.readAllStandardError()) + (p.exitCode() ? QStringLiteral("exit code") : QString());
    }
    static QString path(const char* name) { return dir_->filePath(QLatin1String(name)); }

    static QTemporaryDir* dir_;
    static QString avi_;
};

QTemporaryDir* RecordingConvertTest::dir_ = nullptr;
QString RecordingConvertTest::avi_;

TEST_F(RecordingConvertTest, LessonBecomesOneFileWithBothStreams) {
    struct Case {
        const char* output;
        std::string video, audio;
    } cases[] = {{"lesson.wmv", "wmv2", "wmav2"}, {"lesson.mp4", "h264", "aac"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.output);
        const QString out = path(c.output);
        const Result r = convert(avi_ + ".wav", out);
        EXPECT_EQ(r.done, 1);
        EXPECT_TRUE(r.error.isEmpty()) << r.error.toStdString();
        ASSERT_FALSE(r.progress.empty());
        EXPECT_EQ(r.progress.front(), 0);
        EXPECT_EQ(r.progress.back(), 100);
        EXPECT_TRUE(std::is_sorted(r.progress.begin(), r.progress.end()));
        EXPECT_EQ(std::adjacent_find(r.progress.begin(), r.progress.end()), r.progress.end());

        const auto streams = probeStreams(out);
        const StreamSummary* v = findStream(streams, AVMEDIA_TYPE_VIDEO);
        const StreamSummary* a = findStream(streams, AVMEDIA_TYPE_AUDIO);
        ASSERT_TRUE(v && a);
        EXPECT_EQ(v->codec, c.video);
        EXPECT_EQ(a->codec, c.audio);
        EXPECT_EQ(v->width, 320);
        EXPECT_EQ(v->height, 240);
        EXPECT_EQ(a->channels, 2);
        EXPECT_EQ(a->sampleRate, 44100);
        EXPECT_NEAR(v->seconds, Seconds, 0.1);
        EXPECT_NEAR(a->seconds, Seconds, 0.1);
        EXPECT_EQ(ffmpegErrors(out), QString());
        // The pictures stay in their second: frame 30 (1.2 s) is green.
        const auto frames = decodeFrames(out, 31);
        ASSERT_EQ(frames.size(), 31u);
        EXPECT_TRUE(near(frames[30].pixelColor(160, 120), Qt::green, 40));
        EXPECT_FALSE(QFile::exists(LessonConverter::temporaryName(out)));
    }
    // Fast start: the MP4 index comes before the media data.
    QFile mp4(path("lesson.mp4"));
    ASSERT_TRUE(mp4.open(QIODevice::ReadOnly));
    const QByteArray bytes = mp4.readAll();
    EXPECT_LT(bytes.indexOf("moov"), bytes.indexOf("mdat"));
}

TEST_F(RecordingConvertTest, SpanProfileAndMissingSound) {
    struct Case {
        const char* name;
        QString audio;
        double from, to;
        QString profile;
        double seconds;
        int width, height;
        double fps;
        bool hasAudio;
    } cases[] = {
        {"span 1 to 2 s", avi_ + ".wav", 1, 2, QString(), 1.0, 320, 240, 25, true},
        {"custom profile", avi_ + ".wav", 0, 1e6, "size = 160x160\nframe rate = 10\nchannels = 1\nsample rate = 22050",
         3.0, 160, 120, 10, true},
        {"no sound file", path("missing.wav"), 0, 1e6, QString(), 3.0, 320, 240, 25, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString out = path((std::string(c.name).substr(0, 4) + ".wmv").c_str());
        const Result r = convert(c.audio, out, c.from, c.to, c.profile);
        EXPECT_EQ(r.done, 1);
        EXPECT_TRUE(r.error.isEmpty()) << r.error.toStdString();
        const auto streams = probeStreams(out);
        const StreamSummary* v = findStream(streams, AVMEDIA_TYPE_VIDEO);
        const StreamSummary* a = findStream(streams, AVMEDIA_TYPE_AUDIO);
        ASSERT_TRUE(v);
        EXPECT_EQ(v->width, c.width);
        EXPECT_EQ(v->height, c.height);
        EXPECT_NEAR(v->packets, c.seconds * c.fps, 1);
        EXPECT_NEAR(v->seconds, c.seconds, 0.1);
        EXPECT_EQ(a != nullptr, c.hasAudio);
        if (a) EXPECT_NEAR(a->seconds, c.seconds, 0.1);
        if (c.from == 1) {
            // The span starts at 1 s: its first frame is the green second.
            const auto frames = decodeFrames(out, 1);
            ASSERT_EQ(frames.size(), 1u);
            EXPECT_TRUE(near(frames[0].pixelColor(160, 120), Qt::green, 40));
        }
    }
}

TEST_F(RecordingConvertTest, FailuresCompleteOnceAndLeaveNoFile) {
    const QString corrupt = path("corrupt.avi");
    {
        QFile f(corrupt);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(4096, 'x'));
    }
    struct Case {
        const char* name;
        QString video, output, mention;
    } cases[] = {
        {"missing lesson", path("nothing.avi"), path("a.wmv"), path("nothing.avi")},
        {"corrupt lesson", corrupt, path("b.wmv"), corrupt},
        {"missing folder", avi_, path("no/such/dir/c.wmv"), path("no/such/dir/")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FfmpegRecordingEngine engine;
        int done = 0;
        QObject::connect(&engine, &VideoEngine::CompressionDone, [&] { ++done; });
        engine.ConvertToWmv(c.video, c.video + ".wav", c.output, 0, 1e6);
        ASSERT_TRUE(waitUntil([&] { return done > 0; }, 30000));
        waitUntil([] { return false; }, 50);
        EXPECT_EQ(done, 1);
        EXPECT_TRUE(engine.ConversionError().contains(c.mention)) << engine.ConversionError().toStdString();
        EXPECT_FALSE(QFile::exists(c.output));
        EXPECT_FALSE(QFile::exists(LessonConverter::temporaryName(c.output)));
    }
}

TEST_F(RecordingConvertTest, OneConversionAtATime) {
    FfmpegRecordingEngine engine;
    int done = 0;
    QObject::connect(&engine, &VideoEngine::CompressionDone, [&] { ++done; });
    engine.ConvertToWmv(avi_, avi_ + ".wav", path("first.wmv"), 0, 1e6);
    EXPECT_THROW(engine.ConvertToWmv(avi_, avi_ + ".wav", path("second.wmv"), 0, 1e6), TvnError);
    ASSERT_TRUE(waitUntil([&] { return done > 0; }, 60000));
    EXPECT_TRUE(QFile::exists(path("first.wmv")));
    EXPECT_FALSE(QFile::exists(path("second.wmv")));
}

}  // namespace
