// A lesson through the control on the real recording engine and the desktop
// platform's timers, in real time: the frame loop's pictures land in a real AVI
// in step with the clock, the voice in step with them, and compression gives
// one file of the same length.
#include "recording_test_support.h"

#include "fakes/ControlProbe.h"
#include "fakes/PulseTestServer.h"
#include "fakes/TestClips.h"
#include "media/Components.h"

#include <QElapsedTimer>
#include <QPainter>
#include <algorithm>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tvn;
using namespace tvn::rectest;

namespace {

// Lets timers and queued calls run for ms of real time.
void runFor(int ms) {
    QElapsedTimer clock;
    clock.start();
    waitUntil([&] { return clock.elapsed() >= ms; }, ms + 1000);
}

// The whole road on the real components: a real clip with a bitmap laid over
// it, then the film strip, then the overlay of a second clip; the lesson records
// whichever of them is shown.
TEST(LessonControlReal, RecordsClipFilmStripAndOverlayOfRealClips) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    testclips::ClipOptions o;
    o.frames = 30;
    o.keyInterval = 10;
    QString main = testclips::makeClip(dir.path(), testclips::ClipFormat::H264Mp4, o, "main");
    QString second = testclips::makeClip(dir.path(), testclips::ClipFormat::H264Mp4, o, "second");
    const QString avi = dir.filePath("whole.avi");

    Trelvan control(Components::defaults());
    control.resize(320, 240);
    control.show();
    ASSERT_EQ(control.TVN_OpenFile(main), 30);
    int32_t four = 4;
    control.TVN_SetFrame(four);
    // A red square in the top-left corner, the rest of the bitmap the key colour.
    QImage mark(320, 240, QImage::Format_RGB32);
    mark.fill(Qt::white);
    QPainter(&mark).fillRect(0, 0, 20, 20, Qt::red);
    int32_t handle = BitmapTable::instance().add(mark);
    control.TVN_SetBitmapOverlay(handle);

    // Showing the strip and setting up the overlay take real time of their own,
    // which the lesson records too: the frame count follows the measured time.
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(control.TVN_StartLesson(avi, 25));
    runFor(1000);
    control.TVN_ShowFilmStrip(true);
    runFor(1000);
    control.TVN_ShowFilmStrip(false);
    const double overlayFrom = clock.elapsed() / 1000.0;
    control.TVN_Overlay(second);
    control.TVN_SetOverlay2Frame(9);
    control.TVN_AdjustOverlay(0, 0, 240, 320, 100);  // the second clip opaque
    runFor(1000);
    const double seconds = clock.elapsed() / 1000.0;
    control.TVN_StopLesson();
    BitmapTable::instance().release(handle);

    const std::vector<QImage> frames = decodeFrames(avi);
    EXPECT_NEAR(static_cast<double>(frames.size()), seconds * 25.0, 2.0) << seconds << " s";
    ASSERT_FALSE(frames.empty());
    std::vector<int> numbers;
    for (const QImage& f : frames) numbers.push_back(testclips::frameNumber(f));
    EXPECT_EQ(numbers.front(), 4);
    EXPECT_TRUE(near(frames.front().pixel(10, 10), QColor(255, 0, 0), 60));
    // Clip, then strip, then overlay, each for about a third of the lesson.
    const auto lastFour = std::find(numbers.rbegin(), numbers.rend(), 4).base();
    const auto firstNine = std::find(numbers.begin(), numbers.end(), 9);
    ASSERT_NE(firstNine, numbers.end());
    EXPECT_LT(lastFour, firstNine);
    EXPECT_GE(lastFour - numbers.begin(), 22);    // at least the first second
    EXPECT_GE(firstNine - lastFour, 22);           // the strip's second
    // The last second, and the catch-up frames of the time the overlay took to set up.
    EXPECT_GE(numbers.end() - firstNine, 23);
    EXPECT_LE(static_cast<double>(numbers.end() - firstNine), (seconds - overlayFrom) * 25.0 + 2.0);
    EXPECT_TRUE(std::all_of(firstNine, numbers.end(), [](int n) { return n == 9; }));
    EXPECT_TRUE(std::none_of(lastFour, firstNine, [](int n) { return n == 4 || n == 9; }));
}

// A coach's lesson on every real component, the voice included: a drawing over
// a real clip, a pause, the film strip for a while, then compression. The voice
// is a 1 kHz tone from a capture device the test starts itself. Sound and
// picture must stay in step: the WAVE file is as long as the AVI within 40 ms
// plus one frame per start and resume (the frame loop starts each stretch one
// frame ahead), and the compressed file keeps both lengths.
TEST(LessonControlReal, VoiceAndPicturesStayInStepThroughPauseAndCompression) {
    tvn::testing::PulseTestServer voice(1000);
    if (!voice.problem().empty()) GTEST_SKIP() << voice.problem();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    testclips::ClipOptions o;
    o.frames = 30;
    QString clip = testclips::makeClip(dir.path(), testclips::ClipFormat::H264Mp4, o, "voice");
    const QString avi = dir.filePath("voice lesson.avi");
    const QString wmv = dir.filePath("voice lesson.wmv");

    Trelvan control(Components::defaults());
    control.resize(320, 240);
    control.show();
    int16_t device = -1;
    for (int32_t i = 1; i <= control.TVN_AudioDevices.Count(); ++i)
        if (control.TVN_AudioDevices.Item(i).contains(tvn::testing::PulseTestServer::monitorDescription()))
            device = static_cast<int16_t>(i - 1);
    ASSERT_GE(device, 0) << "the test's capture device is not offered";
    control.TVN_SelectAudioDevice(device);
    ASSERT_EQ(control.TVN_OpenFile(clip), 30);
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
    runFor(1200);
    control.TVN_PauseLesson();
    const qint64 pausedAt = clock.elapsed();
    runFor(600);
    const qint64 pausedFor = clock.elapsed() - pausedAt;
    control.TVN_ResumeLesson();
    runFor(900);
    control.TVN_ShowFilmStrip(true);
    runFor(900);
    control.TVN_ShowFilmStrip(false);
    const double recorded = (clock.elapsed() - pausedFor) / 1000.0;
    control.TVN_StopLesson();

    const std::vector<QImage> frames = decodeFrames(avi);
    EXPECT_NEAR(static_cast<double>(frames.size()), recorded * 25.0, 3.0) << recorded << " s";
    ASSERT_GT(frames.size(), 25u);
    EXPECT_TRUE(near(frames[10].pixel(160, 60), QColor(255, 255, 0), 60)) << "the drawing is not in the lesson";
    EXPECT_FALSE(near(frames[10].pixel(160, 150), QColor(255, 255, 0), 60));

    const Wave sound = readWave(avi + ".wav");
    const double videoSeconds = frames.size() / 25.0;
    EXPECT_EQ(sound.channels, 2);
    EXPECT_NEAR(sound.seconds(), recorded, 0.040) << "the voice is not as long as the time recorded";
    EXPECT_NEAR(sound.seconds(), videoSeconds, 0.040 + 2 / 25.0) << "sound and picture drift apart";
    for (double at : {0.3, videoSeconds / 2, videoSeconds - 0.3}) {
        const size_t from = static_cast<size_t>(at * sound.sampleRate);
        EXPECT_GT(tonePower(sound, 1000, from, 4410), 1e-4) << "no voice at " << at << " s";
    }

    QList<int32_t> progress;
    int completions = 0;
    QObject::connect(&control, &Trelvan::LessonCompressionProgress,
                     [&] { progress << control.TVN_LessonCompressionProgress; });
    QObject::connect(&control, &Trelvan::LessonCompressionComplete, [&] { ++completions; });
    EXPECT_EQ(control.TVN_CompressLesson(avi, wmv), 0);
    ASSERT_TRUE(waitUntil([&] { return completions > 0; }, 60000)) << "no completion";
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
    EXPECT_EQ(progress.value(progress.size() - 1), 100);
    runFor(200);
    EXPECT_EQ(completions, 1);
    const auto out = probeStreams(wmv);
    const StreamSummary* outVideo = findStream(out, AVMEDIA_TYPE_VIDEO);
    const StreamSummary* outAudio = findStream(out, AVMEDIA_TYPE_AUDIO);
    ASSERT_NE(outVideo, nullptr);
    ASSERT_NE(outAudio, nullptr);
    EXPECT_EQ(outVideo->codec, "wmv2");
    EXPECT_EQ(outAudio->codec, "wmav2");
    EXPECT_NEAR(outVideo->seconds, videoSeconds, 0.1);
    EXPECT_NEAR(outAudio->seconds, sound.seconds(), 0.1);
}

}  // namespace
