// The recording engine: lesson AVI files written as a lesson drives it
// (SetCaptureFileName, SetFrameSize, SetVideoCompressor, StartFileCapture,
// AddFrame per frame, StopFileCapture), encoding profiles, and compression of a
// lesson into one WMV or MP4 on a worker; files read back with libavformat.

#include "fakes/MediaFiles.h"
#include "fakes/EventLoopWait.h"
#include "fakes/TestClips.h"

#include "core/TvnError.h"
#include "fakes/ErrorFrom.h"
#include "media/ffmpeg/AviFrameWriter.h"
#include "media/ffmpeg/EncodingProfile.h"
#include "media/ffmpeg/FfmpegRecordingEngine.h"
#include "media/ffmpeg/LessonConverter.h"

#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <csignal>
#include <sys/resource.h>
#include <gtest/gtest.h>

using namespace tvn;
using tvn::testing::errorFrom;
using namespace tvn::testing;
using tvn::testclips::solid;

namespace {

class RecordingEngineTest : public ::testing::Test {
protected:
    void TearDown() override {
        for (int32_t h : handles_) BitmapTable::instance().release(h);
    }
    int32_t bitmap(const QImage& image) {
        handles_.push_back(BitmapTable::instance().add(image));
        return handles_.back();
    }
    QString path(const char* name) const { return dir_.filePath(QLatin1String(name)); }

    QTemporaryDir dir_;
    FfmpegRecordingEngine engine_;
    std::vector<int32_t> handles_;
};

TEST_F(RecordingEngineTest, EncoderListIsRealAndNeverOffersDv) {
    ASSERT_GE(engine_.VideoCompressorCount(), 1);
    EXPECT_EQ(engine_.VideoCompressorName(0), QStringLiteral("MJPEG (Motion JPEG)"));
    for (int32_t i = 0; i < engine_.VideoCompressorCount(); ++i)
        EXPECT_NE(engine_.VideoCompressorName(i).left(4).toLower(), QStringLiteral("dv v")) << i;
    for (int32_t bad : {-1, engine_.VideoCompressorCount()}) {
        const auto e = errorFrom([&] { engine_.VideoCompressorName(bad); });
        ASSERT_TRUE(e) << "index " << bad << " answered";
        EXPECT_EQ(e->number(), err::SubscriptOutOfRange);
    }
}

// Every encoder the list offers, and -1 (the default): the file holds one frame
// per AddFrame, repeated handles included, and the frames show the bitmaps.
TEST_F(RecordingEngineTest, EveryOfferedEncoderWritesOneFramePerAddFrame) {
    const std::vector<std::pair<int32_t, std::string>> cases = [&] {
        std::vector<std::pair<int32_t, std::string>> c{{-1, "mjpeg"}};
        const char* codecs[] = {"mjpeg", "mpeg4", "ffv1", "huffyuv"};
        for (int32_t i = 0; i < engine_.VideoCompressorCount(); ++i) c.emplace_back(i, codecs[i]);
        return c;
    }();
    const QColor colours[] = {Qt::red, Qt::green, Qt::blue};
    const int32_t handles[] = {bitmap(solid(96, 64, colours[0])), bitmap(solid(96, 64, colours[1])),
                               bitmap(solid(96, 64, colours[2]))};
    // Frames 0-3 red (three catch-up copies), 4 green, 5-6 blue, 7 red again.
    const int order[] = {0, 0, 0, 0, 1, 2, 2, 0};
    for (const auto& [index, codec] : cases) {
        SCOPED_TRACE(codec + " at index " + std::to_string(index));
        const QString file = path(("enc" + std::to_string(index + 1) + ".avi").c_str());
        engine_.SetCaptureFileName(file);
        engine_.SetFrameSize(96, 64);
        engine_.SetVideoCompressor(index);
        engine_.StartFileCapture(25.0);
        for (int k : order) engine_.AddFrame(handles[k]);
        engine_.StopFileCapture();

        const auto streams = probeStreams(file);
        ASSERT_EQ(streams.size(), 1u);
        EXPECT_EQ(std::tuple(streams[0].codec, streams[0].packets, streams[0].width, streams[0].height),
                  std::tuple(codec, 8, 96, 64));
        EXPECT_NEAR(streams[0].frameRate, 25.0, 1e-6);
        const auto frames = decodeFrames(file);
        ASSERT_EQ(frames.size(), 8u);
        for (size_t f = 0; f < frames.size(); ++f)
            EXPECT_TRUE(near(frames[f].pixelColor(48, 32), colours[order[f]])) << "frame " << f;
    }
}

// Bitmaps of another size are scaled; with no frame size the lesson records
// 640 x 480 with the picture fitted; an empty handle is a black frame.
TEST_F(RecordingEngineTest, FramesAreScaledToTheFrameSizeAndEmptyBitmapsAreBlack) {
    struct Case {
        const char* name;
        int frameW, frameH;
        QSize image;
        int outW, outH;
        QPoint inside, outside;  // a pixel of the picture, a pixel of the black border (or -1)
    };
    const Case cases[] = {
        {"stretched", 80, 60, {320, 120}, 80, 60, {2, 2}, {-1, -1}},
        {"odd clip size", 97, 61, {97, 61}, 97, 61, {48, 30}, {-1, -1}},
        {"no frame size, wide picture", 0, 0, {320, 120}, 640, 480, {320, 240}, {320, 20}},
        {"no frame size, tall picture", 0, 0, {100, 400}, 640, 480, {320, 240}, {20, 240}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString file = path((std::string(c.name).substr(0, 5) + std::to_string(c.image.width()) + ".avi").c_str());
        engine_.SetCaptureFileName(file);
        engine_.SetFrameSize(c.frameW, c.frameH);
        engine_.SetVideoCompressor(-1);
        engine_.StartFileCapture(10.0);
        engine_.AddFrame(bitmap(solid(c.image.width(), c.image.height(), Qt::yellow)));
        engine_.AddFrame(0);           // no bitmap
        engine_.AddFrame(0x7ffffff0);  // not a handle
        engine_.StopFileCapture();
        const auto frames = decodeFrames(file);
        ASSERT_EQ(frames.size(), 3u);
        EXPECT_EQ(std::tuple(frames[0].size(), bool(near(frames[0].pixelColor(c.inside), Qt::yellow))),
                  std::tuple(QSize(c.outW, c.outH), true));
        if (c.outside.x() >= 0) EXPECT_TRUE(near(frames[0].pixelColor(c.outside), Qt::black));
        EXPECT_TRUE(near(frames[1].pixelColor(c.inside), Qt::black));
        EXPECT_TRUE(near(frames[2].pixelColor(c.inside), Qt::black));
    }
}

TEST_F(RecordingEngineTest, BadStartsFailWithAnErrorNamingTheFile) {
    struct Case { const char* name; QString file; double fps; int32_t number; };
    const Case cases[] = {
        {"missing folder", path("no/such/folder/x.avi"), 25, err::PathFileAccess},
        {"folder is a file", QStringLiteral("/etc/hostname/x.avi"), 25, err::PathFileAccess},
        {"no file name", QString(), 25, err::PathFileAccess},
        {"zero fps", path("zero.avi"), 0, err::InvalidCall},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        engine_.SetCaptureFileName(c.file);
        engine_.SetFrameSize(64, 48);
        try {
            engine_.StartFileCapture(c.fps);
            ADD_FAILURE() << "started";
            engine_.StopFileCapture();
        } catch (const TvnError& e) {
            EXPECT_EQ(e.number(), c.number) << e.what();
            if (!c.file.isEmpty()) EXPECT_TRUE(e.description().contains(c.file)) << e.what();
        }
        if (c.file.startsWith(dir_.path())) EXPECT_FALSE(QFile::exists(c.file));
        // The failed start leaves no capture behind.
        EXPECT_THROW(engine_.AddFrame(0), TvnError);
    }
}

// A full disk, made by a file size limit: the start fails when the header
// cannot be written; a disk that fills up later fails the stop, and either
// way the error names the file.
TEST_F(RecordingEngineTest, AFullDiskFailsWithTheFileName) {
    struct FileSizeLimit {
        explicit FileSizeLimit(rlim_t bytes) {
            previousHandler = signal(SIGXFSZ, SIG_IGN);
            getrlimit(RLIMIT_FSIZE, &previous);
            rlimit limited = previous;
            limited.rlim_cur = bytes;
            setrlimit(RLIMIT_FSIZE, &limited);
        }
        ~FileSizeLimit() {
            setrlimit(RLIMIT_FSIZE, &previous);
            signal(SIGXFSZ, previousHandler);
        }
        rlimit previous{};
        sighandler_t previousHandler;
    };
    const QString atStart = path("full-at-start.avi");
    engine_.SetCaptureFileName(atStart);
    engine_.SetFrameSize(320, 240);
    {
        FileSizeLimit limit(600);
        const auto e = errorFrom([&] { engine_.StartFileCapture(25); });
        ASSERT_TRUE(e) << "started on a full disk";
        EXPECT_EQ(e->number(), err::PathFileAccess);
        EXPECT_TRUE(e->description().contains(atStart)) << e->what();
    }
    EXPECT_FALSE(QFile::exists(atStart));

    const QString later = path("full-later.avi");
    engine_.SetCaptureFileName(later);
    QImage noise(320, 240, QImage::Format_RGB32);
    for (int y = 0; y < 240; ++y)
        for (int x = 0; x < 320; ++x) noise.setPixel(x, y, qRgb((x * 7919 + y * 104729) % 256, (x * y) % 256, (x ^ y) % 256));
    const int32_t handle = bitmap(noise);
    {
        FileSizeLimit limit(64 * 1024);
        engine_.StartFileCapture(25);
        for (int i = 0; i < 10; ++i) ignoringErrors([&] { engine_.AddFrame(i % 2 ? handle : 0); });
        const auto e = errorFrom([&] { engine_.StopFileCapture(); });
        ASSERT_TRUE(e) << "stopped cleanly on a full disk";
        EXPECT_EQ(e->number(), err::CaptureFailed);
        EXPECT_TRUE(e->description().contains(later)) << e->what();
    }
    EXPECT_THROW(engine_.AddFrame(0), TvnError);  // the capture is closed after the failed stop
}

TEST_F(RecordingEngineTest, CaptureStateRules) {
    engine_.StopFileCapture();  // nothing running: nothing to do (a lesson stopped twice)
    EXPECT_THROW(engine_.AddFrame(0), TvnError);
    engine_.SetCaptureFileName(path("state.avi"));
    engine_.SetFrameSize(64, 48);
    engine_.StartFileCapture(30.0);
    const auto e = errorFrom([&] { engine_.StartFileCapture(30.0); });
    ASSERT_TRUE(e) << "second start accepted";
    EXPECT_EQ(e->number(), err::InvalidCall);
    engine_.AddFrame(0);
    engine_.StopFileCapture();
    engine_.StopFileCapture();
    EXPECT_EQ(probeStreams(path("state.avi")).at(0).packets, 1);
}

// More distinct pictures than the encoder can take at once: the queue stays
// bounded and the file still holds one frame per call.
TEST(AviFrameWriterTest, AFullQueueStillWritesEveryFrame) {
    QTemporaryDir dir;
    AviFrameWriter::Settings s;
    s.fileName = dir.filePath("burst.avi");
    s.width = 640;
    s.height = 360;
    s.queueCapacity = 2;
    AviFrameWriter writer(s);
    std::vector<QImage> images;
    for (int i = 0; i < 8; ++i) images.push_back(solid(1280, 720, QColor::fromHsv(i * 40, 255, 255)));
    for (int i = 0; i < 120; ++i) writer.addFrame(images[i % images.size()]);
    writer.finish();
    EXPECT_EQ(writer.framesAdded(), 120);
    EXPECT_LE(writer.framesEncoded(), 120);
    EXPECT_GE(writer.framesEncoded(), 1);
    EXPECT_EQ(probeStreams(s.fileName).at(0).packets, 120);
}

TEST(EncodingProfileTest, BuiltInListAndItsEnd) {
    FfmpegRecordingEngine engine;
    const int32_t n = engine.ProfileCount();
    ASSERT_GE(n, 1);
    int found = -1;
    for (int32_t i = 0; i < n; ++i) {
        EXPECT_FALSE(engine.ProfileName(i).isEmpty());
        if (engine.ProfileName(i) == QStringLiteral("Video for broadband NTSC (1500 Kbps total)")) found = i;
    }
    EXPECT_GE(found, 0);
    EXPECT_EQ(engine.ProfileName(n), QString());
    EXPECT_THROW(engine.ProfileName(n + 1), TvnError);
    EXPECT_THROW(engine.ProfileName(-1), TvnError);
    const EncodingProfile b = EncodingProfile::builtIns()[found];
    EXPECT_EQ(std::tuple(b.channels, b.sampleRate), std::tuple(2, 44100));
    EXPECT_NEAR(b.videoBitRate, 1400000, 50000);
    EXPECT_EQ(b.videoBitRate + b.audioBitRate, 1500000);
}

TEST(EncodingProfileTest, OutputSizeFitsKeepsAspectAndIsEven) {
    const EncodingProfile p = EncodingProfile::broadband();
    struct Case {
        int w, h, outW, outH;
    } cases[] = {
        {1920, 1080, 640, 360}, {720, 576, 600, 480}, {320, 240, 320, 240}, {1000, 1000, 480, 480},
        {321, 241, 320, 240},   {4000, 100, 640, 16},  {640, 480, 640, 480},
    };
    for (const auto& c : cases) {
        int w = 0, h = 0;
        p.outputSize(c.w, c.h, w, h);
        EXPECT_EQ(w, c.outW) << c.w << "x" << c.h;
        EXPECT_EQ(h, c.outH) << c.w << "x" << c.h;
    }
}

TEST(EncodingProfileTest, CustomProfileTextIsParsedOrRejectedByLine) {
    const EncodingProfile p = EncodingProfile::parse(QStringLiteral(
        "# lesson for the web\n  Size = 320x240\nframe rate=12.5\r\nvideo bit rate = 600k\n\naudio bit rate = 64000\n"
        "channels = 1\nsample rate = 22050\n"));
    EXPECT_EQ(std::tuple(p.maxWidth, p.maxHeight), std::tuple(320, 240));
    EXPECT_DOUBLE_EQ(p.frameRate, 12.5);
    EXPECT_EQ(std::tuple(p.videoBitRate, p.audioBitRate, p.channels, p.sampleRate),
              std::tuple(600000, 64000, 1, 22050));
    EXPECT_EQ(EncodingProfile::parse(QStringLiteral("video bit rate = 2M")).videoBitRate, 2000000);

    const std::pair<const char*, const char*> bad[] = {
        {"size 320x240", "line 1"},          {"size = 320 by 240", "line 1"}, {"\nchannels = 3", "line 2"},
        {"sample rate = 100", "line 1"},     {"colour = red", "unknown key"}, {"video bit rate = fast", "line 1"},
        {"frame rate = -1", "frame rate"},   {"size = 8x8", "size"},
    };
    FfmpegRecordingEngine engine;
    for (const auto& [text, mention] : bad) {
        const auto e = errorFrom([&] { engine.SetCustomProfile(QString::fromUtf8(text)); });
        ASSERT_TRUE(e) << "accepted: " << text;
        EXPECT_EQ(e->number(), err::ProfileInvalid) << text;
        EXPECT_TRUE(e->description().contains(QLatin1String(mention))) << e->what();
    }
    engine.SetCustomProfile(QString());  // an empty profile file: no custom profile
}


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
        for (QColor c : colours) handles.push_back(BitmapTable::instance().add(solid(320, 240, c)));
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

    struct Result { std::vector<int> progress; int done = 0; QString error; };
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
        EXPECT_TRUE(waitFor([&] { return r.done > 0; }, 60000)) << "no completion";
        waitFor([] { return false; }, 50);  // a second completion would arrive here
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
        EXPECT_EQ(std::tuple(r.progress.front(), r.progress.back()), std::tuple(0, 100));
        EXPECT_TRUE(std::is_sorted(r.progress.begin(), r.progress.end()));
        EXPECT_EQ(std::adjacent_find(r.progress.begin(), r.progress.end()), r.progress.end());

        const auto streams = probeStreams(out);
        const StreamSummary* v = findStream(streams, AVMEDIA_TYPE_VIDEO);
        const StreamSummary* a = findStream(streams, AVMEDIA_TYPE_AUDIO);
        ASSERT_TRUE(v && a);
        EXPECT_EQ(std::tuple(v->codec, a->codec, v->width, v->height, a->channels, a->sampleRate),
                  std::tuple(c.video, c.audio, 320, 240, 2, 44100));
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
    const QByteArray bytes = testclips::readFile(path("lesson.mp4"));
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
        EXPECT_EQ(std::tuple(v->width, v->height), std::tuple(c.width, c.height));
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
    const QString corrupt = testclips::writeFile(path("corrupt.avi"), QByteArray(4096, 'x'));
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
        ASSERT_TRUE(waitFor([&] { return done > 0; }, 30000));
        waitFor([] { return false; }, 50);
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
    ASSERT_TRUE(waitFor([&] { return done > 0; }, 60000));
    EXPECT_TRUE(QFile::exists(path("first.wmv")));
    EXPECT_FALSE(QFile::exists(path("second.wmv")));
}

}  // namespace
