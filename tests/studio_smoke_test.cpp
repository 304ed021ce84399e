// The reference host, offscreen: a clip opens, space plays and pauses, the arrow
// keys step and the frame slider jumps, each seen in the frame on screen; and
// what a coach meets through a session: the sound level on every open, the
// docks at 1200 x 760 with every control reachable, marking a point without
// drawing, the recording mark; key moments on the timeline and in their list,
// analysis documents and the offer to recover unsaved work; the analysis
// exported as a video from its dialog. With TVN_STUDIO_SHOTS set to a folder, each step
// leaves a picture of the window there.
#include "AnalysisFiles.h"
#include "ExportDialog.h"
#include "KeyMomentsPanel.h"
#include "LessonPanel.h"
#include "MotionPanel.h"
#include "StudioWindow.h"
#include "TimelineSlider.h"
#include "analysis/Analysis.h"
#include "control/Trelvan.h"
#include "fakes/ControlProbe.h"
#include "fakes/EventLoopWait.h"
#include "fakes/MediaFiles.h"
#include "fakes/TestClips.h"
#include "motion/MotionAnalysis.h"

#include <QAbstractButton>
#include <QApplication>
#include <QAbstractSpinBox>
#include <QAction>
#include <QComboBox>
#include <QDockWidget>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollArea>
#include <QSettings>
#include <QSlider>
#include <QStatusBar>
#include <QTabBar>
#include <QTest>
#include <QtCharts/QChartView>
#include <gtest/gtest.h>

using namespace tvn::testclips;
using tvn::testing::runFor;
using tvn::testing::waitFor;

namespace {

// The studio keeps settings between runs: each test starts from none of its own.
void freshSettings() {
    static const bool redirected = [] {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, testFolder().filePath(QStringLiteral("settings")));
        return true;
    }();
    (void)redirected;
    QSettings().clear();
}

// A picture of the window for the eye, when asked for.
void shot(QWidget& window, const char* name) {
    const QString folder = qEnvironmentVariable("TVN_STUDIO_SHOTS");
    if (!folder.isEmpty()) window.grab().save(QStringLiteral("%1/%2.png").arg(folder, QLatin1String(name)));
}

QSlider* frameSlider(studio::StudioWindow& window, int maximum) {
    for (QSlider* s : window.findChildren<QSlider*>())
        if (s->maximum() == maximum && s->objectName() != QLatin1String("volume")) return s;
    return nullptr;
}

TEST(StudioSmoke, OpensPlaysPausesStepsAndJumps) {
    freshSettings();
    studio::StudioWindow window;
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    ASSERT_TRUE(window.openClip(clip(ClipFormat::H264Mp4, {.frames = 60})));
    tvn::Trelvan& control = window.control();
    const auto shows = [&](int frame) {
        return waitFor([&] { return frameNumber(control.TVN_GetFrameAsIPic().image()) == frame; }, 3000);
    };
    EXPECT_TRUE(shows(0));

    QTest::keyClick(&window, Qt::Key_Space);
    EXPECT_TRUE(waitFor([&] { return control.TVN_IsPlaying; }, 3000));
    QTest::keyClick(&window, Qt::Key_Space);
    EXPECT_TRUE(waitFor([&] { return !control.TVN_IsPlaying; }, 3000));

    // The frame slider is the one that spans the clip.
    QSlider* slider = frameSlider(window, 59);
    ASSERT_NE(slider, nullptr);
    slider->setSliderDown(true);  // as a drag does
    slider->setSliderPosition(40);
    slider->setSliderDown(false);  // the exact frame on release
    EXPECT_TRUE(shows(40));
    QTest::keyClick(&window, Qt::Key_Right);
    EXPECT_TRUE(shows(41));
    QTest::keyClick(&window, Qt::Key_Left);
    EXPECT_TRUE(shows(40));
}

}  // namespace

// What the studio adds as a host: the clip's proportions (a two-stroke angle of
// 45 degrees on screen reads 45), keys that yield to a text being typed on the
// video, slider moves coalesced into one jump, a bad file that leaves the clip open.
TEST(StudioSmoke, HostsTheClipForACoach) {
    freshSettings();
    studio::StudioWindow window;
    window.show();
    ASSERT_TRUE(window.openClip(clip(ClipFormat::H264Mp4, {.frames = 40, .width = 180, .height = 320})));
    tvn::Trelvan& control = window.control();
    EXPECT_NEAR(double(control.width()) / control.height(), 180.0 / 320.0, 0.003);
    EXPECT_LE(std::abs(control.geometry().center().x() - control.parentWidget()->rect().center().x()), 1);

    QSlider* slider = frameSlider(window, 39);
    ASSERT_NE(slider, nullptr);
    // A drag: moves are coalesced into one ask, which shows a quick picture at
    // or before the frame and makes it the position; the exact frame on release.
    const auto shown = [&] { return frameNumber(control.TVN_GetFrameAsIPic().image()); };
    slider->setSliderDown(true);
    for (int frame : {10, 20, 30}) slider->setSliderPosition(frame);
    EXPECT_EQ(control.TVN_CurrentFrame, 0);  // asked, not yet shown: the last ask wins
    EXPECT_TRUE(waitFor([&] { return control.TVN_CurrentFrame > 0 || shown() == 0; }, 3000));
    EXPECT_LE(shown(), 30);
    EXPECT_EQ(shown(), control.TVN_CurrentFrame) << "the read-out says what is shown";
    slider->setSliderDown(false);
    EXPECT_TRUE(waitFor([&] { return shown() == 30; }, 3000));
    EXPECT_EQ(control.TVN_CurrentFrame, 30);

    QFile bad(testFolder().filePath(QStringLiteral("not-a-clip.mp4")));
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly) && bad.write("text, not video") > 0);
    bad.close();
    EXPECT_FALSE(window.openClip(bad.fileName()));
    EXPECT_EQ(frameNumber(control.TVN_GetFrameAsIPic().image()), 30);  // the clip studied is still shown
    EXPECT_TRUE(window.statusBar()->currentMessage().contains(QLatin1String("not-a-clip.mp4")))
        << "the message names the file: " << window.statusBar()->currentMessage().toStdString();

    QWidget* video = control.visibleVideoWidget();
    const QPoint vertex = video->rect().center(), first = vertex + QPoint(60, 0), second = vertex + QPoint(40, -40);
    control.TVN_drawingTool = QStringLiteral("angle");
    for (const auto& [from, to] : {std::pair{first, vertex}, std::pair{vertex, second}}) {
        QTest::mousePress(video, Qt::LeftButton, {}, from);
        QTest::mouseMove(video, to);
        QTest::mouseRelease(video, Qt::LeftButton, {}, to);
    }
    EXPECT_EQ(control.TVN_AngleText, QStringLiteral("45\u00B0"));

    QList<int> typed;
    QObject::connect(&control, &tvn::Trelvan::KeyPress, [&](int16_t& key) { typed << key; });
    control.TVN_drawingTool = QStringLiteral("text");
    QTest::mouseClick(video, Qt::LeftButton, {}, vertex);
    QTest::keyClicks(video, QStringLiteral("a b"));
    EXPECT_EQ(typed, (QList<int>{'a', ' ', 'b'}));
    EXPECT_FALSE(control.TVN_IsPlaying);
}

// The sound level is the slider's on every open and is kept for the next run;
// the time read-out rounds as the control's clock does and counts frames from 0
// to the last one.
TEST(StudioSmoke, SoundOnOpenAndOneRuleForTimeAndFrames) {
    freshSettings();
    QSettings().setValue(QStringLiteral("transport/volume"), 60);
    studio::StudioWindow window;
    window.show();
    tvn::Trelvan& control = window.control();
    EXPECT_EQ(control.TVN_VolumeLevel, 60) << "handed over at start";
    ASSERT_TRUE(window.openClip(clip(ClipFormat::H264Mp4, {.frames = 40})));
    EXPECT_EQ(control.TVN_VolumeLevel, 60) << "the clip plays at the slider's level, not the control's 0";
    QSlider* volume = window.findChild<QSlider*>(QStringLiteral("volume"));
    ASSERT_NE(volume, nullptr);
    volume->setValue(30);
    ASSERT_TRUE(window.openClip(clip(ClipFormat::H264Mp4, {.frames = 40, .width = 160, .height = 120})));
    EXPECT_EQ(std::tuple(control.TVN_VolumeLevel, QSettings().value(QStringLiteral("transport/volume")).toInt()),
              std::tuple(30, 30));

    QSlider* slider = frameSlider(window, 39);
    ASSERT_NE(slider, nullptr);
    slider->setSliderDown(true);
    slider->setSliderPosition(39);
    slider->setSliderDown(false);
    ASSERT_TRUE(waitFor([&] { return control.TVN_CurrentFrame == 39; }, 3000));
    runFor(100);  // the read-out's poll
    QLabel* readout = nullptr;
    for (QLabel* l : window.findChildren<QLabel*>())
        if (l->text().contains(QLatin1String("frame"))) readout = l;
    ASSERT_NE(readout, nullptr);
    // 39 frames of 1/30 s: 1300 ms, as the control's clock prints it (1.300s).
    EXPECT_EQ(readout->text(), QStringLiteral("0:01.300  frame 39 / 39"));
    shot(window, "last-frame");
    // In full screen the read-out rides on the engine's own window.
    window.activateWindow();
    QTest::keyClick(&window, Qt::Key_F11);
    QLabel* onScreen = nullptr;
    EXPECT_TRUE(waitFor([&] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w != &window && w->isFullScreen()) onScreen = w->findChild<QLabel*>(QStringLiteral("fullScreenReadout"));
        return onScreen && onScreen->text() == readout->text();
    }, 3000));
    QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : &window, Qt::Key_F11);
    EXPECT_TRUE(waitFor([&] { return !control.visibleVideoWidget()->window()->isFullScreen() && !QApplication::activePopupWidget(); }, 3000));
}

// Every control of every dock can be reached at the studio's first size: no
// panel is cut at its side, no control is squeezed below the width it needs,
// the plot has room, the tabs read whole; and a window made small and large
// again gets its docks back.
TEST(StudioSmoke, DocksFitAt1200x760AndRecoverAfterAResize) {
    freshSettings();
    studio::StudioWindow window;
    // A machine's sound devices have long names; they must not widen the lesson panel past its dock.
    for (QComboBox* combo : window.lessonPanel().findChildren<QComboBox*>())
        combo->addItem(QStringLiteral("sysdefault:CARD=PCH  HDA Intel PCH, ALC3246 Analog (Default Audio Device)"));
    window.show();
    ASSERT_TRUE(window.openClip(clip(ClipFormat::H264Mp4, {.frames = 40})));
    window.resize(1200, 760);
    runFor(50);
    const QList<QDockWidget*> docks = window.findChildren<QDockWidget*>();
    ASSERT_EQ(docks.size(), 5);
    const auto reachable = [&](QDockWidget* dock) {
        dock->raise();
        runFor(20);
        auto* scroll = qobject_cast<QScrollArea*>(dock->widget());
        ASSERT_NE(scroll, nullptr);
        QWidget* panel = scroll->widget();
        EXPECT_LE(panel->width(), scroll->viewport()->width()) << dock->objectName().toStdString() << ": cut at the side";
        for (QWidget* w : panel->findChildren<QWidget*>()) {
            const bool control = qobject_cast<QAbstractButton*>(w) || qobject_cast<QAbstractSlider*>(w) ||
                                 qobject_cast<QComboBox*>(w) || qobject_cast<QAbstractSpinBox*>(w) ||
                                 (qobject_cast<QLineEdit*>(w) && !qobject_cast<QAbstractSpinBox*>(w->parentWidget()) &&
                                  !qobject_cast<QComboBox*>(w->parentWidget()));
            if (!control || !w->isVisibleTo(panel)) continue;
            const QRect r(w->mapTo(panel, QPoint()), w->size());
            const std::string name = (dock->objectName() + QLatin1String(": ") + w->metaObject()->className() +
                                      QLatin1Char(' ') + (qobject_cast<QAbstractButton*>(w) ? qobject_cast<QAbstractButton*>(w)->text() : QString()))
                                         .toStdString();
            EXPECT_TRUE(panel->rect().contains(r)) << name;
            EXPECT_GE(w->width(), std::min(w->minimumSizeHint().width(), 80)) << name << ": squeezed";
        }
        for (QChartView* plot : panel->findChildren<QChartView*>()) EXPECT_GE(plot->height(), 180);
        shot(window, qPrintable(QStringLiteral("dock-%1-%2").arg(dock->objectName()).arg(window.width())));
    };
    for (QDockWidget* dock : docks) reachable(dock);
    shot(window, "docks-1200x760");
    const auto tabsReadWhole = [&] {
        for (QTabBar* bar : window.findChildren<QTabBar*>())
            for (int i = 0; i < bar->count(); ++i)
                EXPECT_GE(bar->tabRect(i).width(), bar->fontMetrics().horizontalAdvance(bar->tabText(i)))
                    << bar->tabText(i).toStdString();
    };
    tabsReadWhole();
    const int width = docks.first()->width();
    window.resize(700, 500);
    runFor(50);
    window.resize(1200, 760);
    runFor(50);
    EXPECT_NEAR(docks.first()->width(), width, 2) << "the docks stay squeezed";
    tabsReadWhole();
    for (QDockWidget* dock : docks) reachable(dock);
}

// Marking a point takes the click for itself: nothing is drawn with the tool
// that was chosen, which comes back for the next drag; the status says tracking runs.
TEST(StudioSmoke, MarkingAPointDrawsNothing) {
    freshSettings();
    studio::StudioWindow window;
    window.show();
    ASSERT_TRUE(window.openClip(clip(ClipFormat::H264Mp4, {.frames = 40})));
    tvn::Trelvan& control = window.control();
    control.TVN_drawingTool = QStringLiteral("line");
    const QImage before = tvn::ControlProbe(control).picture(1).image();
    window.motionPanel().armMarking();
    QWidget* video = control.visibleVideoWidget();
    QTest::mouseClick(video, Qt::LeftButton, {}, video->rect().center());
    EXPECT_EQ(control.TVN_drawingTool, QStringLiteral("line"));
    EXPECT_EQ(tvn::ControlProbe(control).picture(1).image(), before) << "the click drew";
    EXPECT_EQ(control.motion()->pointCount(), 1);
    EXPECT_TRUE(window.statusBar()->currentMessage().startsWith(QStringLiteral("Tracking point 0")))
        << window.statusBar()->currentMessage().toStdString();
    EXPECT_TRUE(waitFor([&] { return !control.motion()->busy(); }, 30000));
    const QPoint from = video->rect().center() - QPoint(40, 0), to = video->rect().center() + QPoint(40, 0);
    QTest::mousePress(video, Qt::LeftButton, {}, from);
    QTest::mouseMove(video, to);
    QTest::mouseRelease(video, Qt::LeftButton, {}, to);
    EXPECT_TRUE(control.motion()->hasLine()) << "the tool came back for the next drag";
    shot(window, "marked-and-line");
}

// While a lesson records, the status bar shows a red mark with the time
// recorded; F9 pauses and resumes, Shift+F9 stops it and the mark goes.
TEST(StudioSmoke, ARecordingLessonShowsItsMark) {
    freshSettings();
    studio::StudioWindow window;
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    ASSERT_TRUE(window.openClip(clip(ClipFormat::H264Mp4, {.frames = 40})));
    QLabel& mark = window.recordingMark();
    EXPECT_TRUE(mark.isHidden());
    ASSERT_TRUE(window.lessonPanel().startTo(testFolder().filePath(QStringLiteral("studio-lesson.avi"))));
    EXPECT_TRUE(waitFor([&] { return !mark.isHidden() && mark.text().contains(QLatin1String("REC")); }, 3000));
    shot(window, "recording");
    QTest::keyClick(&window, Qt::Key_F9);
    EXPECT_TRUE(window.lessonPanel().paused());
    EXPECT_TRUE(waitFor([&] { return mark.text().contains(QLatin1String("paused")); }, 3000));
    QTest::keyClick(&window, Qt::Key_F9);
    EXPECT_FALSE(window.lessonPanel().paused());
    QTest::keyClick(&window, Qt::Key_F9, Qt::ShiftModifier);
    EXPECT_FALSE(window.control().TVN_LessonInProgress);
    EXPECT_TRUE(waitFor([&] { return mark.isHidden(); }, 3000));
}

// On HD footage shown in the window (a third of its pixels), the studio's
// drawing widths count screen pixels and every line has a dark outline, so a
// 3-pixel yellow line reads as 3 pixels on screen over any picture.
TEST(StudioSmoke, DrawingsReadOnHdFootage) {
    freshSettings();
    studio::StudioWindow window;
    window.show();
    ASSERT_TRUE(window.openClip(clip(ClipFormat::H264Mp4, {.frames = 10, .width = 1920, .height = 1080})));
    tvn::Trelvan& control = window.control();
    QWidget* video = control.visibleVideoWidget();
    ASSERT_LT(video->width(), 1000);
    control.TVN_drawingTool = QStringLiteral("line");
    // Across the frame code's white marker cell, at the bottom right: yellow on white.
    const int y = video->height() * 5 / 6, x = video->width() * 7 / 8;
    QTest::mousePress(video, Qt::LeftButton, {}, QPoint(video->width() * 4 / 5, y));
    QTest::mouseMove(video, QPoint(video->width() * 19 / 20, y));
    QTest::mouseRelease(video, Qt::LeftButton, {}, QPoint(video->width() * 19 / 20, y));
    runFor(50);
    const QImage seen = video->grab().toImage();
    QList<int> yellow, dark;
    for (int row = y - 10; row <= y + 10; ++row) {
        const QColor c = seen.pixelColor(x, row);
        if (c.red() > 180 && c.green() > 180 && c.blue() < 100) yellow << row;
        if (c.red() < 90 && c.green() < 90 && c.blue() < 90) dark << row;
    }
    ASSERT_FALSE(yellow.isEmpty());
    EXPECT_GE(yellow.size(), 2) << "the line is thinner than its width on screen";
    EXPECT_TRUE(!dark.isEmpty() && dark.first() < yellow.first() && dark.last() > yellow.last())
        << "no outline on both sides";
    shot(window, "hd-line");
}

namespace {
QStringList momentTexts(studio::StudioWindow& window) {
    QStringList texts;
    QListWidget& list = window.keyMomentsPanel().list();
    for (int i = 0; i < list.count(); ++i) texts << list.item(i)->text();
    return texts;
}
}  // namespace

// Key moments marked on two frames show in frame order in their list and as
// marks in their colours on the timeline; Ctrl+Right and Ctrl+Left go from one to
// the next, a double-click goes to one, renaming and removing follow at once.
TEST(StudioSmoke, KeyMomentsOnTheTimelineAndInTheirList) {
    freshSettings();
    studio::StudioWindow window;
    window.control().analysis()->setRecoveryDirectory(testFolder().filePath(QStringLiteral("recovery-moments")));
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    ASSERT_TRUE(window.openClip(clip(ClipFormat::H264Mp4, {.frames = 60})));
    tvn::Trelvan& control = window.control();
    studio::KeyMomentsPanel& panel = window.keyMomentsPanel();
    const int red = 0x0000E0, blue = 0xF03020;  // 0x00BBGGRR
    for (const auto& [frame, label, colour] : {std::tuple{40, "Contact", blue}, std::tuple{10, "Take-off", red}}) {
        int32_t at = frame;
        control.TVN_SetFrame(at);
        ASSERT_TRUE(panel.mark(QString::fromLatin1(label), QStringLiteral("knee"), colour));
    }
    const QStringList texts = momentTexts(window);
    ASSERT_EQ(texts.size(), 2);
    EXPECT_TRUE(texts[0].contains(QLatin1String("frame 10")) && texts[0].contains(QLatin1String("Take-off"))) << texts[0].toStdString();
    EXPECT_TRUE(texts[1].contains(QLatin1String("frame 40")) && texts[1].contains(QLatin1String("Contact"))) << texts[1].toStdString();

    QSlider* slider = frameSlider(window, 59);
    auto* timeline = qobject_cast<studio::TimelineSlider*>(slider);
    ASSERT_NE(timeline, nullptr);
    ASSERT_EQ(timeline->marks().size(), 2);
    const QImage seen = timeline->grab().toImage();
    const auto colourAt = [&](int frame) { return seen.pixelColor(timeline->markX(frame), timeline->height() / 2 + 3); };
    EXPECT_GT(colourAt(10).red(), 180) << "the take-off mark is red";
    EXPECT_LT(colourAt(10).blue(), 80);
    EXPECT_GT(colourAt(40).blue(), 180) << "the contact mark is blue";
    EXPECT_LT(colourAt(40).red(), 80);
    shot(window, "key-moments");

    const auto shows = [&](int frame) {
        return waitFor([&] { return frameNumber(control.TVN_GetFrameAsIPic().image()) == frame; }, 3000);
    };
    int32_t start = 0;
    control.TVN_SetFrame(start);
    for (const auto& [key, frame] : {std::pair{Qt::Key_Right, 10}, std::pair{Qt::Key_Right, 40}, std::pair{Qt::Key_Left, 10}}) {
        QTest::keyClick(&window, key, Qt::ControlModifier);
        EXPECT_TRUE(shows(frame)) << "Ctrl+arrow to frame " << frame;
    }
    QListWidget& list = panel.list();
    const QRect second = list.visualItemRect(list.item(1));
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, second.center());
    QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, second.center());
    EXPECT_TRUE(shows(40));

    ASSERT_TRUE(panel.rename(0, QStringLiteral("Jump")));
    EXPECT_TRUE(momentTexts(window).value(0).contains(QLatin1String("Jump")));
    list.setCurrentRow(1);
    panel.removeSelected();
    EXPECT_EQ(momentTexts(window).size(), 1);
    EXPECT_EQ(timeline->marks().size(), 1);
    EXPECT_EQ(timeline->marks().value(0).frame, 10);
}

// A saved analysis is listed among the recent ones (kept for the next run) and
// opens in a studio without a clip, with its clip and moments; a bad document
// is told and changes nothing. A studio that ended without closing its clip
// leaves a recovery: the next open of the clip offers it, Recover brings the
// moments back, Discard drops them.
TEST(StudioSmoke, AnalysisDocumentsAndRecovery) {
    freshSettings();
    const QString clipFile = clip(ClipFormat::H264Mp4, {.frames = 30});
    const QString recovery = testFolder().filePath(QStringLiteral("recovery-documents"));
    const QString document = testFolder().filePath(QStringLiteral("swing.tvna.json"));
    {
        studio::StudioWindow window;
        window.control().analysis()->setRecoveryDirectory(recovery);
        window.show();
        ASSERT_TRUE(window.openClip(clipFile));
        ASSERT_TRUE(window.keyMomentsPanel().mark(QStringLiteral("Top"), QString(), 0x00FFFF));
        ASSERT_TRUE(window.analysisFiles().saveTo(document));
    }
    studio::StudioWindow window;
    tvn::Analysis& analysis = *window.control().analysis();
    analysis.setRecoveryDirectory(recovery);
    window.show();
    EXPECT_EQ(window.analysisFiles().recent(), QStringList{QFileInfo(document).absoluteFilePath()});
    ASSERT_TRUE(window.analysisFiles().open(document));
    EXPECT_NE(frameSlider(window, 29), nullptr) << "the slider spans the clip the document opened";
    EXPECT_EQ(momentTexts(window).size(), 1);

    QFile bad(testFolder().filePath(QStringLiteral("bad.tvna.json")));
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly) && bad.write("{ \"format\": ") > 0);
    bad.close();
    EXPECT_FALSE(window.analysisFiles().open(bad.fileName()));
    EXPECT_TRUE(window.statusBar()->currentMessage().contains(QLatin1String("bad.tvna.json")))
        << window.statusBar()->currentMessage().toStdString();
    EXPECT_EQ(momentTexts(window).size(), 1) << "the analysis on screen stays";

    for (const auto& [answer, moments] : {std::pair{"Recover", 2}, std::pair{"Discard", 0}}) {
        int32_t impact = 20;
        window.control().TVN_SetFrame(impact);
        ASSERT_TRUE(window.keyMomentsPanel().mark(QStringLiteral("Impact"), QString(), 0xFF00FF)) << answer;
        analysis.flushAutosave();
        // A crash: the recovery file outlives the clip, which a clean close would have removed.
        const QString kept = analysis.recoveryPath(), copy = kept + QStringLiteral(".kept");
        QFile::remove(copy);
        ASSERT_TRUE(QFile::copy(kept, copy)) << answer;
        window.control().TVN_Close();
        // The clean close removes the recovery file on the autosave worker, a
        // moment later: only once it has may the crash's copy go back.
        ASSERT_TRUE(waitFor([&] { return !QFile::exists(kept); }, 5000)) << answer;
        ASSERT_TRUE(QFile::rename(copy, kept));
        ASSERT_TRUE(window.openClip(clipFile));
        auto* offer = window.findChild<QMessageBox*>(QStringLiteral("recoveryOffer"));
        ASSERT_NE(offer, nullptr) << answer;
        QAbstractButton* button = nullptr;
        for (QAbstractButton* b : offer->buttons())
            if (b->text() == QLatin1String(answer)) button = b;
        ASSERT_NE(button, nullptr) << answer;
        button->click();
        EXPECT_EQ(momentTexts(window).size(), moments) << answer;
        EXPECT_FALSE(analysis.hasRecovery()) << answer;
        if (moments == 0) EXPECT_FALSE(QFile::exists(kept)) << "discarded for good";
        window.control().TVN_Close();
        ASSERT_TRUE(window.analysisFiles().open(document));  // back to the saved analysis: one moment
    }
}

namespace {

// File > Export video... as a coach uses it: the whole clip by default, paused
// on the key moment, a file name typed in, Export, and the status says done.
TEST(StudioSmoke, ExportsTheAnalysisAsAVideoFromItsDialog) {
    freshSettings();
    studio::StudioWindow window;
    window.show();
    ASSERT_TRUE(window.openClip(clip(ClipFormat::H264Mp4, {.frames = 30, .keyInterval = 10})));
    window.control().analysis()->markKeyMomentAt(12, QStringLiteral("Contact"), QString(), 0x0000FF);
    QAction* exportVideo = nullptr;
    for (QAction* a : window.findChildren<QAction*>())
        if (a->text() == QLatin1String("&Export video...")) exportVideo = a;
    ASSERT_NE(exportVideo, nullptr);
    exportVideo->trigger();
    auto* dialog = window.findChild<studio::ExportDialog*>();
    ASSERT_NE(dialog, nullptr);
    EXPECT_DOUBLE_EQ(dialog->findChild<QDoubleSpinBox*>()->value(), 2.0) << "the key moment paused on by default";
    const QString file = testFolder().filePath(QStringLiteral("from-dialog.mp4"));
    dialog->findChild<QLineEdit*>()->setText(file);
    QPushButton* start = nullptr;
    for (QPushButton* b : dialog->findChildren<QPushButton*>())
        if (b->text() == QLatin1String("Export")) start = b;
    ASSERT_NE(start, nullptr);
    start->click();
    const auto status = [&] {
        for (QLabel* l : dialog->findChildren<QLabel*>())
            if (l->text().startsWith(QLatin1String("Done")) || l->text().startsWith(QLatin1String("The export failed")))
                return l->text();
        return QString();
    };
    ASSERT_TRUE(waitFor([&] { return !status().isEmpty(); }, 60000)) << "the export did not start or end";
    EXPECT_TRUE(status().startsWith(QLatin1String("Done"))) << status().toStdString();
    shot(*dialog, "export-dialog");
    // 30 frames and the key moment held 2 s at 30 frames a second.
    const std::vector<tvn::testing::StreamSummary> streams = tvn::testing::probeStreams(file);
    const auto* video = tvn::testing::findStream(streams, AVMEDIA_TYPE_VIDEO);
    ASSERT_NE(video, nullptr);
    EXPECT_EQ(video->packets, 90);
}

}  // namespace
