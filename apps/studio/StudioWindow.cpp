#include "StudioWindow.h"

#include "DrawingPanel.h"
#include "LessonPanel.h"
#include "MotionPanel.h"
#include "OverlayPanel.h"
#include "UploadDialog.h"
#include "control/Trelvan.h"
#include "core/TvnError.h"

#include <QAction>
#include <QComboBox>
#include <QDockWidget>
#include <QFileDialog>
#include <QInputDialog>
#include <QLabel>
#include <QMenuBar>
#include <QShortcut>
#include <QSlider>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>

namespace studio {

StudioWindow::StudioWindow(QWidget* parent) : QMainWindow(parent), control_(new tvn::Trelvan(this)) {
    setWindowTitle(tr("Trelvan Studio"));
    setCentralWidget(control_);
    ctx_.control = control_;
    ctx_.showMessage = [this](const QString& m) { statusBar()->showMessage(m, 8000); };
    buildMenus();
    buildTransport();
    buildShortcuts();
    auto dock = [this](const QString& title, QWidget* panel) {
        auto* d = new QDockWidget(title, this);
        d->setWidget(panel);
        addDockWidget(Qt::RightDockWidgetArea, d);
        return d;
    };
    auto* drawing = dock(tr("Drawing"), new DrawingPanel(ctx_, this));
    auto* lesson = dock(tr("Lesson"), new LessonPanel(ctx_, this));
    auto* overlay = dock(tr("Overlay"), new OverlayPanel(ctx_, this));
    tabifyDockWidget(drawing, lesson);
    tabifyDockWidget(lesson, overlay);
    tabifyDockWidget(overlay, dock(tr("Motion"), new MotionPanel(ctx_, this)));
    drawing->raise();
    // A failure during play, conversion or upload stays readable; the end of
    // clip that follows a failed play does not cover it.
    connect(control_, &tvn::Trelvan::failed, this, [this](const tvn::TvnError& e) {
        failureShown_.start();
        statusBar()->showMessage(tr("Error %1: %2").arg(e.number()).arg(e.description()), 15000);
    });
    connect(control_, &tvn::Trelvan::VideoEnd, this, [this] {
        if (!failureShown_.isValid() || failureShown_.hasExpired(15000)) statusBar()->showMessage(tr("End of clip"), 3000);
    });
    connect(control_, &tvn::Trelvan::FullScreenLost, this, [this] { statusBar()->showMessage(tr("Left full screen"), 3000); });
    resize(1100, 640);
}

void StudioWindow::buildMenus() {
    QMenu* file = menuBar()->addMenu(tr("&File"));
    file->addAction(tr("&Open clip..."), QKeySequence::Open, this, [this] {
        const QString f = QFileDialog::getOpenFileName(this, tr("Open clip"), QString(),
                                                       tr("Video (*.mp4 *.mov *.avi *.mkv *.webm *.ts *.m2ts *.mpg *.wmv);;All files (*)"));
        if (!f.isEmpty()) openClip(f);
    });
    file->addAction(tr("&Close clip"), this, [this] {
        ctx_.run(tr("Close"), [this] { control_->TVN_Close(); });
        slider_->setRange(0, 0);
        updatePosition();
    });
    file->addSeparator();
    file->addAction(tr("Save frame as &JPEG..."), this, &StudioWindow::saveFrame);
    file->addAction(tr("&Upload frame..."), this, &StudioWindow::uploadFrame);
    file->addSeparator();
    file->addAction(tr("&Quit"), QKeySequence::Quit, this, &QWidget::close);

    QMenu* view = menuBar()->addMenu(tr("&View"));
    view->addAction(tr("&Full screen"), this, [this] { ctx_.run(tr("Full screen"), [this] { control_->TVN_FullScreen(); }); });
    QAction* strip = view->addAction(tr("Film &strip"));
    strip->setCheckable(true);
    connect(strip, &QAction::toggled, this,
            [this](bool on) { ctx_.run(tr("Film strip"), [&] { control_->TVN_ShowFilmStrip(on); }); });
    QAction* mirror = view->addAction(tr("&Mirror video"));
    mirror->setCheckable(true);
    connect(mirror, &QAction::toggled, this,
            [this](bool on) { ctx_.run(tr("Mirror"), [&] { control_->TVN_FlipVideo(on ? 1 : 0); }); });
}

void StudioWindow::buildTransport() {
    QToolBar* bar = addToolBar(tr("Transport"));
    bar->setObjectName(QStringLiteral("transport"));
    bar->addAction(tr("Play/Pause"), this, &StudioWindow::playPause);
    bar->addAction(tr("< Step"), this, &StudioWindow::stepBack);
    bar->addAction(tr("Step >"), this, &StudioWindow::stepForward);
    slider_ = new QSlider(Qt::Horizontal, bar);
    slider_->setRange(0, 0);
    slider_->setMinimumWidth(300);
    connect(slider_, &QSlider::sliderMoved, this, &StudioWindow::setFrame);
    bar->addWidget(slider_);
    time_ = new QLabel(QStringLiteral("0.000 s  frame 0"), bar);
    time_->setMinimumWidth(160);
    bar->addWidget(time_);
    rate_ = new QComboBox(bar);
    for (const char* r : {"0.1", "0.25", "0.5", "1", "2", "4"}) rate_->addItem(QString::fromLatin1(r));
    rate_->setCurrentText(QStringLiteral("1"));
    connect(rate_, &QComboBox::currentTextChanged, this, [this](const QString& t) {
        double rate = t.toDouble();
        ctx_.run(tr("Rate"), [&] { control_->TVN_SetRate(rate); });
    });
    bar->addWidget(new QLabel(tr(" Rate "), bar));
    bar->addWidget(rate_);
    auto* volume = new QSlider(Qt::Horizontal, bar);
    volume->setRange(0, 100);
    volume->setValue(85);
    volume->setMaximumWidth(100);
    connect(volume, &QSlider::valueChanged, this, [this](int v) {
        int32_t level = v;
        ctx_.run(tr("Volume"), [&] { control_->TVN_SetVolume(level); });
    });
    bar->addWidget(new QLabel(tr(" Volume "), bar));
    bar->addWidget(volume);
    poll_ = new QTimer(this);
    poll_->setInterval(200);
    connect(poll_, &QTimer::timeout, this, &StudioWindow::updatePosition);
    poll_->start();
}

void StudioWindow::buildShortcuts() {
    // While a text is being typed the keys belong to the text, not to the transport.
    auto transportKey = [this](QKeySequence key, void (StudioWindow::*action)()) {
        auto* s = new QShortcut(key, this);
        connect(s, &QShortcut::activated, this, [this, action] {
            if (control_->TVN_drawingTool != QLatin1String("text")) (this->*action)();
        });
    };
    transportKey(Qt::Key_Space, &StudioWindow::playPause);
    transportKey(Qt::Key_Left, &StudioWindow::stepBack);
    transportKey(Qt::Key_Right, &StudioWindow::stepForward);
}

bool StudioWindow::openClip(const QString& fileName) {
    QString name = fileName;
    int32_t frames = 0;
    if (!ctx_.run(tr("Open '%1'").arg(fileName), [&] { frames = control_->TVN_OpenFile(name); })) return false;
    slider_->setRange(0, std::max(0, frames - 1));
    slider_->setValue(0);
    statusBar()->showMessage(tr("%1: %2 frames of %3 ms").arg(fileName).arg(frames).arg(control_->TVN_FrameLenMS, 0, 'f', 3));
    updatePosition();
    return true;
}

void StudioWindow::updatePosition() {
    if (control_->TVN_IsPlaying) tvn::ignoringErrors([this] { control_->TVN_GetPosLive(); });
    const double pos = control_->TVN_CurrentPos;
    time_->setText(QStringLiteral("%1 s  frame %2").arg(pos / 1000.0, 0, 'f', 3).arg(control_->TVN_CurrentFrame));
    if (!slider_->isSliderDown()) {
        slider_->blockSignals(true);
        slider_->setValue(control_->TVN_CurrentFrame);
        slider_->blockSignals(false);
    }
}

void StudioWindow::playPause() {
    if (control_->TVN_IsPlaying) ctx_.run(tr("Pause"), [this] { control_->TVN_Pause(); });
    else ctx_.run(tr("Play"), [this] { control_->TVN_Play(); });
    updatePosition();
}

void StudioWindow::stepForward() {
    ctx_.run(tr("Step"), [this] { control_->TVN_StepOneFrame(); });
    updatePosition();
}

void StudioWindow::stepBack() { setFrame(std::max(0, control_->TVN_CurrentFrame - 1)); }

void StudioWindow::setFrame(int frame) {
    int32_t f = frame;
    ctx_.run(tr("Set frame"), [&] { control_->TVN_SetFrame(f); });
    updatePosition();
}

void StudioWindow::saveFrame() {
    QString f = QFileDialog::getSaveFileName(this, tr("Save frame"), QStringLiteral("frame.jpg"), tr("JPEG (*.jpg)"));
    if (f.isEmpty()) return;
    int32_t quality = QInputDialog::getInt(this, tr("JPEG quality"), tr("Quality (1-100)"), 90, 1, 100);
    bool saved = false;
    ctx_.run(tr("Save frame"), [&] { saved = control_->TVN_SaveFrameJpg(f, quality); });
    statusBar()->showMessage(saved ? tr("Saved %1").arg(f) : tr("The frame was not saved to %1").arg(f), 5000);
}

void StudioWindow::uploadFrame() {
    UploadDialog dialog(this);
    if (dialog.exec() != QDialog::Accepted) return;
    int32_t result = 0;
    ctx_.run(tr("Upload frame"), [&] {
        result = control_->TVN_UploadFrame(dialog.server(), dialog.user(), dialog.password(), dialog.path(),
                                           dialog.fileName(), dialog.port(), dialog.quality());
    });
    statusBar()->showMessage(result == -1 ? tr("Frame uploaded") : tr("The upload failed"), 5000);
}

}  // namespace studio
