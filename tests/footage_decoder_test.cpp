// Real footage: a jump far into a clip costs one keyframe interval in every
// container, frame counts are exact without reading the clip, and a clip cut
// short opens with the frames really in it.

#include "fakes/TestClips.h"
#include "media/ffmpeg/ClipDecoder.h"

#include <QFile>
#include <gtest/gtest.h>

using namespace tvn;
using namespace tvn::testclips;

namespace {

const ClipOptions kLong{.frames = 600, .fps = 30, .width = 160, .height = 120, .keyInterval = 60};

class FootageFormats : public ::testing::TestWithParam<ClipFormat> {};

}  // namespace

TEST_P(FootageFormats, CountsExactlyAndJumpsFarForOneKeyframeInterval) {
    ClipDecoder d;
    d.open(makeClip(testFolder().path(), GetParam(), kLong));
    EXPECT_EQ(d.info().frameCount, kLong.frames);
    EXPECT_NEAR(d.info().durationMs, frameStartMs(GetParam(), kLong, kLong.frames), 1.0);
    const int n = kLong.frames - kLong.keyInterval / 2 - 1;
    const auto before = d.stats();
    const VideoFrame v = d.seek(frameStartMs(GetParam(), kLong, n) + 1.0);
    EXPECT_EQ(frameNumber(v.image), n);
    EXPECT_LE(d.stats().framesDecoded - before.framesDecoded, 2 * kLong.keyInterval);
}

INSTANTIATE_TEST_SUITE_P(Containers, FootageFormats,
                         ::testing::Values(ClipFormat::H264Mp4, ClipFormat::H264Mov, ClipFormat::Mpeg4Avi,
                                           ClipFormat::Vp8Webm, ClipFormat::Vp9Mkv, ClipFormat::Mpeg2Ts),
                         [](const auto& info) { return formatName(info.param).replace('-', '_').toStdString(); });

// A recording cut short (its index, written first, lists every frame; the data
// stops midway): it opens with the frames that are there, says how many are
// missing, and its last frame is the last one that can be shown.
TEST(FootageDecoder, ClipCutShortOpensWithTheFramesThereAndCountsTheMissing) {
    ClipOptions o = kLong;
    o.indexFirst = true;
    const QString clip = makeClip(testFolder().path(), ClipFormat::H264Mp4, o, QStringLiteral("cut short"));
    QFile(clip).resize(QFile(clip).size() / 2);
    ClipDecoder d;
    d.open(clip);
    const ClipInfo info = d.info();
    ASSERT_GT(info.missingFrames, 0);
    EXPECT_EQ(info.frameCount + info.missingFrames, kLong.frames);
    const int last = int(info.frameCount) - 1;
    EXPECT_NEAR(info.durationMs, frameStartMs(ClipFormat::H264Mp4, o, last + 1), 0.5);
    const VideoFrame end = d.seek(1e9);
    EXPECT_EQ(frameNumber(end.image), last);
    EXPECT_NEAR(end.positionMs, frameStartMs(ClipFormat::H264Mp4, o, last), 0.5);
    EXPECT_EQ(frameNumber(d.seek(frameStartMs(ClipFormat::H264Mp4, o, last / 2) + 1.0).image), last / 2);
}
