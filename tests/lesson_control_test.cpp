// The control side of lessons on recording fakes: the order in which a lesson
// drives the recording engine and the audio recorder, the frame loop's timing
// (time moved by hand), its composition on pixels, pause/resume/stop, the logo
// and compression.
#include "fakes/ControlHarness.h"
#include "fakes/ErrorFrom.h"

#include <QImage>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tvn;
using namespace tvn::testing;

namespace {

const TvnError kEngineFailure(-2147221000, "engine failed", "VideoCapX");

// A control with a clip "open" (the properties the frame loop reads) and a
// display engine that reports the clip's size.
struct LessonFixture {
    explicit LessonFixture(int width = 320, int height = 240) {
        h.c().TVN_videoFileName = "clip.mp4";
        h.c().TVN_NumFrames = 100;
        h.engine1->videoWidth = width;
        h.engine1->videoHeight = height;
    }
    ControlHarness h;
    FakeTimer& lessonTimer() { return h.platform->timer(2); }
    LessonRecorder& lesson() { return h.probe().lesson(); }
    int framesAdded() const { return static_cast<int>(h.engine4->addedFrames.size()); }
};

QImage solid(int w, int h, QRgb colour) {
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

TEST(LessonStart, DrivesEngineAndRecorderInOrder) {
    LessonFixture f;
    f.h.engine4->compressorNames = {"Motion JPEG", "DV Video Encoder"};
    f.h.platform->now = 5000;
    f.h.log.clear();

    EXPECT_TRUE(f.h.c().TVN_StartLesson("/l/a.avi", 30));

    const QStringList expected = {
        "VideoCapX4.RecordFlag28 = True",
        "VideoCapX4.Visible = False",
        "VideoCapX4.CaptureFileName = \"\"",
        "VideoCapX4.SetRate(1)",
        "VideoCapX4.Call59()",
        "VideoCapX4.Stop()",
        "VideoCapX1.VideoWidth",
        "VideoCapX1.VideoHeight",
        "VideoCapX4.Width = 320",
        "VideoCapX4.Height = 240",
        "VideoCapX4.Option43 = 1",
        "VideoCapX4.Option30 = 1",
        "VideoCapX4.Width",
        "VideoCapX4.Height",
        "VideoCapX4.SetFrameSize(320, 240)",
        "VideoCapX4.VideoCompressorCount",
        "VideoCapX4.VideoCompressorName(0)",
        "VideoCapX4.VideoCompressorName(1)",
        "VideoCapX4.VideoCompressor = 1",
        "VideoCapX4.CaptureFileName = \"/l/a.avi\"",
        "Kill(\"/l/a.avi\")",
        "Kill(\"/l/a.avi.wav\")",
        "VideoCapX4.StartFileCapture(30)",
        "VideoCapX4.Call154(True)",
        "audioRecorder.GetLineInputCount()",
        "audioRecorder.SetRecordOption(5)",
        "audioRecorder.StopRecord()",
        "audioRecorder.SetSetting1(0)",
        "audioRecorder.SetFileName(\"/l/a.avi.wav\")",
        "audioRecorder.SetSetting2(0)",
        "audioRecorder.SetSetting3(0)",
        "audioRecorder.SetRecordOption(28)",
        "audioRecorder.StartRecord(2, 44100)",
    };
    EXPECT_EQ(f.h.log.entries(), expected);
    EXPECT_TRUE(f.h.c().TVN_LessonInProgress);
    EXPECT_TRUE(f.lessonTimer().isEnabled());
    EXPECT_EQ(f.lessonTimer().interval(), 17);
    EXPECT_EQ(f.lesson().lessonStartTick(), 5000u);
    EXPECT_EQ(f.lesson().lessonFramesWritten(), 0);
    Surface& frame = f.h.probe().picture(3);
    EXPECT_EQ(frame.widthPixels(), 320);
    EXPECT_EQ(frame.heightPixels(), 240);
    EXPECT_EQ(frame.backColor(), 0);
}

TEST(LessonStart, FpsBelowOneIsOneAndTimerTicksTwicePerFrame) {
    struct Case {
        int32_t fps;
        int32_t lessonFps;
        int interval;
        const char* capture;
    };
    const Case cases[] = {
        {0, 1, 500, "VideoCapX4.StartFileCapture(1)"},   {-7, 1, 500, "VideoCapX4.StartFileCapture(1)"},
        {1, 1, 500, "VideoCapX4.StartFileCapture(1)"},   {15, 15, 33, "VideoCapX4.StartFileCapture(15)"},
        {25, 25, 20, "VideoCapX4.StartFileCapture(25)"}, {30, 30, 17, "VideoCapX4.StartFileCapture(30)"},
        {40, 40, 12, "VideoCapX4.StartFileCapture(40)"},  // 12.5 rounds to the even 12
        {5000, 5000, 1, "VideoCapX4.StartFileCapture(5000)"},  // never a 0 ms timer
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fps);
        LessonFixture f;
        EXPECT_TRUE(f.h.c().TVN_StartLesson("x.avi", c.fps));
        EXPECT_EQ(f.lesson().lessonFps(), c.lessonFps);
        EXPECT_EQ(f.lessonTimer().interval(), c.interval);
        EXPECT_TRUE(f.h.log.contains(c.capture));
    }
}

TEST(LessonStart, ChoosesTheLastEncoderNamedDvV) {
    struct Case {
        QStringList names;
        const char* expected;
    };
    const Case cases[] = {
        {{}, "VideoCapX4.VideoCompressor = -1"},
        {{"Motion JPEG", "Cinepak"}, "VideoCapX4.VideoCompressor = -1"},
        {{"DVVideo", "dv", "d v video"}, "VideoCapX4.VideoCompressor = -1"},
        {{"Motion JPEG", "dv video"}, "VideoCapX4.VideoCompressor = 1"},
        {{"DV Video Encoder", "Motion JPEG", "dV V2"}, "VideoCapX4.VideoCompressor = 2"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.names.join(",").toStdString());
        LessonFixture f;
        f.h.engine4->compressorNames = c.names;
        f.h.c().TVN_StartLesson("x.avi", 25);
        EXPECT_EQ(f.h.log.withPrefix("VideoCapX4.VideoCompressor =").value(0), c.expected);
    }
}

TEST(LessonStart, SecondStartReturnsFalseAndChangesNothing) {
    LessonFixture f;
    ASSERT_TRUE(f.h.c().TVN_StartLesson("first.avi", 25));
    f.h.platform->advance(300);
    f.h.log.clear();
    EXPECT_FALSE(f.h.c().TVN_StartLesson("second.avi", 10));
    EXPECT_TRUE(f.h.log.entries().isEmpty());
    EXPECT_EQ(f.lesson().lessonFps(), 25);
    EXPECT_EQ(f.lesson().lessonStartTick(), 0u);
    EXPECT_EQ(f.lessonTimer().interval(), 20);
}

TEST(LessonStart, DeletionAndAudioFailuresDoNotStopTheLesson) {
    for (const char* op : {"StartRecord", "SetRecordOption", "SelectLineInput", "GetLineInputCount"}) {
        SCOPED_TRACE(op);
        LessonFixture f;
        f.h.recorder->lineInputNames = {"Mic"};
        f.h.recorder->failOn(op, TvnError(-2147221000, "no audio", "AudioCtl"));
        f.h.platform->missingFiles = {"x.avi", "x.avi.wav"};
        EXPECT_TRUE(f.h.c().TVN_StartLesson("x.avi", 25));
        EXPECT_TRUE(f.h.c().TVN_LessonInProgress);
        EXPECT_TRUE(f.lessonTimer().isEnabled());
        // Both audio start steps are tried, each on its own.
        EXPECT_TRUE(f.h.log.contains("audioRecorder.StartRecord(2, 44100)"));
    }
}

TEST(LessonStart, EngineOrRecorderFailureFailsUnchangedAndLeavesNoLesson) {
    struct Case {
        bool onRecorder;
        const char* op;
    };
    const Case cases[] = {{false, "RecordFlag28"}, {false, "SetFrameSize"}, {false, "StartFileCapture"},
                          {false, "Call154"},      {true, "StopRecord"},    {true, "SetFileName"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.op);
        LessonFixture f;
        if (c.onRecorder)
            f.h.recorder->failOn(c.op, kEngineFailure);
        else
            f.h.engine4->failOn(c.op, kEngineFailure);
        const auto e = errorFrom([&] { f.h.c().TVN_StartLesson("x.avi", 25); });
        ASSERT_TRUE(e) << "no failure";
        EXPECT_EQ(e->number(), kEngineFailure.number());
        EXPECT_EQ(e->source(), "VideoCapX");  // no handler: no prefix
        EXPECT_FALSE(f.h.c().TVN_LessonInProgress);
        EXPECT_FALSE(f.lessonTimer().isEnabled());
        EXPECT_FALSE(f.h.log.contains("audioRecorder.StartRecord(2, 44100)"));
    }
}

TEST(AudioSelection, PicksInputsAsTheHostChoseOrTheLastMicrophone) {
    struct Case {
        int16_t device;
        int16_t line;
        QStringList inputs;
        QStringList expected;  // the recorder calls of ApplyAudioSelection
    };
    const Case cases[] = {
        {-1, -1, {"Line In", "Microphone", "MIC 2"},
         {"GetLineInputCount()", "GetLineInputName(0)", "GetLineInputName(1)", "SelectLineInput(1)",
          "GetLineInputName(2)", "SelectLineInput(2)", "SetRecordOption(5)"}},
        {-1, -1, {"Line In", "CD Audio"},
         {"GetLineInputCount()", "GetLineInputName(0)", "GetLineInputName(1)", "SetRecordOption(5)"}},
        {-1, -1, {}, {"GetLineInputCount()", "SetRecordOption(5)"}},
        {1, 3, {"Mic"}, {"SelectDevice(1)", "SelectLineInput(3)", "SetRecordOption(5)"}},
        {0, -1, {"mic"}, {"SelectDevice(0)", "GetLineInputCount()", "GetLineInputName(0)", "SelectLineInput(0)",
                          "SetRecordOption(5)"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.inputs.join(",").toStdString());
        LessonFixture f;
        f.h.recorder->lineInputNames = c.inputs;
        f.h.c().TVN_SelectedAudioDevice = c.device;
        f.h.c().TVN_SelectedLineInput = c.line;
        f.h.log.clear();
        f.h.probe().ApplyAudioSelection();
        QStringList expected;
        for (const QString& e : c.expected) expected << "audioRecorder." + e;
        EXPECT_EQ(f.h.log.entries(), expected);
    }
}

TEST(AudioSelection, SwallowsEveryRecorderFailure) {
    for (const char* op : {"SelectDevice", "GetLineInputCount", "GetLineInputName", "SelectLineInput"}) {
        SCOPED_TRACE(op);
        LessonFixture f;
        f.h.recorder->lineInputNames = {"Mic"};
        f.h.c().TVN_SelectedAudioDevice = 0;
        f.h.recorder->failOn(op, kEngineFailure);
        f.h.log.clear();
        EXPECT_NO_THROW(f.h.probe().ApplyAudioSelection());
        EXPECT_EQ(f.h.log.entries().last(), "audioRecorder.SetRecordOption(5)");
    }
}

TEST(AudioSelection, SelectDeviceRefillsLineInputsAndResetsTheLineChoice) {
    for (const QStringList& inputs : {QStringList{"Mic", "Line"}, QStringList{}}) {
        SCOPED_TRACE(inputs.join(",").toStdString());
        LessonFixture f;
        f.h.c().TVN_AudioLineInputs = Collection({"old 1", "old 2", "old 3"});
        f.h.c().TVN_SelectedLineInput = 2;
        f.h.recorder->lineInputNames = inputs;
        f.h.log.clear();
        f.h.c().TVN_SelectAudioDevice(1);
        EXPECT_EQ(f.h.c().TVN_SelectedAudioDevice, 1);
        EXPECT_EQ(f.h.c().TVN_SelectedLineInput, -1);
        EXPECT_EQ(f.h.c().TVN_AudioLineInputs.items(), inputs);
        QStringList expected = {"audioRecorder.SelectDevice(1)", "audioRecorder.SelectLineInput(0)",
                                "audioRecorder.GetLineInputCount()"};
        for (int i = 0; i < inputs.size(); ++i) expected << QString("audioRecorder.GetLineInputName(%1)").arg(i);
        EXPECT_EQ(f.h.log.entries(), expected);
    }
}

TEST(AudioSelection, SelectionMethodsPassRecorderErrorsUnchanged) {
    LessonFixture f;
    f.h.recorder->failOn("SelectDevice", kEngineFailure);
    f.h.recorder->failOn("SelectLineInput", kEngineFailure);
    f.h.c().TVN_SelectedLineInput = 4;
    const auto e = errorFrom([&] { f.h.c().TVN_SelectAudioDevice(2); });
    ASSERT_TRUE(e) << "no failure";
    EXPECT_EQ(e->source(), "VideoCapX");
    EXPECT_EQ(f.h.c().TVN_SelectedAudioDevice, 2);  // set before the recorder failed
    EXPECT_EQ(f.h.c().TVN_SelectedLineInput, -1);
    EXPECT_THROW(f.h.c().TVN_SelectAudioLineInput(9), TvnError);
    EXPECT_EQ(f.h.c().TVN_SelectedLineInput, 9);
    EXPECT_TRUE(f.h.log.contains("audioRecorder.SelectLineInput(9)"));  // no range test
}

TEST(LessonTick, CatchUpFollowsTheClockAt25Fps) {
    LessonFixture f(32, 24);
    f.h.platform->now = 70000;
    ASSERT_TRUE(f.h.c().TVN_StartLesson("x.avi", 25));
    struct Step {
        uint32_t elapsedMs;
        int added;    // frames this tick appends
        int written;  // lessonFramesWritten after it
    };
    const Step steps[] = {
        {0, 1, 1},       // due 0, n = 0: one frame, one ahead
        {20, 0, 1},      // due 0 (0.5 to even), n = -1
        {40, 1, 2},      // due 1
        {1000, 24, 26},  // due 25: n = 23, 24 frames
        {1020, 1, 27},   // due 26 (25.5 to even)
        {1040, 0, 27},   // due 26, n = -1
        {1080, 1, 28},   // due 27
        {1280, 5, 33},   // 200 ms late: due 32, n = 4
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.elapsedMs);
        f.h.platform->now = 70000 + s.elapsedMs;
        const int before = f.framesAdded();
        ASSERT_TRUE(f.lessonTimer().fire());
        EXPECT_EQ(f.framesAdded() - before, s.added);
        EXPECT_EQ(f.lesson().lessonFramesWritten(), s.written);
    }
    EXPECT_EQ(f.h.log.count("VideoCapX4.AddFrame(handle)"), 33);
}

TEST(LessonTick, FramesDueRoundsTrueHalvesToEven) {
    struct Case {
        uint32_t elapsed;
        int32_t fps;
        int64_t due;
    };
    const Case cases[] = {
        {0, 30, 0},      {20, 25, 0},      {60, 25, 2},         {1020, 25, 26},
        {4100, 15, 62},  // 61.5: a floating product gives 61.4999...
        {8300, 15, 124}, {33300, 15, 500}, {10000, 30, 300},
        {0xFFFFFFFFu, 1, 4294967},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.elapsed);
        EXPECT_EQ(LessonRecorder::framesDue(c.elapsed, c.fps), c.due);
    }
}

TEST(LessonTick, ClockWrapDoesNotStopTheLesson) {
    LessonFixture f(16, 12);
    f.h.platform->now = 0xFFFFFF00u;  // 256 ms before the tick wraps
    ASSERT_TRUE(f.h.c().TVN_StartLesson("x.avi", 25));
    f.h.platform->advance(1000);
    f.lessonTimer().fire();
    EXPECT_EQ(f.framesAdded(), 26);
}

TEST(LessonTick, NoClipComposesNothingAndALateClipCatchesUp) {
    LessonFixture f(32, 24);
    f.h.c().TVN_videoFileName.clear();
    ASSERT_TRUE(f.h.c().TVN_StartLesson("x.avi", 30));
    f.h.log.clear();
    for (int i = 0; i < 5; ++i) {
        f.h.platform->advance(2000);
        f.lessonTimer().fire();
    }
    EXPECT_TRUE(f.h.log.entries().isEmpty());
    EXPECT_EQ(f.framesAdded(), 0);

    f.h.c().TVN_videoFileName = "late.mp4";  // opened 10 s into the lesson
    f.h.engine1->currentPicture = Picture(solid(32, 24, qRgb(0, 200, 0)));
    f.lessonTimer().fire();
    ASSERT_EQ(f.framesAdded(), 301);
    for (const QImage& frame : f.h.engine4->addedFrames) ASSERT_EQ(frame, f.h.engine4->addedFrames.front());
    EXPECT_EQ(f.lesson().lessonFramesWritten(), 301);
}

TEST(LessonTick, LessonStartedWithoutAClipComposesAt640x480) {
    LessonFixture f(0, 0);
    f.h.c().TVN_videoFileName.clear();
    ASSERT_TRUE(f.h.c().TVN_StartLesson("x.avi", 25));
    EXPECT_TRUE(f.h.log.contains("VideoCapX4.SetFrameSize(0, 0)"));  // the engine picks its own size
    f.h.platform->advance(1000);
    f.h.c().TVN_videoFileName = "late.mp4";
    f.h.engine1->currentPicture = Picture(solid(320, 240, qRgb(0, 200, 0)));
    f.lessonTimer().fire();
    ASSERT_EQ(f.framesAdded(), 26);
    const QImage frame = f.h.engine4->addedFrames.back();
    EXPECT_EQ(frame.size(), QSize(640, 480));
    EXPECT_EQ(frame.pixel(639, 479) & 0xFFFFFF, qRgb(0, 200, 0) & 0xFFFFFF);
}

TEST(LessonTick, BacklogBeyondOneTicksShareIsWrittenByTheNextTicks) {
    LessonFixture f(8, 6);
    ASSERT_TRUE(f.h.c().TVN_StartLesson("x.avi", 30));
    f.h.platform->advance(1200000);  // 20 minutes: 36000 frames due
    f.lessonTimer().fire();
    EXPECT_EQ(f.framesAdded(), LessonRecorder::MaxFramesPerTick);
    f.lessonTimer().fire();
    EXPECT_EQ(f.framesAdded(), 36001);  // caught up, one ahead
    f.lessonTimer().fire();
    EXPECT_EQ(f.framesAdded(), 36001);
}

TEST(LessonTick, ComposesWhatTheControlShows) {
    const QRgb red = qRgb(255, 0, 0), green = qRgb(0, 255, 0), blue = qRgb(0, 0, 255), yellow = qRgb(255, 255, 0),
               black = qRgb(0, 0, 0);
    // 64 x 48 frame. The clip picture has a red stripe in its first 4 columns that
    // the side-by-side panes crop away (they start at W / 15 = 4.27).
    QImage clip = solid(64, 48, green);
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 4; ++x) clip.setPixel(x, y, red);

    struct Probe {
        int x, y;
        QRgb colour;
    };
    struct Case {
        const char* name;
        bool filmStrip, display, second, mixer;
        std::vector<Probe> probes;
    };
    const Case cases[] = {
        {"film strip", true, true, true, true, {{0, 0, blue}, {63, 47, blue}}},
        // Panes at y 7..39 (top = 7.2 to 7), left x 0..42.7, right from x 32 on.
        {"side by side", false, true, true, true,
         {{1, 20, green}, {20, 20, green}, {40, 20, yellow}, {63, 20, yellow}, {20, 3, black}, {20, 44, black}}},
        {"display", false, true, false, true, {{0, 0, red}, {2, 47, red}, {10, 10, green}, {63, 47, green}}},
        {"mixer", false, false, true, true, {{0, 0, yellow}, {63, 47, yellow}}},
        {"nothing shown", false, false, false, false, {{0, 0, black}, {63, 47, black}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LessonFixture f(64, 48);
        ControlProbe p = f.h.probe();
        p.picture(5).setUnit(Surface::Unit::Pixels);
        p.picture(5).setSize(10, 10);
        p.picture(5).clearTo(0xFF0000);  // blue
        if (c.filmStrip) p.filmStripPanel()->show();
        f.h.engine1->Display()->setVisible(c.display);
        if (c.second) p.picture(6).setPicture(Picture(solid(64, 48, yellow)));
        f.h.mixer->Display()->setVisible(c.mixer);
        f.h.mixer->mixedPicture = Picture(solid(20, 20, yellow));
        f.h.engine1->currentPicture = Picture(clip);
        ASSERT_TRUE(f.h.c().TVN_StartLesson("x.avi", 25));
        f.h.log.clear();
        f.lessonTimer().fire();
        ASSERT_EQ(f.framesAdded(), 1);
        const QImage frame = f.h.engine4->addedFrames.front();
        ASSERT_EQ(frame.size(), QSize(64, 48));
        for (const Probe& probe : c.probes) {
            SCOPED_TRACE(QString("(%1, %2)").arg(probe.x).arg(probe.y).toStdString());
            EXPECT_EQ(frame.pixel(probe.x, probe.y) & 0xFFFFFF, probe.colour & 0xFFFFFF);
        }
        EXPECT_EQ(f.h.log.contains("VideoMixerX1.MixedFramePicture(-1)"), QString(c.name) == "mixer");
    }
}

TEST(LessonTick, FailuresLeaveABlackFrameThatIsStillAppended) {
    LessonFixture f(16, 12);
    f.h.engine1->failOn("CurrentFramePicture", kEngineFailure);
    f.h.engine4->failOn("AddFrame", kEngineFailure);
    ASSERT_TRUE(f.h.c().TVN_StartLesson("x.avi", 25));
    f.h.platform->advance(100);
    EXPECT_NO_THROW(f.lessonTimer().fire());
    EXPECT_EQ(f.h.log.count("VideoCapX4.AddFrame(handle)"), 3);  // due 2.5 -> 2, n = 2
    EXPECT_EQ(f.lesson().lessonFramesWritten(), 3);
    EXPECT_EQ(f.h.c().lastNotificationError(), nullptr);
    EXPECT_EQ(f.h.probe().picture(3).image().pixel(8, 6) & 0xFFFFFF, 0u);
}

TEST(LessonPauseResume, PausedTimeIsLeftOutOfTheVideo) {
    LessonFixture f(16, 12);
    ASSERT_TRUE(f.h.c().TVN_StartLesson("x.avi", 25));
    f.lessonTimer().fire();
    f.h.platform->advance(500);
    f.lessonTimer().fire();
    ASSERT_EQ(f.framesAdded(), 13);  // due 12.5 -> 12, one ahead

    f.h.log.clear();
    f.h.c().TVN_PauseLesson();
    EXPECT_EQ(f.h.log.entries(), QStringList{"audioRecorder.PauseRecord()"});
    EXPECT_FALSE(f.lessonTimer().fire());
    EXPECT_TRUE(f.h.c().TVN_LessonInProgress);

    f.h.platform->advance(5000);
    f.h.recorder->paused = true;
    f.h.log.clear();
    f.h.c().TVN_ResumeLesson();
    EXPECT_EQ(f.h.log.entries(), QStringList({"audioRecorder.IsPaused()", "audioRecorder.ResumeRecord()"}));
    EXPECT_EQ(f.lesson().lessonStartTick(), 5500u);
    EXPECT_EQ(f.lesson().lessonFramesWritten(), 0);
    ASSERT_TRUE(f.lessonTimer().fire());
    f.h.platform->advance(200);
    f.lessonTimer().fire();
    EXPECT_EQ(f.framesAdded(), 13 + 6);  // restarted count: 1, then due 5 -> 6
}

TEST(LessonPauseResume, ResumeRestartsAStoppedRecorderIgnoringItsStartFailures) {
    LessonFixture f;
    ASSERT_TRUE(f.h.c().TVN_StartLesson("x.avi", 25));
    f.h.c().TVN_PauseLesson();
    f.h.recorder->paused = false;
    f.h.recorder->failOn("StartRecord", kEngineFailure);
    f.h.log.clear();
    EXPECT_NO_THROW(f.h.c().TVN_ResumeLesson());
    EXPECT_EQ(f.h.log.entries(), QStringList({"audioRecorder.IsPaused()", "audioRecorder.StopRecord()",
                                              "audioRecorder.SetRecordOption(28)",
                                              "audioRecorder.StartRecord(2, 44100)"}));
    EXPECT_TRUE(f.lessonTimer().isEnabled());
}

TEST(LessonPauseResume, ResumeWithoutALessonDoesNothing) {
    LessonFixture f;
    f.h.c().TVN_PauseLesson();
    f.h.log.clear();
    f.h.c().TVN_ResumeLesson();
    EXPECT_TRUE(f.h.log.entries().isEmpty());
    EXPECT_FALSE(f.lessonTimer().isEnabled());
}

TEST(LessonPauseResume, ComponentErrorsReachTheHostUnchanged) {
    struct Case {
        const char* op;
        bool resume;
    };
    for (const Case& c : {Case{"PauseRecord", false}, Case{"ResumeRecord", true}, Case{"IsPaused", true}}) {
        SCOPED_TRACE(c.op);
        LessonFixture f;
        ASSERT_TRUE(f.h.c().TVN_StartLesson("x.avi", 25));
        f.h.c().TVN_PauseLesson();
        f.h.recorder->paused = true;
        f.h.recorder->failOn(c.op, kEngineFailure);
        const auto e = errorFrom([&] { c.resume ? f.h.c().TVN_ResumeLesson() : f.h.c().TVN_PauseLesson(); });
        ASSERT_TRUE(e) << "no failure";
        EXPECT_EQ(e->source(), "VideoCapX");
        EXPECT_FALSE(f.lessonTimer().isEnabled());
    }
}

TEST(LessonStop, StopsBothFilesEveryTime) {
    LessonFixture f;
    ASSERT_TRUE(f.h.c().TVN_StartLesson("x.avi", 25));
    f.h.log.clear();
    f.h.c().TVN_StopLesson();
    f.h.c().TVN_StopLesson();
    EXPECT_EQ(f.h.log.entries(), QStringList({"audioRecorder.StopRecord()", "VideoCapX4.StopFileCapture()",
                                              "audioRecorder.StopRecord()", "VideoCapX4.StopFileCapture()"}));
    EXPECT_FALSE(f.h.c().TVN_LessonInProgress);
    EXPECT_FALSE(f.lessonTimer().isEnabled());
    EXPECT_TRUE(f.h.c().TVN_StartLesson("x.avi", 25));  // a new lesson may start
}

TEST(LessonStop, FailureBeforeTheEndLeavesTheLessonInProgress) {
    for (bool onRecorder : {true, false}) {
        LessonFixture f;
        ASSERT_TRUE(f.h.c().TVN_StartLesson("x.avi", 25));
        if (onRecorder)
            f.h.recorder->failOn("StopRecord", kEngineFailure);
        else
            f.h.engine4->failOn("StopFileCapture", kEngineFailure);
        EXPECT_THROW(f.h.c().TVN_StopLesson(), TvnError);
        EXPECT_TRUE(f.h.c().TVN_LessonInProgress);
        EXPECT_FALSE(f.lessonTimer().isEnabled());
    }
}

TEST(LessonLogo, LoadsAPictureOrFailsNamingTheFile) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString png = dir.filePath("logo.png");
    ASSERT_TRUE(solid(30, 20, qRgb(10, 20, 30)).save(png));
    const QString text = dir.filePath("notes.txt");
    {
        QFile file(text);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("not a picture");
    }
    struct Case {
        QString file;
        int32_t number;  // 0: loads
    };
    const Case cases[] = {{png, 0}, {dir.filePath("missing.png"), err::FileNotFound}, {text, err::InvalidPicture},
                          {QString(), err::FileNotFound}, {dir.path(), err::FileNotFound}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file.toStdString());
        LessonFixture f;
        // A logo that was there before: a failed load removes it.
        f.h.c().TVN_SetLogo(png, 5, 6);
        try {
            f.h.c().TVN_SetLogo(c.file, 40, 50);
            EXPECT_EQ(c.number, 0);
        } catch (const TvnError& e) {
            EXPECT_EQ(e.number(), c.number);
            EXPECT_TRUE(e.description().contains(c.file)) << e.what();
            EXPECT_TRUE(e.source().startsWith("(TVN_SetLogo)->")) << e.what();
        }
        ControlState& s = f.h.probe().state();
        Surface& logo = f.h.probe().picture(4);
        if (c.number == 0) {
            EXPECT_EQ(s.logoFileName, png);
            EXPECT_EQ(s.logoTop, 40);
            EXPECT_EQ(s.logoLeft, 50);
            EXPECT_EQ(logo.picture().image().size(), QSize(30, 20));
            EXPECT_EQ(logo.image().pixel(29, 19) & 0xFFFFFF, qRgb(10, 20, 30) & 0xFFFFFF);
        } else {
            EXPECT_TRUE(s.logoFileName.isEmpty());
            EXPECT_TRUE(logo.picture().isNothing());
            EXPECT_EQ(s.logoTop, 5);
            EXPECT_EQ(s.logoLeft, 6);
        }
    }
}

QStringList tenProfiles(int builtInAt, int secondAt = -1) {
    QStringList names;
    for (int i = 0; i < 10; ++i) names << QString("Profile %1").arg(i);
    names[builtInAt] = LessonCompressor::BuiltInProfileName;
    if (secondAt >= 0) names[secondAt] = LessonCompressor::BuiltInProfileName;
    return names;
}

TEST(LessonCompression, BuiltInProfileIsFoundAmongIndicesZeroThroughN) {
    ControlHarness h;
    h.engine4->profileNames = tenProfiles(4);
    h.log.clear();
    EXPECT_EQ(h.c().TVN_CompressLesson("/l/a.avi", "/l/a.wmv"), 0);
    QStringList expected = {"VideoCapX4.VideoCompressor = -1", "VideoCapX4.AudioCompressor = -1",
                            "VideoCapX4.Setting3 = 95", "VideoCapX4.ProfileCount"};
    for (int i = 0; i <= 10; ++i) {
        expected << QString("VideoCapX4.ProfileName(%1)").arg(i);
        if (i == 4) expected << "VideoCapX4.Profile = 4";
    }
    expected << "VideoCapX4.SetTextOverlay(0, \" \", 0, 0, \"Arial\", 12, 255, -1)"
             << "VideoCapX4.ConvertToWmv(\"/l/a.avi\", \"/l/a.avi.wav\", \"/l/a.wmv\", 0, 1e+06)";
    EXPECT_EQ(h.log.entries(), expected);
}

TEST(LessonCompression, ProfileChoice) {
    struct Case {
        const char* name;
        QStringList profiles;
        QString profileFile;  // "" built-in
        QStringList profileWrites;
        int32_t profile;
        QString custom;
    };
    const Case cases[] = {
        {"two matches: the last", tenProfiles(2, 7), "", {"VideoCapX4.Profile = 2", "VideoCapX4.Profile = 7"}, 7, ""},
        {"no match: unchanged", QStringList{"Video for broadband NTSC (1500 kbps total)", "Other"}, "", {}, 3, ""},
        {"empty custom file", tenProfiles(4), "/p/empty.prx", {"VideoCapX4.Profile = -1"}, -1, ""},
        {"custom file", tenProfiles(4), "/p/mine.prx", {"VideoCapX4.Profile = -1"}, -1, "size = 640x480\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ControlHarness h;
        h.engine4->profileNames = c.profiles;
        h.engine4->profile = 3;
        h.engine4->customProfile = "untouched";
        h.platform->textFiles["/p/empty.prx"] = "";
        h.platform->textFiles["/p/mine.prx"] = "size = 640x480\n";
        h.c().TVN_LessonProfile = c.profileFile;
        h.log.clear();
        h.c().TVN_CompressLesson("a.avi", "a.wmv");
        EXPECT_EQ(h.log.withPrefix("VideoCapX4.Profile ="), c.profileWrites);
        EXPECT_EQ(h.engine4->profile, c.profile);
        if (!c.profileFile.isEmpty()) {
            EXPECT_EQ(h.engine4->customProfile, c.custom);
            EXPECT_FALSE(h.log.contains("VideoCapX4.ProfileCount"));
        } else {
            EXPECT_EQ(h.engine4->customProfile, "untouched");
        }
    }
}

TEST(LessonCompression, MissingProfileFileFailsBeforeConverting) {
    ControlHarness h;
    h.c().TVN_LessonProfile = "/p/none.prx";
    const auto e = errorFrom([&] { h.c().TVN_CompressLesson("a.avi", "a.wmv"); });
    ASSERT_TRUE(e) << "no failure";
    EXPECT_EQ(e->number(), err::FileNotFound);
    EXPECT_TRUE(e->description().contains("/p/none.prx"));
    EXPECT_TRUE(h.log.withPrefix("VideoCapX4.ConvertToWmv").isEmpty());
}

TEST(LessonCompression, ProgressIsResetAndEventsFollowTheEngine) {
    ControlHarness h;
    Trelvan& c = h.c();
    QList<int32_t> seen;
    int completions = 0;
    QObject::connect(&c, &Trelvan::LessonCompressionProgress, [&] { seen << c.TVN_LessonCompressionProgress; });
    QObject::connect(&c, &Trelvan::LessonCompressionComplete, [&] { ++completions; });

    c.TVN_LessonCompressionProgress = 100;  // left from an earlier conversion
    c.TVN_CompressLesson("a.avi", "a.wmv");
    EXPECT_EQ(c.TVN_LessonCompressionProgress, 0);

    emit h.engine4->CompressionProgress(10, 0);
    emit h.engine4->CompressionProgress(55, 7);
    emit h.engine4->CompressionDone();
    EXPECT_EQ(seen, QList<int32_t>({10, 55}));
    EXPECT_EQ(c.TVN_LessonCompressionProgress, 55);
    EXPECT_EQ(completions, 1);
    EXPECT_EQ(c.lastNotificationError(), nullptr);
}

}  // namespace
