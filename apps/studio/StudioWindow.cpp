#include "StudioWindow.h"

#include "ClipDialog.h"
#include "CoachMessages.h"
#include "DrawingPanel.h"
#include "FilmStripLabels.h"
#include "LessonPanel.h"
#include "MotionPanel.h"
#include "OverlayPanel.h"
#include "TimeText.h"
#include "TimelineSlider.h"
#include "TwoStrokeAngle.h"
#include "UploadDialog.h"
#include "VideoArea.h"
#include "control/ClipProbe.h"
#include "control/Trelvan.h"
#include "core/TvnError.h"

#include <QAbstractSpinBox>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDockWidget>
#include <QHeaderView>
#include <QTreeView>
#include <QFileDialog>
#include <QFileInfo>
#include <QImageWriter>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressDialog>
#include <QScrollArea>
#include <QSettings>
#include <QStatusBar>
#include <QTextEdit>
#include <QTimer>
#include <QTabBar>
#include <QToolBar>

namespace studio {

namespace {
// Panels narrower than this squeeze their tabs to "D..": the side keeps it while the picture has room.
constexpr int kDockMinWidth = 300;
// The picture keeps at least this share of the window's width.
constexpr double kPictureShare = 0.6;

// Tools with which a press and release leave something drawn.
bool draws(const QString& tool) {
    return !tool.isEmpty() && tool != QLatin1String("none") && tool != QLatin1String("step") &&
           tool != QLatin1String("zoom") && tool != QLatin1String("target") && !tool.startsWith(QLatin1String("lightmouse"));
}
}  // namespace

StudioWindow::StudioWindow(QWidget* parent)
    : QMainWindow(parent), control_(new tvn::Trelvan(this)), area_(new VideoArea(control_, this)) {
    setWindowTitle(tr("Trelvan Studio"));
    setCentralWidget(area_);
    ctx_.control = control_;
    ctx_.showMessage = [this](const QString& m) { statusBar()->showMessage(m, 8000); };
    ctx_.showFailure = [this](const QString& what, const tvn::TvnError& e) { reportFailure(what, e); };
    stripLabels_ = new FilmStripLabels(control_, area_);
    connect(stripLabels_, &FilmStripLabels::frameChosen, this, &StudioWindow::requestFrame);
    connect(area_, &VideoArea::controlPlaced, stripLabels_, &FilmStripLabels::follow);
    buildTransport();
    buildDocks();
    buildMenus();
    connect(drawing_, &DrawingPanel::drawingsCleared, this, [this] { hasDrawings_ = false; });
    // A failure during play, conversion or upload stays until read; the end of
    // clip that follows a failed play does not cover it.
    connect(control_, &tvn::Trelvan::failed, this, [this](const tvn::TvnError& e) {
        if (heldFailure_) *heldFailure_ = e;
        else reportFailure(tr("Play"), e);
    });
    connect(control_, &tvn::Trelvan::VideoEnd, this, [this] {
        if (!failureShown_.isValid() || failureShown_.hasExpired(15000)) statusBar()->showMessage(tr("End of clip"), 3000);
    });
    connect(control_, &tvn::Trelvan::FullScreenLost, this, [this] {
        fullScreen_ = false;
        statusBar()->showMessage(tr("Left full screen"), 3000);
    });
    trackDrawing();
    new TwoStrokeAngle(control_, [this] { return !area_->wholePointerScale(); }, this);
    qApp->installEventFilter(this);
    recordMark_ = new QLabel(this);
    recordMark_->setObjectName(QStringLiteral("recordingMark"));
    recordMark_->setToolTip(tr("A lesson is being recorded: F9 pauses and resumes, Shift+F9 stops"));
    recordMark_->hide();
    statusBar()->addPermanentWidget(recordMark_);
    connect(lesson_, &LessonPanel::stateChanged, this, &StudioWindow::updateRecordingMark);
    // The picture gets the room; the panels start narrow. Window and docks come back as the coach left them.
    resize(1200, 760);
    statusBar()->showMessage(tr("Open a clip with File > Open clip (Ctrl+O)"));
    QSettings settings;
    dockWidth_ = settings.value(QStringLiteral("window/panelWidth"), kDockMinWidth + 40).toInt();
    restoreGeometry(settings.value(QStringLiteral("window/geometry")).toByteArray());
    restoreState(settings.value(QStringLiteral("window/state")).toByteArray());
    fitDocks();
    applyVolume();
}

void StudioWindow::buildDocks() {
    // Each panel scrolls inside its dock, so every control stays reachable in a small window.
    auto dock = [this](const QString& title, const QString& name, QWidget* panel) {
        auto* scroll = new QScrollArea(this);
        scroll->setWidget(panel);
        scroll->setWidgetResizable(true);
        scroll->setFrameShape(QFrame::NoFrame);
        scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);  // panels wrap to the dock's width
        auto* d = new QDockWidget(title, this);
        d->setObjectName(name);
        d->setWidget(scroll);
        d->setMinimumWidth(kDockMinWidth);
        d->installEventFilter(this);  // the width the coach gives it is kept
        addDockWidget(Qt::RightDockWidgetArea, d);
        docks_ << d;
        return d;
    };
    setTabPosition(Qt::RightDockWidgetArea, QTabWidget::North);
    drawing_ = new DrawingPanel(ctx_, this);
    overlay_ = new OverlayPanel(ctx_, this);
    lesson_ = new LessonPanel(ctx_, this);
    motion_ = new MotionPanel(ctx_, this);
    auto* drawing = dock(tr("Drawing"), QStringLiteral("Drawing"), drawing_);
    auto* lesson = dock(tr("Lesson"), QStringLiteral("Lesson"), lesson_);
    auto* overlay = dock(tr("Overlay"), QStringLiteral("Overlay"), overlay_);
    auto* motion = dock(tr("Motion"), QStringLiteral("Motion"), motion_);
    tabifyDockWidget(drawing, lesson);
    tabifyDockWidget(lesson, overlay);
    tabifyDockWidget(overlay, motion);
    drawing->raise();
}

// The docks take the width the coach gave them, as far as the picture keeps
// most of the window; a window made small and large again gets them back.
void StudioWindow::fitDocks() {
    if (docks_.isEmpty() || width() <= 0) return;
    const int most = std::max(kDockMinWidth, int(width() * (1 - kPictureShare)));
    const int wanted = std::clamp(dockWidth_, kDockMinWidth, most);
    QList<QDockWidget*> shown;
    QList<int> widths;
    for (QDockWidget* d : docks_)
        if (d->isVisible() && !d->isFloating() && dockWidgetArea(d) != Qt::NoDockWidgetArea && d->width() != wanted)
            shown << d, widths << wanted;
    if (shown.isEmpty()) return;
    fittingDocks_ = true;
    resizeDocks(shown, widths, Qt::Horizontal);
    fittingDocks_ = false;
}

void StudioWindow::applyVolume() {
    int32_t level = volume_->value();
    ctx_.run(tr("Volume"), [&] { control_->TVN_SetVolume(level); });
}

void StudioWindow::updateRecordingMark() {
    if (!recordMark_ || !lesson_) return;  // not built yet
    if (!control_->TVN_LessonInProgress) {
        recordMark_->hide();
        return;
    }
    const QString time = TimeText::duration(double(lesson_->recordedMs()));
    recordMark_->setText(lesson_->paused()
                             ? tr("<span style='color:#c00000'>&#9679;</span> Lesson paused %1 (F9 resumes)").arg(time)
                             : tr("<span style='color:#e00000'>&#9679;</span> <b>REC</b> %1").arg(time));
    recordMark_->show();
}

void StudioWindow::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    // The picture keeps most of a small window; the panels (they scroll) give up room first and get it back.
    fittingDocks_ = true;
    QTimer::singleShot(0, this, [this] {
        fittingDocks_ = false;
        fitDocks();
    });
}

void StudioWindow::closeEvent(QCloseEvent* event) {
    QSettings settings;
    settings.setValue(QStringLiteral("window/panelWidth"), dockWidth_);
    settings.setValue(QStringLiteral("window/geometry"), saveGeometry());
    settings.setValue(QStringLiteral("window/state"), saveState());
    QMainWindow::closeEvent(event);
}

void StudioWindow::buildMenus() {
    QMenu* file = menuBar()->addMenu(tr("&File"));
    file->addAction(tr("&Open clip..."), QKeySequence::Open, this, [this] {
        QSettings settings;
        const QString f = ClipDialog::choose(this, tr("Open clip"), settings.value(QStringLiteral("clips/folder")).toString());
        if (f.isEmpty()) return;
        settings.setValue(QStringLiteral("clips/folder"), QFileInfo(f).absolutePath());
        openClip(f);
    });
    file->addAction(tr("&Close clip"), this, &StudioWindow::closeClip);
    file->addSeparator();
    file->addAction(tr("Save frame as &JPEG..."), QKeySequence::Save, this, &StudioWindow::saveFrame);
    file->addAction(tr("&Upload frame..."), this, &StudioWindow::uploadFrame);
    file->addSeparator();
    file->addAction(tr("&Quit"), QKeySequence::Quit, this, &QWidget::close);

    // Undo and Redo are the control's own: they take back drawings one at a time.
    // Erasing everything cannot be undone, so it asks first.
    QMenu* edit = menuBar()->addMenu(tr("&Edit"));
    edit->addAction(tr("&Undo drawing"), QKeySequence::Undo, drawing_, &DrawingPanel::undo);
    QAction* redo = edit->addAction(tr("&Redo drawing"), drawing_, &DrawingPanel::redo);
    redo->setShortcuts({QKeySequence::Redo, QKeySequence(Qt::CTRL | Qt::Key_Y)});
    edit->addSeparator();
    edit->addAction(tr("Erase &free hand"), drawing_, &DrawingPanel::eraseFreeHand);
    edit->addAction(tr("&Erase all drawings..."), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Delete), drawing_,
                    &DrawingPanel::eraseAll);

    QMenu* lessonMenu = menuBar()->addMenu(tr("&Lesson"));
    lessonMenu->addAction(tr("&Start recording..."), QKeySequence(Qt::CTRL | Qt::Key_R), lesson_, &LessonPanel::start);
    lessonMenu->addAction(tr("&Pause or resume"), QKeySequence(Qt::Key_F9), this, [this] {
        if (lesson_->paused()) lesson_->resume();
        else lesson_->pause();
    });
    lessonMenu->addAction(tr("S&top"), QKeySequence(Qt::SHIFT | Qt::Key_F9), lesson_, &LessonPanel::stop);
    lessonMenu->addSeparator();
    lessonMenu->addAction(tr("&Mark a point to track"), QKeySequence(Qt::CTRL | Qt::Key_M), motion_, &MotionPanel::armMarking);

    QMenu* view = menuBar()->addMenu(tr("&View"));
    // F11 is handled with the transport keys, so it works in full screen too.
    view->addAction(tr("&Full screen\tF11"), this, &StudioWindow::toggleFullScreen);
    QAction* strip = view->addAction(tr("Film &strip"));
    strip->setCheckable(true);
    connect(strip, &QAction::toggled, this, [this](bool on) {
        ctx_.run(tr("Film strip"), [&] { control_->TVN_ShowFilmStrip(on); });
        stripLabels_->setVisible(on);
    });
    connect(stripLabels_, &FilmStripLabels::frameChosen, strip, [strip] { strip->setChecked(false); });
    QAction* mirror = view->addAction(tr("&Mirror video"));
    mirror->setCheckable(true);
    connect(mirror, &QAction::toggled, this,
            [this](bool on) { ctx_.run(tr("Mirror"), [&] { control_->TVN_FlipVideo(on ? 1 : 0); }); });
    view->addSeparator();
    view->addAction(tr("&Reset drawing settings"), this, [this] { drawing_->resetSettings(); });
}

void StudioWindow::buildTransport() {
    QToolBar* bar = addToolBar(tr("Transport"));
    bar->setObjectName(QStringLiteral("transport"));
    bar->addAction(tr("Play/Pause"), this, &StudioWindow::playPause)->setToolTip(tr("Play or pause (Space)"));
    bar->addAction(tr("< Step"), this, &StudioWindow::stepBack)->setToolTip(tr("One frame back (Left arrow)"));
    bar->addAction(tr("Step >"), this, &StudioWindow::stepForward)->setToolTip(tr("One frame on (Right arrow)"));
    slider_ = new TimelineSlider(bar);
    slider_->setRange(0, 0);
    slider_->setMinimumWidth(240);
    slider_->setToolTip(tr("Drag through the clip; the exact frame shows when you let go"));
    connect(slider_, &TimelineSlider::frameWanted, this, &StudioWindow::requestFrame);
    // The drag showed quick pictures; letting go shows the exact frame under the handle.
    connect(slider_, &QSlider::sliderReleased, this, [this] { requestFrame(slider_->value()); });
    bar->addWidget(slider_);
    time_ = new QLabel(bar);
    time_->setMinimumWidth(200);
    time_->setToolTip(tr("Time of the frame shown and its number, counted from 0 as in the motion data, "
                         "beside the number of the clip's last frame"));
    bar->addWidget(time_);
    rate_ = new QComboBox(bar);
    for (const char* r : {"0.1", "0.25", "0.5", "1", "2", "4"}) rate_->addItem(QString::fromLatin1(r));
    rate_->setCurrentText(QStringLiteral("1"));
    connect(rate_, &QComboBox::currentTextChanged, this, [this](const QString& t) {
        double rate = t.toDouble();
        ctx_.run(tr("Rate"), [&] { control_->TVN_SetRate(rate); });
    });
    bar->addWidget(new QLabel(tr(" Speed "), bar));
    bar->addWidget(rate_);
    rate_->setToolTip(tr("Playing speed; the sound keeps its pitch"));
    // The control starts silent and takes its volume with every clip: the
    // slider's level is handed over at start and on every open, and kept between runs.
    volume_ = new QSlider(Qt::Horizontal, bar);
    volume_->setObjectName(QStringLiteral("volume"));
    volume_->setRange(0, 100);
    volume_->setValue(QSettings().value(QStringLiteral("transport/volume"), 85).toInt());
    volume_->setMaximumWidth(100);
    volume_->setToolTip(tr("Sound volume of the clip"));
    connect(volume_, &QSlider::valueChanged, this, [this](int v) {
        QSettings().setValue(QStringLiteral("transport/volume"), v);
        applyVolume();
    });
    bar->addWidget(new QLabel(tr(" Volume "), bar));
    bar->addWidget(volume_);
    poll_ = new QTimer(this);
    poll_->setInterval(50);  // the read-out follows play closely
    connect(poll_, &QTimer::timeout, this, &StudioWindow::updatePosition);
    poll_->start();
    updatePosition();
}

void StudioWindow::trackDrawing() {
    // The control says nothing of its drawings; the studio follows the pointer to
    // know whether there are any, and whether a text on the video is being typed.
    connect(control_, &tvn::Trelvan::MouseDown, this, [this](int16_t& button, int16_t&, float&, float&) {
        if (button == 1) typingText_ = control_->TVN_drawingTool == QLatin1String("text");
    });
    connect(control_, &tvn::Trelvan::MouseUp, this, [this](int16_t& button, int16_t&, float&, float&) {
        if (button == 1 && draws(control_->TVN_drawingTool)) hasDrawings_ = true;
    });
    connect(control_, &tvn::Trelvan::KeyPress, this, [this](int16_t& key) {
        if (key == 13) typingText_ = false;
    });
}

bool StudioWindow::eventFilter(QObject* watched, QEvent* event) {
    // A dock resized by the coach (its splitter), not by the window's own resize: that width is kept.
    if (event->type() == QEvent::Resize && !fittingDocks_ && isVisible()) {
        if (auto* d = qobject_cast<QDockWidget*>(watched); d && docks_.contains(d) && !d->isFloating() && d->isVisible())
            dockWidth_ = std::max(kDockMinWidth, d->width());
    }
    if (overlayClockWaits_ && event->type() == QEvent::Paint && watched == control_->visibleVideoWidget()) {
        overlayPlay_.restart();  // the mixer's first frame of the play is on screen: its clock starts now
        overlayClockWaits_ = false;
    }
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
    return typingText_ && control_->TVN_drawingTool == QLatin1String("text");
}

bool StudioWindow::handleKey(int key) {
    if (key == Qt::Key_F11) {
        toggleFullScreen();
        return true;
    }
    if ((key != Qt::Key_Space && key != Qt::Key_Left && key != Qt::Key_Right) || typing()) return false;
    if (key == Qt::Key_Space) playPause();
    else if (key == Qt::Key_Left) stepBack();
    else stepForward();
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
    if (!hasDrawings_) return true;
    return QMessageBox::question(this, tr("Open clip"),
                                 tr("The drawings on this clip are cleared when the next clip opens. Open it?"),
                                 QMessageBox::Open | QMessageBox::Cancel) == QMessageBox::Open;
}

bool StudioWindow::openClip(const QString& fileName) {
    // Read it first: a file that cannot be opened must not close the clip being studied.
    const tvn::ClipProbe probe = tvn::probeClip(fileName);
    const QString what = tr("Open '%1'").arg(QFileInfo(fileName).fileName());
    if (!probe.canOpen) {
        reportFailure(what, probe.error.value_or(tvn::TvnError(tvn::err::ClipOpenFailed, fileName)));
        return false;
    }
    if (!mayClearDrawings()) return false;
    ctx_.run(tr("Clear drawings"), [this] { control_->TVN_EraseAll(); });
    hasDrawings_ = typingText_ = false;
    QString name = fileName;
    int32_t frames = 0;
    if (!ctx_.run(what, [&] { frames = control_->TVN_OpenFile(name); })) {
        area_->setClipSize({});
        return false;
    }
    applyVolume();
    overlay_->clipOpened();
    area_->setClipSize(QSize(control_->TVN_VideoWidth, control_->TVN_VideoHeight));
    drawing_->clipOpened();
    slider_->setRange(0, std::max(0, frames - 1));
    slider_->setValue(0);
    setWindowTitle(tr("%1 - Trelvan Studio").arg(QFileInfo(fileName).fileName()));
    statusBar()->showMessage(tr("%1: %2 x %3, %4 frames, %5")
                                 .arg(QFileInfo(fileName).fileName())
                                 .arg(control_->TVN_VideoWidth)
                                 .arg(control_->TVN_VideoHeight)
                                 .arg(frames)
                                 .arg(TimeText::clock(control_->TVN_TotalLenMS)));
    if (probe.missingFrames > 0) {
        const auto listed = qint64(probe.frameCount + probe.missingFrames);
        showNotice(this,
                   tr("This clip ends early: only %1 of its %2 frames are in the file.").arg(frames).arg(listed),
                   tr("'%1' lists %2 frames; %3 are missing at its end.").arg(fileName).arg(listed).arg(qint64(probe.missingFrames)));
    }
    updatePosition();
    return true;
}

void StudioWindow::closeClip() {
    ctx_.run(tr("Close"), [this] { control_->TVN_Close(); });
    overlay_->clipOpened();
    area_->setClipSize({});
    slider_->setRange(0, 0);
    setWindowTitle(tr("Trelvan Studio"));
    updatePosition();
}

void StudioWindow::updatePosition() {
    double pos = control_->TVN_CurrentPos;
    int frame = control_->TVN_CurrentFrame;
    if (overlay_ && overlay_->isActive() && overlayPlay_.isValid()) {
        // The overlay plays in the mixer, at normal speed, from where play started.
        pos = std::min(overlayPlayFromMs_ + double(overlayPlay_.elapsed()), control_->TVN_TotalLenMS);
        overlay_->followPlay(double(overlayPlay_.elapsed()));
        frame = control_->TVN_FrameLenMS > 0 ? int(std::floor(pos / control_->TVN_FrameLenMS)) : 0;
        frame = std::min(frame, std::max(0, control_->TVN_NumFrames - 1));
    } else {
        overlayPlay_.invalidate();
        if (overlay_) overlay_->followPlay(-1);
        if (control_->TVN_IsPlaying) {
            tvn::ignoringErrors([this] { control_->TVN_GetPosLive(); });
            pos = control_->TVN_CurrentPos;
            frame = control_->TVN_CurrentFrame;
        }
    }
    if (stripLabels_->isVisible()) stripLabels_->update();
    const QString readout = tr("%1  %2").arg(TimeText::clock(pos), TimeText::frame(frame, control_->TVN_NumFrames));
    time_->setText(readout);
    followFullScreen(readout);
    updateRecordingMark();
    if (!slider_->isSliderDown() && requestedFrame_ < 0) {
        const QSignalBlocker quiet(slider_);
        slider_->setValue(frame);
    }
}

void StudioWindow::playPause() {
    if (overlay_->isActive()) {
        if (overlayPlay_.isValid()) {
            const int frame = control_->TVN_FrameLenMS > 0 ? int(std::min(overlayPlayFromMs_ + double(overlayPlay_.elapsed()),
                                                                          control_->TVN_TotalLenMS) / control_->TVN_FrameLenMS)
                                                           : 0;
            ctx_.run(tr("Pause"), [this] { control_->TVN_Pause(); });
            overlayPlay_.invalidate();
            // The main clip stays on the frame the read-out shows.
            setFrame(std::min(frame, std::max(0, control_->TVN_NumFrames - 1)));
        } else if (ctx_.run(tr("Play"), [this] { control_->TVN_Play(); })) {
            overlayPlayFromMs_ = control_->TVN_CurrentPos;
            overlayPlay_.start();
            overlayClockWaits_ = true;
        }
    } else if (control_->TVN_IsPlaying) {
        ctx_.run(tr("Pause"), [this] { control_->TVN_Pause(); });
    } else {
        ctx_.run(tr("Play"), [this] { control_->TVN_Play(); });
    }
    updatePosition();
}

void StudioWindow::stepForward() {
    if (overlayPlay_.isValid()) playPause();  // both clips stop first, where the read-out says
    ctx_.run(tr("Step"), [this] { control_->TVN_StepOneFrame(); });
    updatePosition();
}

void StudioWindow::stepBack() {
    if (overlayPlay_.isValid()) playPause();
    setFrame(std::max(0, control_->TVN_CurrentFrame - 1));
}

void StudioWindow::setFrame(int frame) {
    int32_t f = frame;
    overlayPlay_.invalidate();
    ctx_.run(tr("Go to frame"), [&] { control_->TVN_SetFrame(f); });
    updatePosition();
}

void StudioWindow::requestFrame(int frame) {
    // Coalesced: while a jump is being shown, later requests only replace the
    // target; the next jump is asked when the event loop is back, after the last
    // one was painted, so the picture follows the hand instead of lagging behind.
    const bool scheduled = requestedFrame_ >= 0;
    requestedFrame_ = frame;
    if (!scheduled) QTimer::singleShot(0, this, &StudioWindow::showRequestedFrame);
}

void StudioWindow::showRequestedFrame() {
    const int frame = requestedFrame_;
    if (frame < 0) return;
    if (slider_->isSliderDown()) {
        // While the handle is dragged, the quick picture nearest the frame; the exact one on release.
        overlayPlay_.invalidate();
        ctx_.run(tr("Go to frame"), [&] { control_->scrubToFrame(frame); });
        updatePosition();
    } else {
        setFrame(frame);
    }
    control_->visibleVideoWidget()->repaint();
    requestedFrame_ = -1;
}

// The engine's full-screen window is a top-level of its own: the read-out rides on it.
void StudioWindow::followFullScreen(const QString& readout) {
    QWidget* screen = nullptr;
    if (fullScreen_)
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w != this && w->isFullScreen() && !w->parentWidget() && w->isVisible()) screen = w;
    if (!screen) {
        delete fullScreenReadout_.data();
        return;
    }
    if (!fullScreenReadout_ || fullScreenReadout_->parentWidget() != screen) {
        delete fullScreenReadout_.data();
        fullScreenReadout_ = new QLabel(screen);
        fullScreenReadout_->setObjectName(QStringLiteral("fullScreenReadout"));
        fullScreenReadout_->setStyleSheet(QStringLiteral("QLabel { background: rgba(0,0,0,160); color: white; "
                                                         "font-size: 16px; font-weight: bold; padding: 4px 8px; }"));
        fullScreenReadout_->setAttribute(Qt::WA_TransparentForMouseEvents);
        fullScreenReadout_->show();
    }
    fullScreenReadout_->setText(readout);
    fullScreenReadout_->adjustSize();
    fullScreenReadout_->move(12, screen->height() - fullScreenReadout_->height() - 12);
    fullScreenReadout_->raise();
}

void StudioWindow::saveFrame() {
    QSettings settings;
    const QString folder = settings.value(QStringLiteral("frames/folder"), QFileInfo(control_->TVN_videoFileName).absolutePath()).toString();
    const QString suggested = QStringLiteral("%1/%2-frame%3.jpg")
                                  .arg(folder, QFileInfo(control_->TVN_videoFileName).completeBaseName())
                                  .arg(control_->TVN_CurrentFrame);
    QString f = QFileDialog::getSaveFileName(this, tr("Save frame"), suggested, tr("JPEG (*.jpg *.jpeg)"));
    if (f.isEmpty()) return;
    if (!f.endsWith(QLatin1String(".jpg"), Qt::CaseInsensitive) && !f.endsWith(QLatin1String(".jpeg"), Qt::CaseInsensitive))
        f += QStringLiteral(".jpg");
    settings.setValue(QStringLiteral("frames/folder"), QFileInfo(f).absolutePath());
    int32_t quality = QInputDialog::getInt(this, tr("JPEG quality"), tr("Quality (1-100)"), 90, 1, 100);
    bool saved = false;
    if (overlay_->isActive()) {
        // The control saves the main clip alone; with a second clip laid over it,
        // what the coach sees is the mixed picture.
        QImageWriter writer(f, "jpeg");
        writer.setQuality(quality);
        saved = writer.write(control_->visibleVideoWidget()->grab().toImage());
        if (!saved) reportFailure(tr("Save frame"), tvn::TvnError(tvn::err::PathFileAccess, writer.errorString()));
    } else {
        ctx_.run(tr("Save frame"), [&] { saved = control_->TVN_SaveFrameJpg(f, quality); });
    }
    statusBar()->showMessage(saved ? tr("Saved %1").arg(f) : tr("The frame was not saved to %1").arg(f), 8000);
}

void StudioWindow::uploadFrame() {
    UploadDialog dialog(this);
    if (dialog.exec() != QDialog::Accepted) return;
    // The upload runs on this thread and may wait long for a server that does not
    // answer: the coach sees that it is waiting, and why it failed.
    QProgressDialog busy(tr("Uploading the frame to %1...").arg(dialog.server()), QString(), 0, 0, this);
    busy.setWindowModality(Qt::WindowModal);
    busy.setMinimumDuration(0);
    busy.show();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    for (int i = 0; i < 3; ++i) QApplication::processEvents();  // paint the dialog before the wait
    std::optional<tvn::TvnError> why;
    heldFailure_ = &why;  // the engine signals why; it is reported once, below
    int32_t result = 0;
    try {
        result = control_->TVN_UploadFrame(dialog.server(), dialog.user(), dialog.password(), dialog.path(),
                                           dialog.fileName(), dialog.port(), dialog.quality());
    } catch (const tvn::TvnError& e) {
        why = e;
    }
    heldFailure_ = nullptr;
    QApplication::restoreOverrideCursor();
    busy.close();
    if (result == -1) statusBar()->showMessage(tr("Frame uploaded to %1").arg(dialog.server()), 8000);
    else reportFailure(tr("Upload frame"), why.value_or(tvn::TvnError(tvn::err::UploadFailed, tr("the server did not take the frame"))));
}

void StudioWindow::reportFailure(const QString& what, const tvn::TvnError& error) {
    failureShown_.start();
    const QString words = failureText(what, error);
    statusBar()->showMessage(words, 15000);
    // A failure that repeats while its dialog is still open is not stacked on it.
    if (failureBox_ && failureBox_->text() == words) return;
    failureBox_ = showFailure(this, what, error);
}

}  // namespace studio
