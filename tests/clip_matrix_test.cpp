// Every kind of clip a phone or camera records, through every path that
// touches a picture: open, jumps forward and back, a step, play to the end,
// JPEG save, the film strip, the overlay's mixed picture, a lesson frame and
// point tracking. Each row is a small clip (12 frames, made at test time)
// whose frame n shows n (TestClips' frame code), so every path is checked from
// the pixels it hands out: the right frame, at the right size, upright.
//
// The rows sweep what varies between files: picture sizes over every
// remainder modulo 64 of width and height (SIMD converters and decoders'
// buffer pools work in blocks of up to 64 bytes), the real phone and camera
// sizes, pixel formats, codecs and display rotations. scripts/fuzz runs this
// test under AddressSanitizer and UBSan too.
#include "control/Trelvan.h"
#include "fakes/ControlProbe.h"
#include "fakes/EventLoopWait.h"
#include "fakes/FakeAudioRecorder.h"
#include "fakes/PlanarImage.h"
#include "fakes/TestClips.h"
#include "media/Components.h"
#include "media/FrameSource.h"
#include "motion/MotionAnalysis.h"
#include "core/Twips.h"

#include <QDir>
#include <QImageReader>
#include <QTransform>
#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>

using namespace tvn;
using namespace tvn::testclips;
using tvn::testing::waitFor;

namespace {

constexpr int kFrames = 12;

struct Row {
    std::string name;
    ClipFormat format;
    int width, height;
    const char* pixelFormat = nullptr;
    int rotation = 0;  // clockwise degrees in the file's display matrix
};

std::vector<Row> matrix() {
    std::vector<Row> rows;
    // Widths 64..127 and heights 36..99, each remainder modulo 64 once
    // (37 is odd, so r * 37 runs through them all). H.264 in 4:2:0 takes even
    // sizes only; the odd ones go through FFV1, which takes any.
    for (int r = 0; r < 64; ++r) {
        const int w = 64 + r, h = 36 + (r * 37) % 64;
        const bool even = w % 2 == 0 && h % 2 == 0;
        rows.push_back({"mod64_" + std::to_string(w) + "x" + std::to_string(h),
                        even ? ClipFormat::H264Mp4 : ClipFormat::Ffv1Mkv, w, h});
    }
    const std::pair<int, int> phoneSizes[] = {{360, 640},   {540, 960},   {720, 1280},  {1080, 1920},
                                              {1080, 1350}, {1080, 1080}, {1170, 2532}, {1284, 2778},
                                              {2704, 1520}, {3840, 2160}, {1080, 360},  {1080, 608}};
    for (auto [w, h] : phoneSizes)
        rows.push_back({"phone_" + std::to_string(w) + "x" + std::to_string(h), ClipFormat::H264Mp4, w, h});
    rows.push_back({"odd_641x361_yuv444p", ClipFormat::H264Mp4, 641, 361, "yuv444p"});
    rows.push_back({"odd_641x361_ffv1", ClipFormat::Ffv1Mkv, 641, 361});
    rows.push_back({"odd_638x358_yuv422p", ClipFormat::H264Mp4, 638, 358, "yuv422p"});

    const std::pair<ClipFormat, const char*> pixelFormats[] = {
        {ClipFormat::H264Mp4, "yuv420p"},     {ClipFormat::H264Mp4, "yuvj420p"},    {ClipFormat::H264Mp4, "yuv422p"},
        {ClipFormat::H264Mp4, "yuv444p"},     {ClipFormat::HevcMp4, "yuv420p10le"}, {ClipFormat::HevcMp4, "yuv422p10le"},
        {ClipFormat::RawAvi, "nv12"},         {ClipFormat::Ffv1Mkv, "gbrp"},        {ClipFormat::Ffv1Mkv, "gray"},
        {ClipFormat::RawAvi, "gray"},         {ClipFormat::RawAvi, "bgr24"}};
    for (auto [format, pf] : pixelFormats)
        rows.push_back({std::string("pixfmt_") + pf + "_" + formatName(format).toStdString(), format, 202, 118, pf});

    const ClipFormat codecs[] = {ClipFormat::H264Mp4,  ClipFormat::HevcMp4,  ClipFormat::Vp9Mkv,   ClipFormat::Av1Mkv,
                                 ClipFormat::Mpeg4Avi, ClipFormat::MjpegAvi, ClipFormat::Mpeg2Ts,  ClipFormat::ProResMov,
                                 ClipFormat::DnxhrMov, ClipFormat::Ffv1Mkv,  ClipFormat::Vp8Webm,  ClipFormat::HevcMov};
    for (ClipFormat c : codecs) rows.push_back({"codec_" + formatName(c).toStdString(), c, 270, 150});
    rows.push_back({"codec_dnxhr_1080x608", ClipFormat::DnxhrMov, 1080, 608});
    rows.push_back({"codec_vp9_1080x720", ClipFormat::Vp9Mkv, 1080, 720});

    for (int degrees : {90, 180, 270}) {
        rows.push_back({"rotated" + std::to_string(degrees) + "_202x118", ClipFormat::H264Mp4, 202, 118, nullptr, degrees});
        rows.push_back({"rotated" + std::to_string(degrees) + "_hevc_1920x1080", ClipFormat::HevcMp4, 1920, 1080,
                        nullptr, degrees});
    }
    for (Row& r : rows) std::replace_if(r.name.begin(), r.name.end(), [](char c) { return !std::isalnum(c) && c != '_'; }, '_');
    return rows;
}

// The size the control shows a row's pictures at: turned upright, and a
// picture whose larger side exceeds 2160 pixels scaled so that side is 1920.
QSize shownSize(const Row& row) {
    double w = row.width, h = row.height;
    if (std::max(w, h) > 2160) {
        const double s = 1920.0 / std::max(w, h);
        w *= s;
        h *= s;
    }
    const QSize upright(int(std::lround(w)), int(std::lround(h)));
    return row.rotation % 180 ? upright.transposed() : upright;
}

// The picture as coded (before the display matrix turned it), where the frame code reads.
QImage asCoded(const QImage& shown, int rotation) {
    return rotation ? shown.transformed(QTransform().rotate(-rotation)) : shown;
}

// Where a point given as fractions of the coded picture lands on the shown one.
QPointF shownPoint(QPointF coded, int rotation) {
    switch (rotation) {
    case 90: return {1 - coded.y(), coded.x()};
    case 180: return {1 - coded.x(), 1 - coded.y()};
    case 270: return {coded.y(), 1 - coded.x()};
    default: return coded;
    }
}

Components withOneMicrophone() {
    Components c = Components::defaults();
    c.createAudioRecorder = [] {
        auto recorder = std::make_unique<tvn::testing::FakeAudioRecorder>();
        recorder->deviceNames = {QStringLiteral("Test microphone")};
        return recorder;
    };
    return c;
}

class ClipMatrix : public ::testing::TestWithParam<Row> {};

TEST_P(ClipMatrix, EveryPathShowsTheRightFrameUprightAtTheRightSize) {
    const Row& row = GetParam();
    ClipOptions options{.frames = kFrames, .width = row.width, .height = row.height, .keyInterval = 5,
                        .pixelFormat = row.pixelFormat};
    QString path = makeClip(testFolder().path(), row.format, options, QString::fromStdString(row.name));
    if (row.rotation) setDisplayRotation(path, row.rotation);
    const QSize size = shownSize(row);
    const QDir folder(testFolder().path());

    Trelvan control(withOneMicrophone());
    control.resize(320, 240);
    control.show();
    ControlProbe probe(control);
    const auto number = [&](const QImage& shown) { return frameNumber(asCoded(shown, row.rotation)); };
    const auto shownFrame = [&] {
        const QImage image = control.TVN_GetFrameAsIPic().image();
        EXPECT_EQ(image.size(), size);
        return number(image);
    };

    ASSERT_EQ(control.TVN_OpenFile(path), kFrames);
    EXPECT_EQ(QSize(control.TVN_VideoWidth, control.TVN_VideoHeight), size);
    EXPECT_EQ(shownFrame(), 0);

    // Planar pictures (what a video export draws on) are the RGB pictures, at
    // the same size and upright, up to rounding and 4:2:0 chroma; a clip
    // whose colours only RGB shows gives RGB.
    {
        FrameSource::Options rgb;
        rgb.keepFramesAround = false;
        FrameSource::Options planar = rgb;
        planar.planar = true;
        auto a = FrameSource::open(path, rgb), b = FrameSource::open(path, planar);
        const double at = 7 * a->info().durationMs / a->info().frameCount + 1;
        VideoFrame fa = a->seek(at), fb = b->seek(at);
        for (int n : {7, 8}) {
            const QImage shown = fb.planar.isNull() ? fb.image : tvn::testing::rgbOf(fb.planar);
            EXPECT_EQ(shown.size(), size) << "planar, frame " << n;
            EXPECT_EQ(number(shown), n) << "planar";
            EXPECT_LT(tvn::testing::meanDifference(shown, fa.image), 2.0) << "planar, frame " << n;
            fa = a->stepForward();
            fb = b->stepForward();
        }
    }

    // Jumps forward across keyframes and back, a step.
    for (int target : {9, 8, 3, 10}) {
        int32_t f = target;
        control.TVN_SetFrame(f);
        EXPECT_EQ(shownFrame(), target) << "after a jump to " << target;
    }
    // A clip whose name ends in "mov" is paced by the control's own timer, and
    // a step then only stops that timer: the picture stays (so do the film
    // strip's steps).
    const bool timerPaced = path.endsWith(QLatin1String("mov"), Qt::CaseInsensitive);
    const int stepped = timerPaced ? 10 : 11;
    control.TVN_StepOneFrame();
    EXPECT_EQ(shownFrame(), stepped) << "after a step";

    // The JPEG file holds the frame shown, at the picture's size.
    QString jpeg = folder.filePath(QString::fromStdString(row.name) + ".jpg");
    int32_t quality = 95;
    ASSERT_TRUE(control.TVN_SaveFrameJpg(jpeg, quality));
    const QImage saved(jpeg);
    EXPECT_EQ(saved.size(), size);
    EXPECT_EQ(number(saved), stepped) << "in the JPEG";

    // Played from the start to the end, the last frame stays shown.
    int32_t zero = 0;
    control.TVN_SetFrame(zero);
    bool ended = false;
    QObject::connect(&control, &Trelvan::VideoEnd, [&] { ended = true; });
    control.TVN_Play();
    EXPECT_TRUE(waitFor([&] { return ended; }, 10000)) << "no end of clip";
    EXPECT_EQ(shownFrame(), kFrames - 1) << "after play";

    // The film strip: nine thumbnails from frame 2, each in its third of the control.
    int32_t two = 2;
    control.TVN_SetFrame(two);
    control.TVN_ShowFilmStrip(true);
    const QImage strip = probe.picture(5).image();
    ASSERT_EQ(strip.size(), QSize(320, 240));
    const int xs[] = {0, 107, 214}, ys[] = {0, 80, 160};
    for (int i = 0; i < 9; ++i)
        EXPECT_EQ(number(strip.copy(xs[i % 3], ys[i / 3], 106, 80)), timerPaced ? 2 : 2 + i) << "thumbnail " << i;
    control.TVN_ShowFilmStrip(false);
    EXPECT_EQ(shownFrame(), 2) << "after the film strip";

    // A lesson frame composes the frame shown (and the recording engine takes it).
    const QString lesson = folder.filePath(QString::fromStdString(row.name) + "-lesson.avi");
    ASSERT_TRUE(control.TVN_StartLesson(lesson, 10));
    probe.LessonTimerTick();
    const QImage composed = probe.picture(3).image();
    control.TVN_StopLesson();
    ASSERT_FALSE(composed.isNull());
    // The clip's picture fills the lesson's frame.
    EXPECT_EQ(number(composed), 2) << "in the lesson frame";

    // Tracking the top-left corner of the marker cell, which stands still on
    // frames 0 to 63 (the three cells around it stay black): every frame has a
    // sample at the same place.
    MotionAnalysis& motion = *control.motion();
    const QPointF corner = shownPoint({0.75, 2.0 / 3.0}, row.rotation);
    // Samples are in twips of the picture, as the drawings are.
    const QPointF twips(corner.x() * size.width() * twipsPerPixelX(&control),
                        corner.y() * size.height() * twipsPerPixelY(&control));
    control.TVN_SetFrame(zero);
    motion.trackPoint(twips.x(), twips.y(), false);
    ASSERT_TRUE(waitFor([&] { return !motion.busy(); }, 60000));
    ASSERT_EQ(motion.sampleCount(0), kFrames);
    const double tolerance = (2.0 + std::max(row.width, row.height) / 1000.0) * twipsPerPixelX(&control);
    for (int i = 0; i < kFrames; ++i) {
        EXPECT_EQ(motion.sampleFrame(0, i), i);
        EXPECT_NEAR(motion.sampleX(0, i), twips.x(), tolerance) << "frame " << i;
        EXPECT_NEAR(motion.sampleY(0, i), twips.y(), tolerance) << "frame " << i;
    }

    // The same clip as the overlay's second clip: both on the same frame, the
    // mixed picture reads as that frame. (The overlay starts the main clip's
    // source at its start; the jump after it moves both.)
    control.TVN_Overlay(path);
    int32_t five = 5;
    control.TVN_SetFrame(five);
    control.TVN_SetOverlay2Frame(5);
    QImage mixed;
    EXPECT_TRUE(waitFor([&] { return number(mixed = control.TVN_GetFrameAsIPic().image()) == 5; }, 5000))
        << "mixed picture shows " << number(mixed);
    control.TVN_Close();
    EXPECT_EQ(control.lastNotificationError(), nullptr)
        << control.lastNotificationError()->what();
}

INSTANTIATE_TEST_SUITE_P(Clips, ClipMatrix, ::testing::ValuesIn(matrix()),
                         [](const ::testing::TestParamInfo<Row>& info) { return info.param.name; });

}  // namespace
