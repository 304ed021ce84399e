#include "LessonPanel.h"

#include "TimeText.h"
#include "control/Trelvan.h"

#include <QComboBox>
#include <QDateTime>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>
#include <QUrl>
#include <QFileDialog>
#include <QFormLayout>
#include <QGridLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>

namespace studio {

LessonPanel::LessonPanel(StudioContext context, QWidget* parent) : QWidget(parent), ctx_(std::move(context)) {
    auto* form = new QFormLayout(this);
    form->setRowWrapPolicy(QFormLayout::WrapLongRows);  // narrow panel: fields go under their labels
    fps_ = new QSpinBox(this);
    fps_->setRange(1, 60);
    fps_->setValue(25);
    fps_->setSuffix(tr(" fps"));
    form->addRow(tr("Frame rate"), fps_);

    auto* buttons = new QGridLayout;
    auto* startButton = new QPushButton(tr("Start..."), this);
    auto* pause = new QPushButton(tr("Pause"), this);
    auto* resume = new QPushButton(tr("Resume"), this);
    auto* stop = new QPushButton(tr("Stop"), this);
    buttons->addWidget(startButton, 0, 0);
    buttons->addWidget(pause, 0, 1);
    buttons->addWidget(resume, 1, 0);
    buttons->addWidget(stop, 1, 1);
    form->addRow(buttons);
    connect(startButton, &QPushButton::clicked, this, &LessonPanel::start);
    connect(pause, &QPushButton::clicked, this, &LessonPanel::pause);
    connect(resume, &QPushButton::clicked, this, &LessonPanel::resume);
    connect(stop, &QPushButton::clicked, this, &LessonPanel::stop);
    startButton->setToolTip(tr("Records what the video shows, drawings included, with your voice (Ctrl+R)"));
    pause->setToolTip(tr("Pauses the recording; Resume goes on in the same file (F9 either way)"));
    resume->setToolTip(tr("Goes on recording in the same file (F9)"));
    stop->setToolTip(tr("Ends the lesson's files (Shift+F9)"));
    time_ = new QLabel(QStringLiteral("0:00"), this);
    form->addRow(tr("Recorded"), time_);

    device_ = new QComboBox(this);
    lineInput_ = new QComboBox(this);
    form->addRow(tr("Audio device"), device_);
    form->addRow(tr("Line input"), lineInput_);
    refreshDevices();
    connect(device_, &QComboBox::activated, this, [this](int index) {
        ctx_.run(tr("Select audio device"),
                 [&] { ctx_.control->TVN_SelectAudioDevice(static_cast<int16_t>(index)); });
        lineInput_->clear();
        lineInput_->addItems(ctx_.control->TVN_AudioLineInputs.items());
    });
    connect(lineInput_, &QComboBox::activated, this, [this](int index) {
        ctx_.run(tr("Select line input"),
                 [&] { ctx_.control->TVN_SelectAudioLineInput(static_cast<int16_t>(index)); });
    });

    profile_ = new QComboBox(this);
    profile_->addItem(tr("Built-in broadband profile"));
    profile_->addItem(tr("Custom profile file..."));
    form->addRow(tr("Profile"), profile_);
    auto* compressButton = new QPushButton(tr("Compress..."), this);
    progress_ = new QProgressBar(this);
    progress_->setRange(0, 100);
    progress_->setValue(0);
    form->addRow(compressButton, progress_);
    connect(compressButton, &QPushButton::clicked, this, &LessonPanel::compress);
    connect(ctx_.control, &tvn::Trelvan::LessonCompressionProgress, this,
            [this] { progress_->setValue(ctx_.control->TVN_LessonCompressionProgress); });
    connect(ctx_.control, &tvn::Trelvan::LessonCompressionComplete, this, [this] {
        progress_->setValue(100);
        announceFile(tr("Lesson compressed"), compressedFile_);
    });

    clock_ = new QTimer(this);
    clock_->setInterval(250);
    connect(clock_, &QTimer::timeout, this, &LessonPanel::updateClock);
    clock_->start();
}

void LessonPanel::pause() {
    if (ctx_.run(tr("Pause lesson"), [this] { ctx_.control->TVN_PauseLesson(); }) && !paused_ && recording()) {
        recordedMs_ += running_.elapsed();
        paused_ = true;
        emit stateChanged();
    }
}

void LessonPanel::resume() {
    if (ctx_.run(tr("Resume lesson"), [this] { ctx_.control->TVN_ResumeLesson(); }) &&
        ctx_.control->TVN_LessonInProgress && paused_) {
        running_.restart();
        paused_ = false;
        emit stateChanged();
    }
}

void LessonPanel::stop() {
    if (!recording()) return;
    if (ctx_.run(tr("Stop lesson"), [this] { ctx_.control->TVN_StopLesson(); })) {
        if (!paused_) recordedMs_ += running_.elapsed();
        paused_ = true;
        emit stateChanged();
        announceFile(tr("Lesson recorded"), lessonFile_);
    }
}

bool LessonPanel::recording() const { return ctx_.control->TVN_LessonInProgress; }

qint64 LessonPanel::recordedMs() const {
    return recordedMs_ + (ctx_.control->TVN_LessonInProgress && !paused_ && running_.isValid() ? running_.elapsed() : 0);
}

void LessonPanel::refreshDevices() {
    device_->clear();
    device_->addItems(ctx_.control->TVN_AudioDevices.items());
    if (device_->count() == 0) device_->addItem(tr("(no capture device: video only)"));
}

QString LessonPanel::lessonFolder() const {
    QString fallback = QStandardPaths::writableLocation(QStandardPaths::MoviesLocation);
    if (!ctx_.control->TVN_videoFileName.isEmpty()) fallback = QFileInfo(ctx_.control->TVN_videoFileName).absolutePath();
    else if (!QFileInfo(fallback).isDir()) fallback = QDir::homePath();
    return QSettings().value(QStringLiteral("lessons/folder"), fallback).toString();
}

QString LessonPanel::withExtension(QString file, const QString& selectedFilter) {
    // The extension the chosen filter names, when the coach typed none of the filter's.
    static const QRegularExpression extensions(QStringLiteral("\\*(\\.\\w+)"));
    QStringList offered;
    for (auto it = extensions.globalMatch(selectedFilter); it.hasNext();) offered << it.next().captured(1);
    for (const QString& e : offered)
        if (file.endsWith(e, Qt::CaseInsensitive)) return file;
    return offered.isEmpty() ? file : file + offered.first();
}

void LessonPanel::start() {
    const QString suggested =
        QStringLiteral("%1/lesson-%2.avi").arg(lessonFolder(), QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd-HHmm")));
    QString filter = tr("AVI video (*.avi)");
    QString file = QFileDialog::getSaveFileName(this, tr("Record lesson to"), suggested, filter, &filter);
    if (file.isEmpty()) return;
    file = withExtension(file, filter);
    QSettings().setValue(QStringLiteral("lessons/folder"), QFileInfo(file).absolutePath());
    startTo(file);
}

bool LessonPanel::startTo(const QString& file) {
    bool started = false;
    if (!ctx_.run(tr("Start lesson"), [&] { started = ctx_.control->TVN_StartLesson(file, fps_->value()); })) return false;
    if (!started) {
        ctx_.showMessage(tr("A lesson is already being recorded"));
        return false;
    }
    lessonFile_ = file;
    recordedMs_ = 0;
    paused_ = false;
    running_.start();
    progress_->setValue(0);  // the last compression's bar does not run into this lesson
    emit stateChanged();
    return true;
}

void LessonPanel::compress() {
    QString avi = lessonFile_;
    if (avi.isEmpty())
        avi = QFileDialog::getOpenFileName(this, tr("Lesson video"), lessonFolder(), tr("AVI video (*.avi)"));
    if (avi.isEmpty()) return;
    const QFileInfo source(avi);
    QString filter = tr("Windows Media (*.wmv)");
    QString out = QFileDialog::getSaveFileName(this, tr("Compressed lesson"),
                                               source.absolutePath() + QLatin1Char('/') + source.completeBaseName() + QStringLiteral(".wmv"),
                                               tr("Windows Media (*.wmv);;MP4 (*.mp4)"), &filter);
    if (out.isEmpty()) return;
    out = withExtension(out, filter);
    if (profile_->currentIndex() == 1) {
        const QString profile = QFileDialog::getOpenFileName(this, tr("Profile file"), lessonFolder());
        if (profile.isEmpty()) return;
        ctx_.control->TVN_LessonProfile = profile;
    } else {
        ctx_.control->TVN_LessonProfile.clear();
    }
    progress_->setValue(0);
    compressedFile_ = out;
    ctx_.run(tr("Compress lesson"), [&] { ctx_.control->TVN_CompressLesson(avi, out); });
}

void LessonPanel::announceFile(const QString& what, const QString& file) {
    // The voice is recorded next to the video, as its name with ".wav" added, when there was a sound device.
    const QString voice = file + QStringLiteral(".wav");
    const QString text = QFileInfo::exists(voice) ? tr("%1: %2 (voice in %3)").arg(what, QFileInfo(file).fileName(), QFileInfo(voice).fileName())
                                                  : tr("%1: %2").arg(what, QFileInfo(file).fileName());
    ctx_.showMessage(text);
    auto* box = new QMessageBox(QMessageBox::Information, what, text + QStringLiteral("\n") + QFileInfo(file).absolutePath(),
                                QMessageBox::Close, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    QPushButton* open = box->addButton(tr("Open folder"), QMessageBox::ActionRole);
    connect(open, &QPushButton::clicked, box, [file] {
        QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(file).absolutePath()));
    });
    box->open();
}

void LessonPanel::updateClock() {
    const qint64 ms = recordedMs();
    time_->setText(TimeText::duration(double(ms)));
}

}  // namespace studio
