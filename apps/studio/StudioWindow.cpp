#include "StudioWindow.h"

#include "AnalysisFiles.h"
#include "ClipDialog.h"
#include "CoachMessages.h"
#include "DrawingPanel.h"
#include "DrawingWatch.h"
#include "FailureReporter.h"
#include "FilmStripLabels.h"
#include "FrameSharing.h"
#include "FullScreenReadout.h"
#include "KeyMomentsPanel.h"
#include "LessonPanel.h"
#include "MotionPanel.h"
#include "OverlayPanel.h"
#include "PanelDocks.h"
#include "Playhead.h"
#include "RecordingMark.h"
#include "StudioMenus.h"
#include "TimeText.h"
#include "TimelineSlider.h"
#include "TransportBar.h"
#include "TwoStrokeAngle.h"
#include "VideoArea.h"
#include "control/ClipProbe.h"
#include "control/Trelvan.h"
#include "core/TvnError.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QDockWidget>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QSettings>
#include <QStatusBar>
#include <QTextEdit>

namespace studio {

StudioWindow::StudioWindow(QWidget* parent)
    : QMainWindow(parent), control_(new tvn::Trelvan(this)), area_(new VideoArea(control_, this)),
      failures_(new FailureReporter(this)) {
    setWindowTitle(tr("Trelvan Studio"));
    setCentralWidget(area_);
    ctx_.control = control_;
    ctx_.showMessage = [this](const QString& m) { statusBar()->showMessage(m, 8000); };
    ctx_.showFailure = [this](const QString& what, const tvn::TvnError& e) { failures_->report(what, e); };
    stripLabels_ = new FilmStripLabels(control_, area_);
    connect(area_, &VideoArea::controlPlaced, stripLabels_, &FilmStripLabels::follow);
    fullScreenReadout_ = new FullScreenReadout(this);
    transport_ = new TransportBar(ctx_, this);
    addToolBar(transport_);
    buildDocks();
    playhead_ = new Playhead(ctx_, transport_, overlay_, stripLabels_, this);
    analysisFiles_ = new AnalysisFiles(ctx_, this);
    connect(analysisFiles_, &AnalysisFiles::clipReplaced, this, [this] {
        drawings_->forget();
        showClip(control_->TVN_videoFileName, control_->TVN_NumFrames);
    });
    connect(moments_, &KeyMomentsPanel::frameChosen, playhead_, &Playhead::goTo);
    connect(moments_, &KeyMomentsPanel::moved, playhead_, &Playhead::update);
    connect(moments_, &KeyMomentsPanel::marksChanged, &transport_->slider(), &TimelineSlider::setMarks);
    menus_ = new StudioMenus(ctx_, {drawing_, lesson_, motion_, stripLabels_, moments_, analysisFiles_}, this);
    connectMenus();
    drawings_ = new DrawingWatch(control_, this);
    connect(drawing_, &DrawingPanel::drawingsCleared, drawings_, &DrawingWatch::cleared);
    frames_ = new FrameSharing(ctx_, *failures_, overlay_, this);
    // A failure during play, conversion or upload stays until read; the end of
    // clip that follows a failed play does not cover it.
    connect(control_, &tvn::Trelvan::failed, this, [this](const tvn::TvnError& e) { failures_->signalled(tr("Play"), e); });
    connect(control_, &tvn::Trelvan::VideoEnd, this, [this] {
        if (!failures_->shownWithin(15000)) statusBar()->showMessage(tr("End of clip"), 3000);
    });
    connect(control_, &tvn::Trelvan::FullScreenLost, this, [this] {
        fullScreen_ = false;
        statusBar()->showMessage(tr("Left full screen"), 3000);
    });
    new TwoStrokeAngle(control_, [this] { return !area_->wholePointerScale(); }, this);
    qApp->installEventFilter(this);
    recordMark_ = new RecordingMark(control_, lesson_, this);
    statusBar()->addPermanentWidget(recordMark_);
    connect(playhead_, &Playhead::shown, this, [this](const QString& readout) {
        fullScreenReadout_->follow(fullScreen_, readout);
        recordMark_->refresh();
    });
    playhead_->update();
    // The picture gets the room; the panels start narrow. Window and docks come back as the coach left them.
    resize(1200, 760);
    statusBar()->showMessage(tr("Open a clip with File > Open clip (Ctrl+O)"));
    QSettings settings;
    docks_->setWidth(settings.value(QStringLiteral("window/panelWidth"), PanelDocks::kMinWidth + 40).toInt());
    restoreGeometry(settings.value(QStringLiteral("window/geometry")).toByteArray());
    restoreState(settings.value(QStringLiteral("window/state")).toByteArray());
    docks_->fit();
    transport_->applyVolume();
}

QLabel& StudioWindow::recordingMark() { return *recordMark_; }

void StudioWindow::buildDocks() {
    docks_ = new PanelDocks(this);
    drawing_ = new DrawingPanel(ctx_, this);
    overlay_ = new OverlayPanel(ctx_, this);
    lesson_ = new LessonPanel(ctx_, this);
    motion_ = new MotionPanel(ctx_, this);
    QDockWidget* first = docks_->add(tr("Drawing"), QStringLiteral("Drawing"), drawing_);
    docks_->add(tr("Lesson"), QStringLiteral("Lesson"), lesson_);
    docks_->add(tr("Overlay"), QStringLiteral("Overlay"), overlay_);
    docks_->add(tr("Motion"), QStringLiteral("Motion"), motion_);
    moments_ = new KeyMomentsPanel(ctx_, this);
    QDockWidget* moments = docks_->add(tr("Key moments"), QStringLiteral("Moments"), moments_, PanelDocks::Place::Below);
    resizeDocks({first, moments}, {520, 220}, Qt::Vertical);
    first->raise();
}

void StudioWindow::connectMenus() {
    connect(menus_, &StudioMenus::openClipAsked, this, &StudioWindow::chooseClip);
    connect(menus_, &StudioMenus::closeClipAsked, this, &StudioWindow::closeClip);
    connect(menus_, &StudioMenus::saveFrameAsked, this, [this] { frames_->saveFrame(); });
    connect(menus_, &StudioMenus::uploadFrameAsked, this, [this] { frames_->uploadFrame(); });
    connect(menus_, &StudioMenus::fullScreenAsked, this, &StudioWindow::toggleFullScreen);
}

void StudioWindow::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    docks_->windowResized();
}

void StudioWindow::closeEvent(QCloseEvent* event) {
    QSettings settings;
    settings.setValue(QStringLiteral("window/panelWidth"), docks_->width());
    settings.setValue(QStringLiteral("window/geometry"), saveGeometry());
    settings.setValue(QStringLiteral("window/state"), saveState());
    QMainWindow::closeEvent(event);
}

void StudioWindow::chooseClip() {
    QSettings settings;
    const QString f = ClipDialog::choose(this, tr("Open clip"), settings.value(QStringLiteral("clips/folder")).toString());
    if (f.isEmpty()) return;
    settings.setValue(QStringLiteral("clips/folder"), QFileInfo(f).absolutePath());
    openClip(f);
}

bool StudioWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress || !watched->isWidgetType()) return QMainWindow::eventFilter(watched, event);
    // The studio's own window, or the engine's full-screen window (a top-level of its own);
    // dialogs keep their keys.
    const QWidget* top = static_cast<QWidget*>(watched)->window();
    if (top != this && !(fullScreen_ && top->isFullScreen() && !top->parentWidget())) return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) return false;
    // The lesson's keys in full screen too (in the window, the Lesson menu's shortcuts take them first).
    if (key->key() == Qt::Key_F9 && !key->isAutoRepeat() && control_->TVN_LessonInProgress) {
        if (key->modifiers() & Qt::ShiftModifier) lesson_->stop();
        else if (lesson_->paused()) lesson_->resume();
        else lesson_->pause();
        return true;
    }
    // A held arrow steps on; a held space does not flicker between play and pause.
    if (key->isAutoRepeat() && (key->key() == Qt::Key_Space || key->key() == Qt::Key_F11)) return !typing();
    return handleKey(key->key());
}

bool StudioWindow::typing() const {
    const QWidget* focus = QApplication::focusWidget();
    if (qobject_cast<const QLineEdit*>(focus) || qobject_cast<const QTextEdit*>(focus) ||
        qobject_cast<const QPlainTextEdit*>(focus) || qobject_cast<const QAbstractSpinBox*>(focus))
        return true;
    if (const auto* combo = qobject_cast<const QComboBox*>(focus); combo && combo->isEditable()) return true;
    return drawings_->typingText();
}

bool StudioWindow::handleKey(int key) {
    if (key == Qt::Key_F11) {
        toggleFullScreen();
        return true;
    }
    if ((key != Qt::Key_Space && key != Qt::Key_Left && key != Qt::Key_Right) || typing()) return false;
    if (key == Qt::Key_Space) playhead_->playPause();
    else if (key == Qt::Key_Left) playhead_->stepBack();
    else playhead_->stepForward();
    return true;
}

void StudioWindow::toggleFullScreen() {
    if (!fullScreen_) {
        fullScreen_ = ctx_.run(tr("Full screen"), [this] { control_->TVN_FullScreen(); });
        return;
    }
    // The engine leaves full screen on Escape in its window; F11 asks it the same way.
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w == this || !w->isFullScreen() || w->parentWidget()) continue;
        QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier, QStringLiteral("\x1b"));
        QApplication::sendEvent(w->focusWidget() ? w->focusWidget() : w, &escape);
    }
}

bool StudioWindow::mayClearDrawings() {
    if (!drawings_->hasDrawings()) return true;
    return QMessageBox::question(this, tr("Open clip"),
                                 tr("The drawings on this clip are cleared when the next clip opens. Open it?"),
                                 QMessageBox::Open | QMessageBox::Cancel) == QMessageBox::Open;
}

bool StudioWindow::openClip(const QString& fileName) {
    // Read it first: a file that cannot be opened must not close the clip being studied.
    const tvn::ClipProbe probe = tvn::probeClip(fileName);
    const QString what = tr("Open '%1'").arg(QFileInfo(fileName).fileName());
    if (!probe.canOpen) {
        failures_->report(what, probe.error.value_or(tvn::TvnError(tvn::err::ClipOpenFailed, fileName)));
        return false;
    }
    if (!mayClearDrawings()) return false;
    ctx_.run(tr("Clear drawings"), [this] { control_->TVN_EraseAll(); });
    drawings_->forget();
    QString name = fileName;
    int32_t frames = 0;
    if (!ctx_.run(what, [&] { frames = control_->TVN_OpenFile(name); })) {
        area_->setClipSize({});
        return false;
    }
    showClip(fileName, frames);
    drawing_->clipOpened();
    if (probe.missingFrames > 0) {
        const auto listed = qint64(probe.frameCount + probe.missingFrames);
        showNotice(this,
                   tr("This clip ends early: only %1 of its %2 frames are in the file.").arg(frames).arg(listed),
                   tr("'%1' lists %2 frames; %3 are missing at its end.").arg(fileName).arg(listed).arg(qint64(probe.missingFrames)));
    }
    analysisFiles_->offerRecovery();
    return true;
}

// What follows a clip that opened, whether the coach opened it or an analysis document did.
void StudioWindow::showClip(const QString& fileName, int frames) {
    analysisFiles_->clipOpened();
    transport_->applyVolume();
    overlay_->clipOpened();
    area_->setClipSize(QSize(control_->TVN_VideoWidth, control_->TVN_VideoHeight));
    transport_->slider().setRange(0, std::max(0, frames - 1));
    transport_->slider().setValue(0);
    setWindowTitle(tr("%1 - Trelvan Studio").arg(QFileInfo(fileName).fileName()));
    statusBar()->showMessage(tr("%1: %2 x %3, %4 frames, %5")
                                 .arg(QFileInfo(fileName).fileName())
                                 .arg(control_->TVN_VideoWidth)
                                 .arg(control_->TVN_VideoHeight)
                                 .arg(frames)
                                 .arg(TimeText::clock(control_->TVN_TotalLenMS)));
    playhead_->update();
}

void StudioWindow::closeClip() {
    ctx_.run(tr("Close"), [this] { control_->TVN_Close(); });
    overlay_->clipOpened();
    area_->setClipSize({});
    transport_->slider().setRange(0, 0);
    setWindowTitle(tr("Trelvan Studio"));
    playhead_->update();
}

}  // namespace studio
