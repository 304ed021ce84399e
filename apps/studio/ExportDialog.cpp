#include "ExportDialog.h"

#include "analysis/Analysis.h"

#include "control/Trelvan.h"
#include "core/TvnError.h"
#include "export/VideoExport.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>

namespace studio {

namespace {

// A table the coach adds rows to and removes them from, with the buttons for both.
QWidget* editableTable(QTableWidget* table, const QStringList& headers, const QStringList& defaults, QWidget* parent) {
    table->setColumnCount(int(headers.size()));
    table->setHorizontalHeaderLabels(headers);
    table->horizontalHeader()->setStretchLastSection(true);
    table->verticalHeader()->hide();
    table->setMinimumHeight(90);
    auto* box = new QWidget(parent);
    auto* layout = new QVBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(table);
    auto* buttons = new QHBoxLayout;
    auto* add = new QPushButton(QObject::tr("Add"), box);
    auto* remove = new QPushButton(QObject::tr("Remove"), box);
    buttons->addWidget(add);
    buttons->addWidget(remove);
    buttons->addStretch();
    layout->addLayout(buttons);
    QObject::connect(add, &QPushButton::clicked, table, [table, defaults] {
        const int row = table->rowCount();
        table->insertRow(row);
        for (int c = 0; c < defaults.size(); ++c) table->setItem(row, c, new QTableWidgetItem(defaults[c]));
    });
    QObject::connect(remove, &QPushButton::clicked, table, [table] {
        if (table->currentRow() >= 0) table->removeRow(table->currentRow());
    });
    return box;
}

QString cell(const QTableWidget* t, int row, int column) {
    const QTableWidgetItem* item = t->item(row, column);
    return item ? item->text().trimmed() : QString();
}

}  // namespace

ExportDialog::ExportDialog(StudioContext context, QWidget* parent) : QDialog(parent), ctx_(std::move(context)) {
    setWindowTitle(tr("Export video"));
    setAttribute(Qt::WA_DeleteOnClose);
    auto* form = new QFormLayout;
    auto* range = new QHBoxLayout;
    first_ = new QSpinBox(this);
    last_ = new QSpinBox(this);
    range->addWidget(first_);
    range->addWidget(new QLabel(tr("to"), this));
    range->addWidget(last_);
    form->addRow(tr("Frames"), range);
    size_ = new QComboBox(this);
    size_->addItem(tr("The clip's size"), 0);
    size_->addItem(tr("1080 lines (Full HD)"), 1080);
    size_->addItem(tr("720 lines (HD)"), 720);
    size_->addItem(tr("480 lines (small, for messages)"), 480);
    form->addRow(tr("Size"), size_);
    slow_ = new QTableWidget(this);
    form->addRow(tr("Slow motion"), editableTable(slow_, {tr("First frame"), tr("Last frame"), tr("Factor (2 = half speed)")},
                                                    {"0", "0", "2"}, this));
    pauses_ = new QTableWidget(this);
    form->addRow(tr("Pauses"), editableTable(pauses_, {tr("Frame"), tr("Seconds"), tr("Label")}, {"0", "2", ""}, this));
    keyMomentPause_ = new QDoubleSpinBox(this);
    keyMomentPause_->setRange(0, 60);
    keyMomentPause_->setDecimals(1);
    keyMomentPause_->setSuffix(tr(" s"));
    keyMomentPause_->setSpecialValueText(tr("No pauses"));
    form->addRow(tr("Pause on each key moment"), keyMomentPause_);
    smooth_ = new QCheckBox(tr("Smooth slow motion (in-between pictures; takes several times longer)"), this);
    form->addRow(QString(), smooth_);
    speed_ = new QComboBox(this);
    speed_->addItem(tr("Quick to make"), QStringLiteral("ultrafast"));
    speed_->addItem(tr("Smaller file"), QStringLiteral("superfast"));
    speed_->addItem(tr("Smallest file (slow to make)"), QStringLiteral("medium"));
    form->addRow(tr("Encoding"), speed_);
    sound_ = new QCheckBox(tr("Keep the clip's sound (slowed with the video, silent in pauses)"), this);
    sound_->setChecked(true);
    form->addRow(QString(), sound_);
    auto* fileRow = new QHBoxLayout;
    file_ = new QLineEdit(QDir::home().filePath(QStringLiteral("analysis.mp4")), this);
    auto* browse = new QPushButton(tr("Browse..."), this);
    fileRow->addWidget(file_);
    fileRow->addWidget(browse);
    form->addRow(tr("File"), fileRow);
    progress_ = new QProgressBar(this);
    progress_->setRange(0, 100);
    progress_->setValue(0);
    status_ = new QLabel(this);
    status_->setWordWrap(true);

    auto* buttons = new QDialogButtonBox(this);
    export_ = buttons->addButton(tr("Export"), QDialogButtonBox::AcceptRole);
    cancel_ = buttons->addButton(tr("Cancel export"), QDialogButtonBox::RejectRole);
    QPushButton* close = buttons->addButton(QDialogButtonBox::Close);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(progress_);
    layout->addWidget(status_);
    layout->addWidget(buttons);

    connect(browse, &QPushButton::clicked, this, &ExportDialog::browse);
    connect(export_, &QPushButton::clicked, this, &ExportDialog::startExport);
    connect(cancel_, &QPushButton::clicked, this, &ExportDialog::cancelExport);
    connect(close, &QPushButton::clicked, this, &QDialog::close);
    tvn::VideoExport* exporter = ctx_.control->videoExport();
    connect(exporter, &tvn::VideoExport::progress, this, [this](int percent, qint64, qint64) { progress_->setValue(percent); });
    connect(exporter, &tvn::VideoExport::finished, this, &ExportDialog::finished);
    connect(exporter, &tvn::VideoExport::failed, this, &ExportDialog::failed);
    refreshFromClip();
    setRunning(exporter->busy());
}

void ExportDialog::refreshFromClip() {
    const int frames = std::max(1, int(ctx_.control->TVN_NumFrames));
    first_->setRange(0, frames - 1);
    last_->setRange(0, frames - 1);
    first_->setValue(0);
    last_->setValue(frames - 1);
    // The key moments are where a coach wants the athlete to look: paused on by default.
    keyMomentPause_->setValue(ctx_.control->analysis()->keyMoments().empty() ? 0.0 : 2.0);
}

void ExportDialog::browse() {
    const QString name = QFileDialog::getSaveFileName(this, tr("Export video"), file_->text(),
                                                      tr("MP4 video (*.mp4);;WebM video (*.webm)"));
    if (!name.isEmpty()) file_->setText(name);
}

QSize ExportDialog::outputSize() const {
    const int lines = size_->currentData().toInt();
    const int w = ctx_.control->TVN_VideoWidth, h = ctx_.control->TVN_VideoHeight;
    if (lines == 0 || w <= 0 || h <= 0) return {0, 0};  // 0 x 0: the clip's own size
    // The clip's shape kept, both sides even.
    const int width = int(std::lround(double(w) * lines / h / 2)) * 2;
    return {width, lines};
}

void ExportDialog::startExport() {
    tvn::VideoExport* exporter = ctx_.control->videoExport();
    QString file = file_->text().trimmed();
    if (QFileInfo(file).suffix().isEmpty()) file += QStringLiteral(".mp4");
    const bool started = ctx_.run(tr("Export video"), [&] {
        exporter->clearTiming();
        exporter->setRange(first_->value(), last_->value());
        const QSize size = outputSize();
        exporter->setWidth(size.width());
        exporter->setHeight(size.height());
        exporter->setWithSound(sound_->isChecked());
        exporter->setPreset(speed_->currentData().toString());
        exporter->setInterpolatedSlowMotion(smooth_->isChecked());
        exporter->pauseOnKeyMoments(keyMomentPause_->value());
        for (int r = 0; r < slow_->rowCount(); ++r)
            exporter->addSlowMotion(cell(slow_, r, 0).toInt(), cell(slow_, r, 1).toInt(), cell(slow_, r, 2).toDouble());
        for (int r = 0; r < pauses_->rowCount(); ++r)
            exporter->addPause(cell(pauses_, r, 0).toInt(), cell(pauses_, r, 1).toDouble(), cell(pauses_, r, 2));
        exporter->start(file);
    });
    if (!started) return;
    progress_->setValue(0);
    status_->setText(tr("Exporting %1 s of video to %2 ...")
                         .arg(exporter->plannedDurationMs() / 1000.0, 0, 'f', 1)
                         .arg(QDir::toNativeSeparators(file)));
    setRunning(true);
}

void ExportDialog::cancelExport() { ctx_.control->videoExport()->cancel(); }

void ExportDialog::finished(const QString& file, bool cancelled) {
    setRunning(false);
    status_->setText(cancelled ? tr("Cancelled: no file was written.")
                               : tr("Done: %1").arg(QDir::toNativeSeparators(file)));
    if (!cancelled) progress_->setValue(100);
    if (ctx_.showMessage) ctx_.showMessage(status_->text());
}

void ExportDialog::failed(int, const QString& description) {
    setRunning(false);
    status_->setText(tr("The export failed: %1").arg(description));
}

void ExportDialog::setRunning(bool running) {
    export_->setEnabled(!running);
    cancel_->setEnabled(running);
}

}  // namespace studio
