// Lessons through the control on fakes, time moved by hand: what a start leaves
// on the recording engine and the audio recorder, the frame loop's catch-up and
// composition on pixels, pause, resume, stop, the logo and compression.
#include "fakes/ControlHarness.h"

#include <QFile>
#include <QPainter>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace tvn;
using namespace tvn::testing;

namespace {

const TvnError kFailure(-2147221000, "engine failed", "VideoCapX");

// A control with a clip "open" (what the frame loop reads) of the given size.
struct Lesson {
    explicit Lesson(int width = 320, int height = 240) {
        h.c().TVN_videoFileName = "clip.mp4";
        h.c().TVN_NumFrames = 100;
        h.engine1->videoWidth = width;
        h.engine1->videoHeight = height;
    }
    Trelvan& c() { return h.c(); }
    FakeTimer& timer() { return h.platform->timer(2); }
    LessonRecorder& lesson() { return h.probe().lesson(); }
    int frames() const { return static_cast<int>(h.engine4->addedFrames.size()); }
    ControlHarness h;
};

TEST(LessonStart, SetsUpTheRecordingEngineAndTheRecorder) {
    Lesson f;
    f.h.platform->now = 5000;
    QStringList deletedAtStart;  // the old files go before the new capture starts
    f.h.engine4->onStartCapture = [&] { deletedAtStart = f.h.platform->deleted; };
    EXPECT_TRUE(f.c().TVN_StartLesson("/l/a.avi", 30));
    FakeVideoEngine& e = *f.h.engine4;
    EXPECT_EQ(std::tuple(bool(e.recordFlag28), bool(e.Display()->isHidden()), e.rate, e.frameWidth, e.frameHeight),
              std::tuple(true, true, 1, 320, 240));
    EXPECT_EQ(std::tuple(e.CaptureFileName(), deletedAtStart, e.captureFps, f.h.recorder->fileName),
              std::tuple("/l/a.avi", QStringList({"/l/a.avi", "/l/a.avi.wav"}), 30.0, "/l/a.avi.wav"));
    EXPECT_EQ(std::tuple(f.h.recorder->recordOption, bool(f.h.recorder->recording), bool(f.c().TVN_LessonInProgress)),
              std::tuple(28, true, true));
    EXPECT_EQ(std::tuple(bool(f.timer().isEnabled()), f.timer().interval(), f.lesson().lessonStartTick()),
              std::tuple(true, 17, 5000u));
    // A second start while the lesson runs answers false and changes nothing.
    f.h.platform->advance(300);
    EXPECT_FALSE(f.c().TVN_StartLesson("/l/b.avi", 10));
    EXPECT_EQ(std::tuple(e.CaptureFileName(), f.h.recorder->starts, f.lesson().lessonStartTick(), f.timer().interval()),
              std::tuple("/l/a.avi", 1, 5000u, 17));
}

// An fps below 1 is 1; the timer ticks twice per frame (12.5 ms rounds to the
// even 12), never at 0 ms. The encoder is the last one named "DV V...", in any
// case, or the default (-1).
TEST(LessonStart, FpsTimerAndEncoder) {
    struct Case { int32_t fps; QStringList encoders; int32_t lessonFps, interval, encoder; };
    const Case cases[] = {
        {0, {"DVVideo", "dv", "d v video"}, 1, 500, -1},
        {-7, {"Motion JPEG", "dv video"}, 1, 500, 1},
        {40, {"DV Video Encoder", "Motion JPEG", "dV V2"}, 40, 12, 2},
        {5000, {}, 5000, 1, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fps);
        Lesson f;
        f.h.engine4->compressorNames = c.encoders;
        EXPECT_TRUE(f.c().TVN_StartLesson("x.avi", c.fps));
        EXPECT_EQ(std::tuple(f.lesson().lessonFps(), f.timer().interval(), f.h.engine4->captureFps),
                  std::tuple(c.lessonFps, c.interval, double(c.lessonFps)));
        EXPECT_EQ(f.h.engine4->VideoCompressor(), c.encoder);
    }
}

// Old files that cannot be deleted and failing audio steps (each tried on its
// own) leave the lesson running; a failing engine or sound file name fails the
// start unchanged (no handler, no prefix) and leaves no lesson and no capture
// running. A capture the engine would refuse deletes nothing.
TEST(LessonStart, FailuresAtTheStart) {
    struct Case { const char* op; bool onRecorder, fails; int starts; bool deletes; };
    for (const Case& c : {Case{"StartRecord", true, false, 0, true}, {"SetRecordOption", true, false, 1, true},
                          {"SelectLineInput", true, false, 1, true}, {"GetLineInputCount", true, false, 1, true},
                          {"SetFileName", true, true, 0, true}, {"StartFileCapture", false, true, 0, true},
                          {"checkFileCapture", false, true, 0, false}}) {
        SCOPED_TRACE(c.op);
        Lesson f;
        f.h.recorder->lineInputNames = {"Mic"};
        (c.onRecorder ? static_cast<ScriptedFailures&>(*f.h.recorder) : *f.h.engine4).failOn(c.op, kFailure);
        f.h.platform->missingFiles = {"x.avi", "x.avi.wav"};
        bool started = false;
        const auto e = errorFrom([&] { started = f.c().TVN_StartLesson("x.avi", 25); });
        EXPECT_EQ(std::tuple(e ? e->source() : "", started, bool(f.c().TVN_LessonInProgress)),
                  std::tuple(c.fails ? "VideoCapX" : "", !c.fails, !c.fails));
        EXPECT_EQ(std::tuple(bool(f.timer().isEnabled()), bool(f.h.engine4->captureFps)), std::tuple(!c.fails, !c.fails));
        EXPECT_EQ(std::tuple(f.h.recorder->starts, f.h.platform->deleted.size()), std::tuple(c.starts, c.deletes ? 2 : 0));
    }
}

// A lesson never records over a clip on screen, nor its sound file over one:
// refused with the reason before anything is touched or deleted.
TEST(LessonStart, RefusesToRecordOverAClipOnScreen) {
    struct Case { const char* lesson; const char* shown; bool overlaid, overlayClosed, refused; };
    const Case cases[] = {
        {"clip.mp4", "clip.mp4", false, false, true},
        {"./sub/../clip.mp4", "clip.mp4", false, false, true},
        {"second.avi", "clip.mp4", true, false, true},
        {"cut.avi", "cut.avi.wav", false, false, true},  // the sound file would be the clip
        {"second.avi", "clip.mp4", true, true, false},   // the second clip is gone again
        {"lesson.avi", "clip.mp4", true, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.lesson);
        Lesson f;
        f.h.openClip(c.shown, 100, 4000);
        QString second = "second.avi";
        if (c.overlaid) f.c().TVN_Overlay(second);
        if (c.overlayClosed) f.h.openClip(c.shown, 100, 4000);  // opening closes the overlay
        f.h.platform->deleted.clear();
        const auto e = errorFrom([&] { f.c().TVN_StartLesson(c.lesson, 25); });
        EXPECT_EQ(e ? e->number() : 0, c.refused ? err::PathFileAccess : 0);
        if (e) EXPECT_TRUE(e->description().contains("nothing was deleted")) << e->what();
        EXPECT_EQ(std::tuple(f.h.platform->deleted.size(), bool(f.h.engine4->captureFps), bool(f.c().TVN_LessonInProgress)),
                  std::tuple(c.refused ? 0 : 2, !c.refused, !c.refused));
    }
}

// A failing step is skipped and the next one runs.
TEST(AudioSelection, PicksInputsAsTheHostChoseOrTheLastMicrophone) {
    struct Case {
        int16_t device, line;
        QStringList inputs;
        const char* failing;
        int32_t selectedDevice, selectedLine;
    };
    const Case cases[] = {
        {-1, -1, {"Line In", "Microphone", "MIC 2"}, "", -1, 2},
        {-1, -1, {"Line In", "CD Audio"}, "", -1, -1},
        {1, 3, {"Mic"}, "", 1, 3},
        {0, -1, {"mic"}, "", 0, 0},
        {0, -1, {"Mic"}, "SelectDevice", -1, 0},
        {0, -1, {"Mic"}, "GetLineInputName", 0, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.inputs.join(",").toStdString() + c.failing);
        Lesson f;
        f.h.recorder->lineInputNames = c.inputs;
        f.h.recorder->failOn(c.failing, kFailure);
        f.c().TVN_SelectedAudioDevice = c.device;
        f.c().TVN_SelectedLineInput = c.line;
        EXPECT_NO_THROW(f.h.probe().ApplyAudioSelection());
        EXPECT_EQ(std::tuple(f.h.recorder->device, f.h.recorder->lineInput, f.h.recorder->recordOption),
                  std::tuple(c.selectedDevice, c.selectedLine, 5));
    }
}

TEST(AudioSelection, SelectDeviceRefillsLineInputsAndResetsTheLineChoice) {
    Lesson f;
    f.c().TVN_AudioLineInputs = Collection({"old 1", "old 2", "old 3"});
    f.c().TVN_SelectedLineInput = 2;
    f.h.recorder->lineInputNames = {"Mic", "Line"};
    f.c().TVN_SelectAudioDevice(1);
    EXPECT_EQ(std::tuple(f.c().TVN_SelectedAudioDevice, f.c().TVN_SelectedLineInput), std::tuple(1, -1));
    EXPECT_EQ(std::tuple(f.c().TVN_AudioLineInputs.items(), f.h.recorder->device, f.h.recorder->lineInput),
              std::tuple(QStringList({"Mic", "Line"}), 1, 0));
    f.h.recorder->failOn("SelectDevice", kFailure);
    f.c().TVN_SelectedLineInput = 4;
    const auto e = errorFrom([&] { f.c().TVN_SelectAudioDevice(2); });
    ASSERT_TRUE(e) << "no failure";
    // Passed unchanged; the device was taken before the recorder failed.
    EXPECT_EQ(std::tuple(e->source(), f.c().TVN_SelectedAudioDevice, f.c().TVN_SelectedLineInput),
              std::tuple("VideoCapX", 2, -1));
    f.c().TVN_SelectAudioLineInput(9);  // passed on with no range test
    EXPECT_EQ(std::tuple(f.h.recorder->lineInput, f.c().TVN_SelectedLineInput), std::tuple(9, 9));
}

// Started 256 ms before the tick count wraps, so the clock wraps on the way;
// a backlog is written a bounded number of frames per tick.
TEST(LessonTick, CatchUpFollowsTheClockAt25Fps) {
    Lesson f(8, 6);
    const int most = LessonRecorder::MaxFramesPerTick;
    const uint32_t start = 0xFFFFFF00u;
    f.h.platform->now = start;
    ASSERT_TRUE(f.c().TVN_StartLesson("x.avi", 25));
    struct Step { uint32_t elapsedMs; int added, written; };
    const Step steps[] = {
        {0, 1, 1},       // due 0, one frame ahead
        {20, 0, 1},      // due 0 (0.5 to even)
        {1000, 25, 26},  {1020, 1, 27},  // due 26 (25.5 to even)
        {1280, 6, 33},   // 240 ms late
        {1801280, most, 33 + most}, {1801280, 45033 - 33 - most, 45033},  // 30 minutes late: 45032 due
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.elapsedMs);
        f.h.platform->now = start + s.elapsedMs;
        const int before = f.frames();
        ASSERT_TRUE(f.timer().fire());
        EXPECT_EQ(std::tuple(f.frames() - before, f.lesson().lessonFramesWritten()), std::tuple(s.added, s.written));
    }
}

TEST(LessonTick, FramesDueRoundsTrueHalvesToEven) {
    struct Case { uint32_t elapsed; int32_t fps; int64_t due; };
    const Case cases[] = {
        {60, 25, 2},
        {4100, 15, 62},  // 61.5: a floating product gives 61.4999...
        {33300, 15, 500}, {0xFFFFFFFFu, 1, 4294967},
    };
    for (const Case& c : cases) EXPECT_EQ(LessonRecorder::framesDue(c.elapsed, c.fps), c.due) << c.elapsed;
}


TEST(LessonTick, LessonStartedWithoutAClipComposesAt640x480) {
    Lesson f(0, 0);
    f.c().TVN_videoFileName.clear();
    ASSERT_TRUE(f.c().TVN_StartLesson("x.avi", 25));
    f.h.platform->advance(1000);
    f.timer().fire();
    EXPECT_EQ(f.frames() + f.h.engine1->framePictures, 0);  // nothing is composed until a clip opens
    f.c().TVN_videoFileName = "late.mp4";
    f.h.engine1->currentPicture = Picture(solid(320, 240, qRgb(0, 200, 0)));
    f.timer().fire();
    ASSERT_EQ(f.frames(), 26);
    const QImage frame = f.h.engine4->addedFrames.back();
    EXPECT_EQ(std::tuple(frame.size(), frame.pixel(639, 479)), std::tuple(QSize(640, 480), qRgb(0, 200, 0)));
}

TEST(LessonTick, ComposesWhatTheControlShows) {
    const QRgb red = qRgb(255, 0, 0), green = qRgb(0, 255, 0), blue = qRgb(0, 0, 255), yellow = qRgb(255, 255, 0),
               black = qRgb(0, 0, 0);
    // The clip has a red stripe in its first 4 columns that side-by-side panes crop (they start at W / 15).
    QImage clip = solid(64, 48, green);
    QPainter(&clip).fillRect(0, 0, 4, 48, Qt::red);
    struct Case {
        const char* name;
        bool filmStrip, display, second, mixer;
        std::vector<std::tuple<int, int, QRgb>> probes;
    };
    const Case cases[] = {
        {"film strip", true, true, true, true, {{63, 47, blue}}},
        // Panes at y 7..39, left x 0..42.7, right from x 32 on.
        {"side by side", false, true, true, true,
         {{1, 20, green}, {30, 20, green}, {40, 20, yellow}, {63, 20, yellow}, {20, 3, black}, {20, 44, black}}},
        {"display", false, true, false, true, {{0, 0, red}, {2, 47, red}, {10, 10, green}, {63, 47, green}}},
        {"mixer", false, false, true, true, {{63, 47, yellow}}},
        {"nothing shown", false, false, false, false, {{63, 47, black}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Lesson f(64, 48);
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
        ASSERT_TRUE(f.c().TVN_StartLesson("x.avi", 25));
        f.timer().fire();
        ASSERT_EQ(f.frames(), 1);
        const QImage frame = f.h.engine4->addedFrames.front();
        ASSERT_EQ(frame.size(), QSize(64, 48));
        for (const auto& [x, y, colour] : c.probes)
            EXPECT_EQ(frame.pixel(x, y) & 0xFFFFFF, colour & 0xFFFFFF) << x << "," << y;
    }
}

// A failing picture leaves a black frame that is still appended; a frame the
// engine refuses (a full disk) is counted, and the lesson's first refusal goes
// to the host once, however many follow.
TEST(LessonTick, FailuresLeaveABlackFrameThatIsStillAppended) {
    Lesson f(16, 12);
    f.h.engine1->failOn("CurrentFramePicture", kFailure);
    ASSERT_TRUE(f.c().TVN_StartLesson("x.avi", 25));
    f.timer().fire();
    EXPECT_EQ(f.c().lastNotificationError(), nullptr);
    const TvnError diskFull(-2147219000, "Cannot write lesson video 'x.avi': No space left on device", "VideoCapX");
    f.h.engine4->failOn("AddFrame", diskFull);
    int signalled = 0;
    QObject::connect(&f.c(), &Trelvan::failed, [&](const TvnError&) { ++signalled; });
    f.h.platform->advance(100);
    EXPECT_NO_THROW(f.timer().fire());
    f.h.platform->advance(100);
    f.timer().fire();
    EXPECT_EQ(std::tuple(f.frames(), f.lesson().lessonFramesWritten(), signalled), std::tuple(6, 6, 1));
    ASSERT_NE(f.c().lastNotificationError(), nullptr);
    EXPECT_EQ(std::tuple(f.c().lastNotificationError()->description(), f.c().lastNotificationError()->source()),
              std::tuple(diskFull.description(), "(LessonTimer_Timer)->VideoCapX"));
    EXPECT_EQ(f.h.engine4->addedFrames.back().pixel(8, 6) & 0xFFFFFF, 0u);
    // A new lesson reports its own first refusal.
    f.c().TVN_StopLesson();
    ASSERT_TRUE(f.c().TVN_StartLesson("y.avi", 25));
    f.timer().fire();
    EXPECT_EQ(signalled, 2);
}

TEST(LessonPauseResume, PausedTimeIsLeftOutOfTheVideo) {
    Lesson f(16, 12);
    ASSERT_TRUE(f.c().TVN_StartLesson("x.avi", 25));
    f.timer().fire();
    f.h.platform->advance(500);
    f.timer().fire();
    ASSERT_EQ(f.frames(), 13);
    f.c().TVN_PauseLesson();
    EXPECT_EQ(std::tuple(bool(f.h.recorder->paused), f.timer().fire()), std::tuple(true, false));
    f.h.platform->advance(5000);
    f.c().TVN_ResumeLesson();
    EXPECT_EQ(std::tuple(bool(f.h.recorder->paused), f.h.recorder->starts), std::tuple(false, 1));  // not restarted
    ASSERT_TRUE(f.timer().fire());
    f.h.platform->advance(200);
    f.timer().fire();
    EXPECT_EQ(f.frames(), 13 + 6);  // a new count: 1, then due 5 -> 6
    // Each stretch of voice is given its pictures' length before it ends; a
    // second stop has no stretch left to end.
    f.c().TVN_StopLesson();
    f.c().TVN_StopLesson();
    EXPECT_EQ(f.h.recorder->stretchLengths, std::vector<double>({13 / 25.0, 6 / 25.0}));
}

// A resume restarts a recorder that stopped on its own, ignoring a failing
// start; other failures of a pause, resume or stop reach the host unchanged,
// the lesson still on and its timer off.
TEST(LessonPauseResume, ResumeRestartsAStoppedRecorderAndPassesOtherFailures) {
    struct Case { char action; const char* failing; bool onEngine, stoppedOnItsOwn; const char* source; int starts; };
    const Case cases[] = {
        {'r', "", false, true, "", 2},
        {'r', "StartRecord", false, true, "", 1},
        {'p', "PauseRecord", false, false, "VideoCapX", 1},
        {'r', "ResumeRecord", false, false, "VideoCapX", 1},
        {'r', "IsPaused", false, false, "VideoCapX", 1},
        {'s', "StopRecord", false, false, "VideoCapX", 1},
        {'s', "StopFileCapture", true, false, "VideoCapX", 1},
        {'s', "", false, false, "", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.failing);
        Lesson f;
        ASSERT_TRUE(f.c().TVN_StartLesson("x.avi", 25));
        if (c.action != 's') f.c().TVN_PauseLesson();
        if (c.stoppedOnItsOwn) f.h.recorder->paused = false;
        if (c.stoppedOnItsOwn) f.h.recorder->recordOption = 0;
        (c.onEngine ? static_cast<ScriptedFailures&>(*f.h.engine4) : *f.h.recorder).failOn(c.failing, kFailure);
        const auto e = errorFrom([&] {
            if (c.action == 's') f.c().TVN_StopLesson();
            if (c.action == 'r') f.c().TVN_ResumeLesson();
            if (c.action == 'p') f.c().TVN_PauseLesson();
        });
        EXPECT_EQ(std::tuple(e ? e->source() : "", f.h.recorder->starts, f.h.recorder->recordOption),
                  std::tuple(c.source, c.starts, 28));
        // A stop stops everything even when a part of it fails, and the lesson is over.
        const bool stopped = c.action == 's';
        EXPECT_EQ(std::tuple(bool(f.timer().isEnabled()), bool(f.c().TVN_LessonInProgress)),
                  std::tuple(!*c.source && !stopped, !stopped));
        if (stopped) {
            EXPECT_EQ(f.h.engine4->captureStops, c.onEngine ? 0 : 1);  // the video is closed after a failed sound stop
            f.h.recorder->clear();
            f.h.engine4->clear();
            EXPECT_TRUE(f.c().TVN_StartLesson("y.avi", 25));
        }
    }
}

// Stopping twice stops both files each time, and a new lesson may start.
TEST(LessonStop, StopsBothFilesEveryTime) {
    Lesson f;
    ASSERT_TRUE(f.c().TVN_StartLesson("x.avi", 25));
    f.c().TVN_StopLesson();
    f.c().TVN_StopLesson();
    EXPECT_EQ(std::tuple(f.h.engine4->captureStops, bool(f.h.recorder->recording), bool(f.timer().isEnabled())),
              std::tuple(2, false, false));
    EXPECT_TRUE(f.c().TVN_StartLesson("x.avi", 25));
}

TEST(LessonLogo, LoadsAPictureOrFailsNamingTheFile) {
    QTemporaryDir dir;
    const QString png = dir.filePath("logo.png");
    ASSERT_TRUE(solid(30, 20, qRgb(10, 20, 30)).save(png));
    const QString text = testclips::writeFile(dir.filePath("notes.txt"), "not a picture");
    // A pipe would block the reader for ever and a device flood it: refused unread.
    const QString fifo = dir.filePath("logo.fifo");
    ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const std::pair<QString, int32_t> cases[] = {
        {png, 0}, {dir.filePath("missing.png"), err::FileNotFound}, {text, err::InvalidPicture},
        {fifo, err::PathFileAccess}, {"/dev/zero", err::PathFileAccess}, {dir.path(), err::PathFileAccess}};
    for (const auto& [name, number] : cases) {
        SCOPED_TRACE(name.toStdString());
        Lesson f;
        f.c().TVN_SetLogo(png, 5, 6);  // a logo that was there before: a failed load removes it
        const auto e = errorFrom([&] { f.c().TVN_SetLogo(name, 40, 50); });
        EXPECT_EQ(e ? e->number() : 0, number);
        if (e) EXPECT_TRUE(e->description().contains(name) && e->source().startsWith("(TVN_SetLogo)->")) << e->what();
        ControlState& s = f.h.probe().state();
        Surface& logo = f.h.probe().picture(4);
        EXPECT_EQ(std::tuple(s.lessonLogo.logoFileName, std::make_pair(s.lessonLogo.logoTop, s.lessonLogo.logoLeft)),
                  std::tuple(number ? QString() : png, number ? std::make_pair(5, 6) : std::make_pair(40, 50)));
        EXPECT_EQ(logo.picture().isNothing(), number != 0);
        if (!number) EXPECT_EQ(logo.image().pixel(29, 19) & 0xFFFFFF, qRgb(10, 20, 30) & 0xFFFFFF);
    }
}

QStringList tenProfiles(int builtInAt, int secondAt = -1) {
    QStringList names;
    for (int i = 0; i < 10; ++i) names << QString("Profile %1").arg(i);
    names[builtInAt] = LessonCompressor::BuiltInProfileName;
    if (secondAt >= 0) names[secondAt] = LessonCompressor::BuiltInProfileName;
    return names;
}

TEST(LessonCompression, ConvertsWithTheChosenProfile) {
    struct Case {
        const char* name;
        QStringList profiles;
        QString profileFile;  // "": built-in
        int32_t profile;
        QString custom;
    };
    const Case cases[] = {
        {"two matches: the last", tenProfiles(2, 7), "", 7, "untouched"},
        {"no match: unchanged", {"Video for broadband NTSC (1500 kbps total)", "Other"}, "", 3, "untouched"},
        {"at the count itself", tenProfiles(0) << LessonCompressor::BuiltInProfileName, "", 10, "untouched"},
        {"custom file", tenProfiles(4), "/p/mine.prx", -1, "size = 640x480\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ControlHarness h;
        h.engine4->profileNames = c.profiles;
        h.engine4->profileCount = 10;  // names are looked up from 0 up to and including the count
        h.engine4->SetProfile(3);
        h.engine4->SetVideoCompressor(5);  // left from a lesson: compression takes the defaults
        h.engine4->SetAudioCompressor(5);
        h.engine4->SetCustomProfile("untouched");
        h.platform->textFiles["/p/mine.prx"] = "size = 640x480\n";
        h.c().TVN_LessonProfile = c.profileFile;
        EXPECT_EQ(h.c().TVN_CompressLesson("/l/a.avi", "/l/a.wmv"), 0);
        EXPECT_EQ(std::tuple(h.engine4->Profile(), h.engine4->customProfile(), h.engine4->VideoCompressor()),
                  std::tuple(c.profile, c.custom, -1));
        EXPECT_EQ(std::tuple(h.engine4->audioCompressor(), h.engine4->setting3(), h.engine4->textOverlay),
                  std::tuple(-1, 95, " "));
        EXPECT_EQ(h.engine4->converted, QStringList({"/l/a.avi", "/l/a.avi.wav", "/l/a.wmv"}));
    }
}

// A missing profile file fails before converting; the progress left from an
// earlier conversion is reset, and the events follow the engine's.
TEST(LessonCompression, ProfileFailureProgressAndEvents) {
    ControlHarness h;
    Trelvan& c = h.c();
    c.TVN_LessonProfile = "/p/none.prx";
    const auto e = errorFrom([&] { c.TVN_CompressLesson("a.avi", "a.wmv"); });
    ASSERT_TRUE(e) << "no failure";
    EXPECT_TRUE(e->description().contains("/p/none.prx") && h.engine4->converted.isEmpty());
    QList<int32_t> seen;
    int completions = 0;
    QObject::connect(&c, &Trelvan::LessonCompressionProgress, [&] { seen << c.TVN_LessonCompressionProgress; });
    QObject::connect(&c, &Trelvan::LessonCompressionComplete, [&] { ++completions; });
    c.TVN_LessonProfile.clear();
    c.TVN_LessonCompressionProgress = 100;
    c.TVN_CompressLesson("a.avi", "a.wmv");
    EXPECT_EQ(c.TVN_LessonCompressionProgress, 0);
    emit h.engine4->CompressionProgress(10, 0);
    emit h.engine4->CompressionProgress(55, 7);
    emit h.engine4->CompressionDone();
    EXPECT_EQ(std::tuple(seen, completions, c.lastNotificationError()),
              std::tuple(QList<int32_t>({10, 55}), 1, nullptr));
}

}  // namespace
