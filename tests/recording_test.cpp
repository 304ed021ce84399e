// The recording engine: lesson AVI files written as a lesson drives it,
// encoding profiles, and compression of a lesson into one WMV or MP4 on a
// worker; files read back with libavformat.

#include "fakes/ErrorFrom.h"
#include "fakes/EventLoopWait.h"
#include "fakes/MediaFiles.h"
#include "fakes/TestClips.h"
#include "media/ffmpeg/AviFrameWriter.h"
#include "media/ffmpeg/EncodingProfile.h"
#include "media/ffmpeg/FfmpegRecordingEngine.h"
#include "media/ffmpeg/LessonConverter.h"

#include <QProcess>
#include <QTemporaryDir>
#include <atomic>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>

using namespace tvn;
using namespace tvn::testing;
using tvn::testclips::solid;

namespace {

class RecordingEngineTest : public ::testing::Test {
protected:
    void TearDown() override {
        for (int32_t h : handles_) BitmapTable::instance().release(h);
    }
    int32_t bitmap(const QImage& image) { return handles_.emplace_back(BitmapTable::instance().add(image)); }
    // Starts a capture into a file of the test's folder and returns its path.
    QString start(const QString& name, int width, int height, int32_t compressor = -1, double fps = 25) {
        const QString file = dir_.filePath(name);
        engine_.SetCaptureFileName(file);
        engine_.SetFrameSize(width, height);
        engine_.SetVideoCompressor(compressor);
        engine_.StartFileCapture(fps);
        return file;
    }

    QTemporaryDir dir_;
    FfmpegRecordingEngine engine_;
    std::vector<int32_t> handles_;
};

// Every encoder the list offers, and -1 (the default): the file holds one frame
// per AddFrame, repeated handles included, and the frames show the bitmaps. No
// encoder is named "DV V...", so a lesson keeps the default.
TEST_F(RecordingEngineTest, EveryOfferedEncoderWritesOneFramePerAddFrame) {
    const int32_t count = engine_.VideoCompressorCount();
    ASSERT_TRUE(count >= 1 && count <= 4) << count;
    const char* codecs[] = {"mjpeg", "mjpeg", "mpeg4", "ffv1", "huffyuv"};  // for -1, 0, 1, ...
    for (int32_t bad : {-1, count})
        EXPECT_EQ(errorFrom([&] { engine_.VideoCompressorName(bad); }).value_or(TvnError(0, "", "")).number(),
                  err::SubscriptOutOfRange);
    const QColor colours[] = {Qt::red, Qt::green, Qt::blue};
    const int32_t handles[] = {bitmap(solid(96, 64, colours[0])), bitmap(solid(96, 64, colours[1])),
                               bitmap(solid(96, 64, colours[2]))};
    const int order[] = {0, 0, 0, 0, 1, 2, 2, 0};  // red (three catch-up copies), green, blue twice, red again
    for (int32_t index = -1; index < count; ++index) {
        SCOPED_TRACE(index);
        if (index >= 0) EXPECT_NE(engine_.VideoCompressorName(index).left(4).toLower(), "dv v");
        const QString file = start(QString("enc%1.avi").arg(index + 1), 96, 64, index);
        for (int k : order) engine_.AddFrame(handles[k]);
        engine_.StopFileCapture();
        const auto streams = probeStreams(file);
        ASSERT_EQ(streams.size(), 1u);
        EXPECT_EQ(std::tuple(streams[0].codec, streams[0].packets, streams[0].width, streams[0].height),
                  std::tuple(codecs[index + 1], 8, 96, 64));
        EXPECT_NEAR(streams[0].frameRate, 25.0, 1e-6);
        const auto frames = decodeFrames(file);
        ASSERT_EQ(frames.size(), 8u);
        for (size_t f = 0; f < frames.size(); ++f)
            EXPECT_TRUE(near(frames[f].pixelColor(48, 32), colours[order[f]])) << "frame " << f;
    }
}

// Bitmaps of another size are scaled; with no frame size the lesson records
// 640 x 480 with the picture fitted between black bars; no bitmap, or a number
// that is no handle, is a black frame.
TEST_F(RecordingEngineTest, FramesAreScaledToTheFrameSizeAndEmptyBitmapsAreBlack) {
    struct Case { int frameW, frameH; QSize image, out; QPoint inside, bar; };
    const Case cases[] = {
        {80, 60, {320, 120}, {80, 60}, {2, 2}, {-1, -1}},       // stretched
        {97, 61, {97, 61}, {97, 61}, {48, 30}, {-1, -1}},       // an odd clip size
        {0, 0, {320, 120}, {640, 480}, {320, 240}, {320, 20}},  // wide picture, no frame size
        {0, 0, {100, 400}, {640, 480}, {320, 240}, {20, 240}},  // tall picture, no frame size
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.image.width());
        const QString file = start(QString("scaled%1.avi").arg(c.image.width()), c.frameW, c.frameH, -1, 10);
        engine_.AddFrame(bitmap(solid(c.image.width(), c.image.height(), Qt::yellow)));
        engine_.AddFrame(0);
        engine_.AddFrame(0x7ffffff0);
        engine_.StopFileCapture();
        const auto frames = decodeFrames(file);
        ASSERT_EQ(frames.size(), 3u);
        EXPECT_EQ(frames[0].size(), c.out);
        EXPECT_TRUE(near(frames[0].pixelColor(c.inside), Qt::yellow));
        if (c.bar.x() >= 0) EXPECT_TRUE(near(frames[0].pixelColor(c.bar), Qt::black));
        EXPECT_TRUE(near(frames[1].pixelColor(c.inside), Qt::black) && near(frames[2].pixelColor(c.inside), Qt::black));
    }
}

// Lets this process write at most bytes into a file, as a full disk would;
// with SIGXFSZ ignored the write fails instead of ending the process.
void limitFileSize(rlim_t bytes) {
    signal(SIGXFSZ, SIG_IGN);
    rlimit r{};
    getrlimit(RLIMIT_FSIZE, &r);
    r.rlim_cur = std::min(bytes, r.rlim_max);
    setrlimit(RLIMIT_FSIZE, &r);
}

// A bad name, 0 fps or a disk full before the header is written fail the
// start, leaving no file; a disk that fills up later fails the stop. The error
// names the file and no capture is left open.
TEST_F(RecordingEngineTest, BadStartsAndAFullDiskFailNamingTheFile) {
    QImage noise(320, 240, QImage::Format_RGB32);  // encodes big: a few frames fill 64 KiB
    for (int y = 0; y < 240; ++y)
        for (int x = 0; x < 320; ++x) noise.setPixel(x, y, qRgb((x * 7919 + y * 104729) % 256, (x * y) % 256, (x ^ y) % 256));
    const int32_t handle = bitmap(noise);
    struct Case { QString file; double fps; rlim_t limit; int32_t number; };
    const Case cases[] = {
        {dir_.filePath("no/such/folder/x.avi"), 25, RLIM_INFINITY, err::PathFileAccess},
        {QStringLiteral("/etc/hostname/x.avi"), 25, RLIM_INFINITY, err::PathFileAccess},  // the folder is a file
        {QString(), 25, RLIM_INFINITY, err::PathFileAccess},
        {dir_.filePath("zero.avi"), 0, RLIM_INFINITY, err::InvalidCall},
        {dir_.filePath("full-at-start.avi"), 25, 600, err::PathFileAccess},
        {dir_.filePath("full-later.avi"), 25, 65536, err::CaptureFailed},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file.toStdString());
        engine_.SetCaptureFileName(c.file);
        engine_.SetFrameSize(320, 240);
        limitFileSize(c.limit);
        const auto e = errorFrom([&] {
            engine_.StartFileCapture(c.fps);
            for (int i = 0; i < 10; ++i) ignoringErrors([&] { engine_.AddFrame(i % 2 ? handle : 0); });
            engine_.StopFileCapture();
        });
        limitFileSize(RLIM_INFINITY);
        ASSERT_TRUE(e) << "no failure";
        EXPECT_EQ(e->number(), c.number) << e->what();
        EXPECT_TRUE(e->description().contains(c.file)) << e->what();
        if (c.number != err::CaptureFailed && c.file.startsWith(dir_.path())) EXPECT_FALSE(QFile::exists(c.file));
        EXPECT_THROW(engine_.AddFrame(0), TvnError);
    }
    // A stop with nothing running, and a second stop, do nothing (a lesson
    // stopped twice); a second start while capturing fails.
    engine_.StopFileCapture();
    const QString file = start("state.avi", 64, 48);
    EXPECT_EQ(errorFrom([&] { engine_.StartFileCapture(30.0); }).value_or(TvnError(0, "", "")).number(),
              err::InvalidCall);
    engine_.AddFrame(0);
    engine_.StopFileCapture();
    engine_.StopFileCapture();
    EXPECT_EQ(probeStreams(file).at(0).packets, 1);
}

// More distinct pictures than the encoder takes at once: the queue stays
// bounded and the file still holds one frame per call.
// Settings for a lesson video of w x h in dir.
AviFrameWriter::Settings aviSettings(const QTemporaryDir& dir, const char* name, int w, int h) {
    AviFrameWriter::Settings s;
    s.fileName = dir.filePath(name);
    s.width = w;
    s.height = h;
    return s;
}

TEST(AviFrameWriterTest, AFullQueueStillWritesEveryFrame) {
    QTemporaryDir dir;
    AviFrameWriter::Settings s = aviSettings(dir, "burst.avi", 640, 360);
    s.queueCapacity = 2;
    AviFrameWriter writer(s);
    std::vector<QImage> images;
    for (int i = 0; i < 8; ++i) images.push_back(solid(1280, 720, QColor::fromHsv(i * 40, 255, 255)));
    for (int i = 0; i < 120; ++i) writer.addFrame(images[i % images.size()]);
    writer.finish();
    EXPECT_EQ(probeStreams(s.fileName).at(0).packets, 120);
}

// The frame count the file's header states (written with its index at the end).
int64_t headerFrameCount(const QString& path) {
    AVFormatContext* fmt = nullptr;
    if (avformat_open_input(&fmt, path.toUtf8().constData(), nullptr, nullptr) < 0) return -1;
    const int64_t n = fmt->nb_streams ? fmt->streams[0]->nb_frames : -1;
    avformat_close_input(&fmt);
    return n;
}

// The disk fills up during a lesson: the video ends while there is still room
// for its index, so the file is whole up to its last frame, and the end says why.
TEST(AviFrameWriterTest, AFullDiskEndsTheVideoWithItsIndexWritten) {
    QTemporaryDir dir;
    AviFrameWriter::Settings s = aviSettings(dir, "full.avi", 64, 48);
    std::atomic<int> asked{0};  // once per packet: room for five
    s.freeBytes = [&] { return ++asked <= 5 ? int64_t(1) << 40 : AviFrameWriter::kReserveBytes; };
    AviFrameWriter writer(s);
    for (int i = 0; i < 10; ++i) ignoringErrors([&] { writer.addFrame(solid(64, 48, QColor::fromHsv(i * 30, 255, 255))); });
    const auto e = errorFrom([&] { writer.finish(); });
    ASSERT_TRUE(e) << "the lesson was cut short in silence";
    EXPECT_EQ(e->number(), err::CaptureFailed);
    EXPECT_TRUE(e->description().contains("No space left on device") && e->description().contains(s.fileName)) << e->what();
    EXPECT_EQ(std::tuple(probeStreams(s.fileName).at(0).packets, headerFrameCount(s.fileName)), std::tuple(5, 5));
}

TEST(EncodingProfileTest, BuiltInListAndItsEnd) {
    FfmpegRecordingEngine engine;
    const int32_t n = engine.ProfileCount();
    int found = -1;
    for (int32_t i = 0; i < n; ++i) {
        EXPECT_FALSE(engine.ProfileName(i).isEmpty());
        if (engine.ProfileName(i) == QStringLiteral("Video for broadband NTSC (1500 Kbps total)")) found = i;
    }
    ASSERT_GE(found, 0);
    EXPECT_EQ(engine.ProfileName(n), QString());  // the count itself answers empty, as hosts loop up to it
    EXPECT_THROW(engine.ProfileName(n + 1), TvnError);
    EXPECT_THROW(engine.ProfileName(-1), TvnError);
    const EncodingProfile b = EncodingProfile::builtIns()[found];
    EXPECT_EQ(std::tuple(b.channels, b.sampleRate, b.videoBitRate + b.audioBitRate), std::tuple(2, 44100, 1500000));
    EXPECT_NEAR(b.videoBitRate, 1400000, 50000);
}

TEST(EncodingProfileTest, OutputSizeFitsKeepsAspectAndIsEven) {
    const EncodingProfile p = EncodingProfile::broadband();
    struct Case { int w, h, outW, outH; };
    for (const Case c : {Case{1920, 1080, 640, 360}, {720, 576, 600, 480}, {320, 240, 320, 240}, {1000, 1000, 480, 480},
                         {321, 241, 320, 240}, {4000, 100, 640, 16}, {640, 480, 640, 480}}) {
        int w = 0, h = 0;
        p.outputSize(c.w, c.h, w, h);
        EXPECT_EQ(std::pair(w, h), std::pair(c.outW, c.outH)) << c.w << "x" << c.h;
    }
}

TEST(EncodingProfileTest, CustomProfileTextIsParsedOrRejectedByLine) {
    const EncodingProfile p = EncodingProfile::parse(QStringLiteral(
        "# lesson for the web\n  Size = 320x240\nframe rate=12.5\r\nvideo bit rate = 600k\n\naudio bit rate = 64000\n"
        "channels = 1\nsample rate = 22050\n"));
    EXPECT_EQ(std::tuple(p.maxWidth, p.maxHeight, p.frameRate), std::tuple(320, 240, 12.5));
    EXPECT_EQ(std::tuple(p.videoBitRate, p.audioBitRate, p.channels, p.sampleRate),
              std::tuple(600000, 64000, 1, 22050));
    EXPECT_EQ(EncodingProfile::parse(QStringLiteral("video bit rate = 2M")).videoBitRate, 2000000);

    const std::pair<const char*, const char*> bad[] = {
        {"size 320x240", "line 1"},          {"size = 320 by 240", "line 1"}, {"\nchannels = 3", "line 2"},
        {"sample rate = 100", "line 1"},     {"colour = red", "unknown key"}, {"video bit rate = fast", "line 1"},
        {"frame rate = -1", "frame rate"},   {"size = 8x8", "size"},
        {"frame rate = 0.001", "frame rate"},  // no encoder takes it: refused here, not later
    };
    FfmpegRecordingEngine engine;
    for (const auto& [text, mention] : bad) {
        const auto e = errorFrom([&] { engine.SetCustomProfile(QString::fromUtf8(text)); });
        ASSERT_TRUE(e) << "accepted: " << text;
        EXPECT_EQ(e->number(), err::ProfileInvalid) << text;
        EXPECT_TRUE(e->description().contains(QLatin1String(mention))) << e->what();
    }
    // A file that is no profile: its line is named, not echoed whole.
    const auto e = errorFrom([&] { engine.SetCustomProfile(QString(100000, 'x')); });
    ASSERT_TRUE(e) << "accepted 100 KB of nothing";
    EXPECT_LT(e->description().size(), 300) << e->description().size();
    engine.SetCustomProfile(QString());  // an empty profile file: no custom profile
}

constexpr int kFps = 25;

// A three-second lesson as the recording engine writes it, 320 x 240, red,
// then green, then blue for a second each, and its sound, 2 channels at
// 44.1 kHz: a 1 kHz tone while the picture is green, silence around it.
class RecordingConvertTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = new QTemporaryDir;
        avi_ = dir_->filePath("lesson.avi");
        FfmpegRecordingEngine engine;
        engine.SetCaptureFileName(avi_);
        engine.SetFrameSize(320, 240);
        engine.StartFileCapture(kFps);
        std::vector<int32_t> handles;
        for (QColor c : {Qt::red, Qt::green, Qt::blue})
            handles.push_back(BitmapTable::instance().add(solid(320, 240, c)));
        for (int f = 0; f < 3 * kFps; ++f) engine.AddFrame(handles[f / kFps]);
        engine.StopFileCapture();
        for (int32_t h : handles) BitmapTable::instance().release(h);
        ASSERT_EQ(QProcess::execute("ffmpeg", {"-v", "error", "-f", "lavfi", "-i",
                                               "aevalsrc=0.5*sin(2*PI*1000*t)*between(t\\,1\\,1.99999):s=44100:d=3",
                                               "-ac", "2", "-ar", "44100", avi_ + ".wav"}),
                  0);
    }
    static void TearDownTestSuite() { delete dir_; }

    struct Result { std::vector<int> progress; int done = 0; QString error; };
    // Converts and waits (bounded) for the completion notice, then a little
    // longer for a second one, which must not come.
    static Result convert(const QString& video, const QString& output, const QString& audio, double from = 0,
                          double to = 1e6, const QString& customProfile = {}) {
        FfmpegRecordingEngine engine;
        Result r;
        QObject::connect(&engine, &VideoEngine::CompressionProgress,
                         [&](int32_t p, int32_t) { r.progress.push_back(p); });
        QObject::connect(&engine, &VideoEngine::CompressionDone, [&] { ++r.done; });
        engine.SetProfile(customProfile.isEmpty() ? 2 : -1);
        engine.SetCustomProfile(customProfile);
        engine.ConvertToWmv(video, audio, output, from, to);
        EXPECT_TRUE(waitFor([&] { return r.done > 0; }, 60000)) << "no completion";
        runFor(50);
        r.error = engine.ConversionError();
        return r;
    }
    static QString path(const char* name) { return dir_->filePath(QLatin1String(name)); }

    static QTemporaryDir* dir_;
    static QString avi_;
};

QTemporaryDir* RecordingConvertTest::dir_ = nullptr;
QString RecordingConvertTest::avi_;

// Each output decodes without an error, with the picture of the right second
// at a chosen frame and no temporary file left beside it; played back, its
// tone starts with the green picture (the streams' starts, the encoders'
// delays, a span and a change of frame rate keep the sound in place).
TEST_F(RecordingConvertTest, LessonBecomesOneFileWithBothStreams) {
    struct Case {
        const char *output, *audioFile;
        double from, to;
        QString profile;
        std::string video, audio;  // audio "": no sound stream
        int width, height, channels, sampleRate, fps, greenFrame;
        double seconds;
    };
    const Case cases[] = {
        {"lesson.wmv", "lesson.avi.wav", 0, 1e6, {}, "wmv2", "wmav2", 320, 240, 2, 44100, 25, 30, 3},
        {"lesson.mp4", "lesson.avi.wav", 0, 1e6, {}, "h264", "aac", 320, 240, 2, 44100, 25, 30, 3},
        {"span.wmv", "lesson.avi.wav", 0.6, 2.6, {}, "wmv2", "wmav2", 320, 240, 2, 44100, 25, 20, 2},  // green from 0.4 s
        {"custom.wmv", "lesson.avi.wav", 0, 1e6, "size = 160x160\nframe rate = 10\nchannels = 1\nsample rate = 22050",
         "wmv2", "wmav2", 160, 120, 1, 22050, 10, 12, 3},
        {"mute.wmv", "missing.wav", 0, 1e6, {}, "wmv2", "", 320, 240, 0, 0, 25, 30, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.output);
        const QString out = path(c.output);
        const Result r = convert(avi_, out, path(c.audioFile), c.from, c.to, c.profile);
        EXPECT_EQ(std::tuple(r.done, r.error), std::tuple(1, QString()));
        ASSERT_FALSE(r.progress.empty());
        EXPECT_EQ(std::tuple(r.progress.front(), r.progress.back()), std::tuple(0, 100));
        EXPECT_TRUE(std::is_sorted(r.progress.begin(), r.progress.end()));
        EXPECT_EQ(std::adjacent_find(r.progress.begin(), r.progress.end()), r.progress.end());

        const auto streams = probeStreams(out);
        const StreamSummary* v = findStream(streams, AVMEDIA_TYPE_VIDEO);
        const StreamSummary* a = findStream(streams, AVMEDIA_TYPE_AUDIO);
        ASSERT_TRUE(v);
        EXPECT_EQ(std::tuple(v->codec, v->width, v->height), std::tuple(c.video, c.width, c.height));
        EXPECT_NEAR(v->packets, c.seconds * c.fps, 1);
        EXPECT_NEAR(v->seconds, c.seconds, 0.1);
        EXPECT_EQ(a ? std::tuple(a->codec, a->channels, a->sampleRate) : std::tuple(std::string(), 0, 0),
                  std::tuple(c.audio, c.channels, c.sampleRate));
        if (a) EXPECT_NEAR(a->seconds, c.seconds, 0.1);
        QProcess check;
        check.start(QStringLiteral("ffmpeg"), {"-v", "error", "-i", out, "-f", "null", "-"});
        EXPECT_TRUE(check.waitForFinished(60000) && check.exitCode() == 0);
        EXPECT_EQ(QString::fromUtf8(check.readAllStandardError()), QString());
        const auto frames = decodeFrames(out, c.greenFrame + 1);
        ASSERT_EQ(frames.size(), size_t(c.greenFrame + 1));
        EXPECT_TRUE(near(frames.back().pixelColor(80, 60), Qt::green, 40));
        EXPECT_FALSE(QFile::exists(LessonConverter::temporaryName(out)));
        if (!a) continue;
        const TimedMedia played = decodeTimed(out);
        const std::vector<double> onsets = soundOnsets(played);
        ASSERT_EQ(onsets.size(), 1u);
        // Luma tells the three colours apart: red about 76, green 150, blue 29.
        const auto firstGreen = std::find_if(played.frames.begin(), played.frames.end(), [](const QImage& f) {
            return std::abs(qGray(f.pixel(80, 60)) - 150) < 30;
        });
        ASSERT_NE(firstGreen, played.frames.end());
        const double green = played.frameSeconds[firstGreen - played.frames.begin()];
        // Within 3 ms: ASF keeps times in whole milliseconds, a lossy codec smears an onset.
        EXPECT_NEAR(onsets[0], green, 0.003) << "the tone starts " << (green - onsets[0]) * 1000 << " ms before the green picture";
    }
    // Fast start: the MP4 index comes before the media data.
    const QByteArray bytes = testclips::readFile(path("lesson.mp4"));
    EXPECT_LT(bytes.indexOf("moov"), bytes.indexOf("mdat"));
}

TEST_F(RecordingConvertTest, FailuresCompleteOnceAndLeaveNoFile) {
    const QString corrupt = testclips::writeFile(path("corrupt.avi"), QByteArray(4096, 'x'));
    const std::tuple<QString, QString, QString> cases[] = {  // lesson, output, what the error names
        {path("nothing.avi"), path("a.wmv"), path("nothing.avi")},
        {corrupt, path("b.wmv"), corrupt},
        {avi_, path("no/such/dir/c.wmv"), path("no/such/dir/")},
    };
    for (const auto& [video, output, mention] : cases) {
        SCOPED_TRACE(mention.toStdString());
        const Result r = convert(video, output, video + ".wav");
        EXPECT_EQ(r.done, 1);
        EXPECT_TRUE(r.error.contains(mention)) << r.error.toStdString();
        EXPECT_FALSE(QFile::exists(output));
        EXPECT_FALSE(QFile::exists(LessonConverter::temporaryName(output)));
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
