// Decode-behind: while the picture rests, the frames before the cached run are
// decoded on a worker, so stepping back across a keyframe decodes nothing on
// the caller's thread and still shows exact frames, within the cache budget.

#include "fakes/EventLoopWait.h"
#include "fakes/TestClips.h"
#include "media/ffmpeg/ClipDecoder.h"

#include <gtest/gtest.h>

using namespace tvn;
using namespace tvn::testclips;

namespace {
const ClipOptions kOptions{};  // 150 frames, keyframe every 60

VideoFrame restAt(ClipDecoder& d, ClipFormat f, int n) {
    const VideoFrame v = d.seek(frameStartMs(f, kOptions, n) + 1.0);
    EXPECT_TRUE(tvn::testing::waitFor([&] { return d.stats().framesReadyBehind > 0; }, 20000)) << "at frame " << n;
    return v;
}
}  // namespace

TEST(DecodeBehind, StepBackAcrossAKeyframeAfterARestDecodesNothingHere) {
    for (ClipFormat f : {ClipFormat::H264Mp4, ClipFormat::Mpeg4Avi, ClipFormat::Mpeg2Ts}) {
        ClipDecoder d;
        d.open(makeClip(testFolder().path(), f, kOptions));
        d.setDecodeBehind(true);
        ASSERT_EQ(frameNumber(restAt(d, f, 120).image), 120) << formatName(f).toStdString();
        const int64_t decoded = d.stats().framesDecoded;
        for (int n = 119; n >= 60; --n) ASSERT_EQ(frameNumber(d.stepBackward().image), n) << formatName(f).toStdString();
        EXPECT_EQ(d.stats().framesDecoded, decoded) << formatName(f).toStdString();
    }
}

TEST(DecodeBehind, HoldingLeftStaysExactWithinATightBudget) {
    const ClipFormat f = ClipFormat::H264Mp4;
    ClipDecoder d;
    d.open(makeClip(testFolder().path(), f, kOptions));
    const int64_t budget = 5 * 1024 * 1024;  // a few frames behind the run, besides it and 8 pictures
    d.setCacheBudget(budget);
    d.setDecodeBehind(true);
    restAt(d, f, 121);
    const int64_t decoded = d.stats().framesDecoded;
    for (int n = 120; n >= 0; --n) {
        ASSERT_EQ(frameNumber(d.stepBackward().image), n);
        const ClipDecoder::Stats s = d.stats();
        ASSERT_LE(s.cachedBytes + s.behindBytes, budget) << "at frame " << n;
    }
    EXPECT_EQ(d.stats().framesDecoded, decoded) << "the worker's window slides back with the steps";
}
