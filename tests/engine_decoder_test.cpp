// Frame accuracy of the decoding pipeline on clips of every supported format,
// made at test time; frame n shows the number n (fakes/TestClips.h).

#include "core/TvnError.h"
#include "fakes/TestClips.h"
#include "media/ffmpeg/ClipDecoder.h"

#include <QProcess>
#include <QTransform>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <map>
#include <random>

using namespace tvn;
using namespace tvn::testclips;

namespace {

const ClipOptions kOptions{};  // 150 frames, 30 fps, 320x240, keyframe every 60

QString clipFor(ClipFormat f) {
    static std::map<ClipFormat, QString> made;
    auto it = made.find(f);
    if (it == made.end()) it = made.emplace(f, makeClip(testFolder().path(), f, kOptions)).first;
    return it->second;
}

class DecoderFormats : public ::testing::TestWithParam<ClipFormat> {};

std::string paramName(const ::testing::TestParamInfo<ClipFormat>& info) {
    return formatName(info.param).replace('-', '_').toStdString();
}

// Seeking to a time inside frame n's interval must show n, wherever the decoder stood.
void expectSeekShows(ClipDecoder& d, ClipFormat f, double ms, int n) {
    const VideoFrame v = d.seek(ms);
    ASSERT_FALSE(v.isNull());
    EXPECT_EQ(frameNumber(v.image), n) << "seek to " << ms << " ms";
    EXPECT_NEAR(v.positionMs, frameStartMs(f, kOptions, n), 0.5) << "seek to " << ms << " ms";
}

}  // namespace

TEST_P(DecoderFormats, OpensWithTrueCountsAndFirstFrame) {
    const ClipFormat f = GetParam();
    ClipDecoder d;
    d.open(clipFor(f));
    const ClipInfo& info = d.info();
    EXPECT_EQ(info.width, 320);
    EXPECT_EQ(info.height, 240);
    EXPECT_EQ(info.frameCount, kOptions.frames);
    // A variable-rate clip's last frame lasts what the encoder gave it, one frame at the first rate.
    const double lastFrameMs = f == ClipFormat::H264VfrMp4 ? 1000.0 / kOptions.fps
                                                           : frameStartMs(f, kOptions, kOptions.frames) -
                                                                 frameStartMs(f, kOptions, kOptions.frames - 1);
    EXPECT_NEAR(info.durationMs, frameStartMs(f, kOptions, kOptions.frames - 1) + lastFrameMs, 1.0);
    const VideoFrame first = d.current();
    EXPECT_EQ(first.positionMs, 0.0);
    EXPECT_EQ(frameNumber(first.image), 0);
    EXPECT_EQ(first.image.format(), QImage::Format_RGB32);
}

TEST_P(DecoderFormats, RandomSeeksShowTheFrameAsked) {
    const ClipFormat f = GetParam();
    ClipDecoder d;
    d.open(clipFor(f));
    std::mt19937 rng(1234);
    std::uniform_int_distribution<int> frame(0, kOptions.frames - 1);
    for (int i = 0; i < 25; ++i) {
        const int n = frame(rng);
        const double start = frameStartMs(f, kOptions, n);
        const double end = frameStartMs(f, kOptions, n + 1);
        // The control seeks 1 ms into a frame; the last moment of the interval must show it too.
        expectSeekShows(d, f, start + 1.0, n);
        expectSeekShows(d, f, end - 0.5, n);
    }
}

TEST_P(DecoderFormats, StepsForwardWithoutSeekingAndBackFromTheCache) {
    const ClipFormat f = GetParam();
    ClipDecoder d;
    d.open(clipFor(f));
    expectSeekShows(d, f, frameStartMs(f, kOptions, 40) + 1.0, 40);
    const int64_t seeks = d.stats().demuxSeeks;
    for (int n = 41; n <= 70; ++n) ASSERT_EQ(frameNumber(d.stepForward().image), n) << "step forward to " << n;
    EXPECT_EQ(d.stats().demuxSeeks, seeks) << "stepping forward must decode on, not seek";
    for (int n = 69; n >= 40; --n) ASSERT_EQ(frameNumber(d.stepBackward().image), n) << "step back to " << n;
    EXPECT_EQ(d.stats().demuxSeeks, seeks) << "stepping back over decoded frames must come from the cache";
    // Stepping back past what was decoded seeks once and goes on from the cache.
    for (int n = 39; n >= 10; --n) ASSERT_EQ(frameNumber(d.stepBackward().image), n) << "step back to " << n;
}

TEST_P(DecoderFormats, SeeksAcrossKeyframeBoundaries) {
    const ClipFormat f = GetParam();
    ClipDecoder d;
    d.open(clipFor(f));
    const int k = kOptions.keyInterval;
    // Alternate far jumps so each seek starts from somewhere else.
    for (int n : {k - 1, k, k + 1, 2 * k - 1, 2 * k, 0, 1, kOptions.frames - 1, k + 1, k - 1}) {
        expectSeekShows(d, f, frameStartMs(f, kOptions, n) + 1.0, n);
        expectSeekShows(d, f, frameStartMs(f, kOptions, (n + 75) % kOptions.frames) + 1.0,
                        (n + 75) % kOptions.frames);
    }
}

TEST_P(DecoderFormats, ClampsBeforeStartAndPastEnd) {
    const ClipFormat f = GetParam();
    ClipDecoder d;
    d.open(clipFor(f));
    const int last = kOptions.frames - 1;
    expectSeekShows(d, f, 1e9, last);
    EXPECT_TRUE(d.atLastFrame());
    EXPECT_EQ(frameNumber(d.stepForward().image), last);
    expectSeekShows(d, f, -50, 0);
    EXPECT_EQ(frameNumber(d.stepBackward().image), 0);
    expectSeekShows(d, f, frameStartMs(f, kOptions, kOptions.frames) + 5000, last);
}

INSTANTIATE_TEST_SUITE_P(AllFormats, DecoderFormats, ::testing::ValuesIn(allClipFormats()), paramName);

TEST(ClipDecoder, SmallCacheBudgetStillShowsExactFrames) {
    ClipDecoder d;
    d.setCacheBudget(1);  // keeps only the frames it cannot do without
    d.open(clipFor(ClipFormat::H264Mp4));
    for (int n = 1; n <= 10; ++n) ASSERT_EQ(frameNumber(d.stepForward().image), n);
    for (int n = 9; n >= 0; --n) ASSERT_EQ(frameNumber(d.stepBackward().image), n);
    EXPECT_LE(d.stats().cachedFrames, 2);
    expectSeekShows(d, ClipFormat::H264Mp4, frameStartMs(ClipFormat::H264Mp4, kOptions, 100) + 1, 100);
}

TEST(ClipDecoder, DeinterlacingRemovesCombingAndKeepsFramesExact) {
    // Interlaced MPEG-2 whose two fields differ: even lines dark, odd lines light.
    const QString path = testFolder().filePath("combed.ts");
    ASSERT_EQ(QProcess::execute("ffmpeg", {"-v", "error", "-y", "-f", "lavfi", "-i", "color=c=black:s=320x240:r=25",
                                           "-vf", "format=yuv420p,geq=lum='if(mod(Y\\,2)\\,200\\,50)':cb=128:cr=128",
                                           "-frames:v", "5", "-c:v", "mpeg2video", "-flags", "+ilme+ildct", "-q:v",
                                           "2", path}),
              0);
    auto combing = [](const QImage& img) {  // mean difference between neighbouring lines
        double sum = 0;
        for (int y = 100; y < 140; ++y) sum += std::abs(qGray(img.pixel(160, y)) - qGray(img.pixel(160, y + 1)));
        return sum / 40;
    };
    ClipDecoder d;
    d.open(path);
    EXPECT_GT(combing(d.seek(81).image), 100);
    d.setDeinterlace(true);
    EXPECT_LT(combing(d.current().image), 20);
    EXPECT_LT(combing(d.seek(121).image), 20);

    ClipDecoder coded;
    coded.setDeinterlace(true);
    coded.open(clipFor(ClipFormat::H264Mp4));
    for (int n : {17, 16, 90}) EXPECT_EQ(frameNumber(coded.seek(frameStartMs(ClipFormat::H264Mp4, kOptions, n) + 1).image), n);
}

TEST(ClipDecoder, PortraitPhoneFootageIsTurnedUpright) {
    ClipOptions o;
    o.frames = 40;
    o.width = 320;
    o.height = 240;
    o.keyInterval = 20;
    for (int degrees : {90, 180, 270}) {
        const QString path = makeClip(testFolder().path(), ClipFormat::H264Mp4, o, QStringLiteral("turned-%1").arg(degrees));
        setDisplayRotation(path, degrees);
        ClipDecoder d;
        d.open(path);
        const bool sideways = degrees != 180;
        EXPECT_EQ(d.info().width, sideways ? 240 : 320) << degrees;
        EXPECT_EQ(d.info().height, sideways ? 320 : 240) << degrees;
        // Turned back by hand, every picture reads as its frame again, seeking and stepping.
        auto upright = [&](const VideoFrame& f) { return frameNumber(f.image.transformed(QTransform().rotate(-degrees))); };
        EXPECT_EQ(upright(d.current()), 0) << degrees;
        EXPECT_EQ(upright(d.seek(frameStartMs(ClipFormat::H264Mp4, o, 25) + 1)), 25) << degrees;
        EXPECT_EQ(upright(d.stepForward()), 26) << degrees;
        EXPECT_EQ(upright(d.stepBackward()), 25) << degrees;
        EXPECT_EQ(d.current().image.size(), QSize(d.info().width, d.info().height)) << degrees;
    }
}

TEST(ClipDecoder, ColoursComeOutAsEncodedWhateverRangeAndMatrixTheClipStates) {
    // Phones write full-range and BT.709 footage; MJPEG is full range by definition.
    const QColor want(200, 50, 40);
    const std::vector<std::pair<const char*, QStringList>> encodings = {
        {"bt601-tv.mp4", {"-vf", "scale=out_color_matrix=bt601:out_range=tv,format=yuv420p", "-c:v", "libx264"}},
        {"bt709-tv.mp4",
         {"-vf", "scale=out_color_matrix=bt709:out_range=tv,format=yuv420p", "-colorspace", "bt709", "-c:v",
          "libx264"}},
        {"bt709-pc.mp4",
         {"-vf", "scale=out_color_matrix=bt709:out_range=pc,format=yuv420p", "-colorspace", "bt709", "-color_range",
          "pc", "-c:v", "libx264"}},
        {"mjpeg.avi", {"-vf", "scale=out_range=pc,format=yuvj420p", "-c:v", "mjpeg", "-q:v", "2"}},
    };
    for (const auto& [name, args] : encodings) {
        const QString path = testFolder().filePath(name);
        ASSERT_EQ(QProcess::execute("ffmpeg", QStringList{"-v", "error", "-y", "-f", "lavfi", "-i",
                                                          "color=c=0xC83228:s=320x240:r=25", "-frames:v", "3"} +
                                                  args + QStringList{path}),
                  0)
            << name;
        ClipDecoder d;
        d.open(path);
        const QColor got = d.current().image.pixelColor(160, 120);
        EXPECT_NEAR(got.red(), want.red(), 6) << name;
        EXPECT_NEAR(got.green(), want.green(), 6) << name;
        EXPECT_NEAR(got.blue(), want.blue(), 6) << name;
    }
}
