#include "KeyMomentsPanel.h"

#include "KeyMomentDialog.h"
#include "TimeText.h"
#include "analysis/Analysis.h"
#include "control/Trelvan.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QInputDialog>
#include <QLabel>
#include <QListWidget>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

namespace studio {

KeyMomentsPanel::KeyMomentsPanel(StudioContext context, QWidget* parent)
    : QWidget(parent), ctx_(std::move(context)), analysis_(ctx_.control->analysis()) {
    auto* layout = new QVBoxLayout(this);
    list_ = new QListWidget(this);
    list_->setObjectName(QStringLiteral("keyMoments"));
    list_->setMinimumHeight(90);
    list_->setToolTip(tr("Double-click a moment to see its frame"));
    layout->addWidget(list_);
    auto* buttons = new QGridLayout;
    auto* add = new QPushButton(tr("Mark..."), this);
    rename_ = new QPushButton(tr("Rename..."), this);
    remove_ = new QPushButton(tr("Remove"), this);
    auto* previous = new QPushButton(tr("< Previous"), this);
    auto* next = new QPushButton(tr("Next >"), this);
    auto* csv = new QPushButton(tr("Export CSV..."), this);
    add->setToolTip(tr("Marks the frame shown as a key moment (Ctrl+K)"));
    previous->setToolTip(tr("The key moment before the frame shown (Ctrl+Left)"));
    next->setToolTip(tr("The key moment after the frame shown (Ctrl+Right)"));
    rename_->setToolTip(tr("Gives the selected moment another label"));
    remove_->setToolTip(tr("Removes the selected moment"));
    csv->setToolTip(tr("Writes the moments as a table: frame, time, label, note, colour"));
    buttons->addWidget(previous, 0, 0);
    buttons->addWidget(add, 0, 1);
    buttons->addWidget(next, 0, 2);
    buttons->addWidget(rename_, 1, 0);
    buttons->addWidget(remove_, 1, 1);
    buttons->addWidget(csv, 1, 2);
    layout->addLayout(buttons);
    layout->addStretch(1);
    connect(add, &QPushButton::clicked, this, &KeyMomentsPanel::markAsked);
    connect(rename_, &QPushButton::clicked, this, &KeyMomentsPanel::renameAsked);
    connect(remove_, &QPushButton::clicked, this, &KeyMomentsPanel::removeSelected);
    connect(previous, &QPushButton::clicked, this, &KeyMomentsPanel::previous);
    connect(next, &QPushButton::clicked, this, &KeyMomentsPanel::next);
    connect(csv, &QPushButton::clicked, this, &KeyMomentsPanel::exportAsked);
    connect(list_, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* item) {
        emit frameChosen(item->data(Qt::UserRole).toInt());
    });
    connect(list_, &QListWidget::currentRowChanged, this, [this](int row) {
        rename_->setEnabled(row >= 0);
        remove_->setEnabled(row >= 0);
    });
    connect(analysis_, &tvn::Analysis::keyMomentsChanged, this, &KeyMomentsPanel::refresh);
    refresh();
}

void KeyMomentsPanel::refresh() {
    const int row = list_->currentRow();
    list_->clear();
    QList<TimelineSlider::Mark> marks;
    for (const tvn::KeyMoment& moment : analysis_->keyMoments()) {
        const QColor colour = StudioContext::toQColor(moment.colour);
        QPixmap swatch(12, 12);
        swatch.fill(colour);
        auto* item = new QListWidgetItem(QIcon(swatch), tr("%1  %2  %3")
                                                             .arg(TimeText::clock(moment.timeMs))
                                                             .arg(tr("frame %1").arg(moment.frame), moment.label),
                                         list_);
        item->setData(Qt::UserRole, moment.frame);
        if (!moment.note.isEmpty()) item->setToolTip(moment.note);
        marks.push_back({moment.frame, colour});
    }
    list_->setCurrentRow(std::min(row, list_->count() - 1));
    rename_->setEnabled(list_->currentRow() >= 0);
    remove_->setEnabled(list_->currentRow() >= 0);
    emit marksChanged(marks);
}

int KeyMomentsPanel::selected() const { return list_->currentRow(); }

bool KeyMomentsPanel::mark(const QString& label, const QString& note, int32_t colour) {
    int index = -1;
    if (!ctx_.run(tr("Mark key moment"), [&] { index = analysis_->markKeyMoment(label, note, colour); })) return false;
    list_->setCurrentRow(index);
    ctx_.showMessage(tr("Key moment '%1' on frame %2").arg(label).arg(ctx_.control->TVN_CurrentFrame));
    return true;
}

bool KeyMomentsPanel::rename(int index, const QString& label) {
    return ctx_.run(tr("Rename key moment"), [&] { analysis_->renameKeyMoment(index, label); });
}

void KeyMomentsPanel::markAsked() {
    const int frame = ctx_.control->TVN_CurrentFrame;
    // One moment per frame: marking a frame that has one changes it.
    QString label = tr("Frame %1").arg(frame);
    int existing = -1;
    if (!ctx_.run(tr("Mark key moment"), [&] {
            existing = analysis_->keyMomentOn(frame);
            if (existing >= 0) label = analysis_->keyMomentLabel(existing);
        }))
        return;
    KeyMomentDialog dialog(existing >= 0 ? tr("Change the key moment of frame %1").arg(frame) : tr("Mark frame %1").arg(frame),
                           label, window());
    if (dialog.exec() != QDialog::Accepted || dialog.label().isEmpty()) return;
    mark(dialog.label(), dialog.note(), dialog.colour());
}

void KeyMomentsPanel::renameAsked() {
    const int index = selected();
    if (index < 0) return;
    QString current;
    if (!ctx_.run(tr("Rename key moment"), [&] { current = analysis_->keyMomentLabel(index); })) return;
    bool ok = false;
    const QString label =
        QInputDialog::getText(window(), tr("Rename key moment"), tr("Label"), QLineEdit::Normal, current, &ok).trimmed();
    if (ok && !label.isEmpty()) rename(index, label);
}

void KeyMomentsPanel::removeSelected() {
    const int index = selected();
    if (index >= 0) ctx_.run(tr("Remove key moment"), [&] { analysis_->removeKeyMoment(index); });
}

void KeyMomentsPanel::next() {
    int index = -1;
    if (!ctx_.run(tr("Next key moment"), [&] { index = analysis_->nextKeyMoment(); })) return;
    if (index < 0) ctx_.showMessage(tr("No key moment after this frame"));
    else {
        list_->setCurrentRow(index);
        emit moved();
    }
}

void KeyMomentsPanel::previous() {
    int index = -1;
    if (!ctx_.run(tr("Previous key moment"), [&] { index = analysis_->previousKeyMoment(); })) return;
    if (index < 0) ctx_.showMessage(tr("No key moment before this frame"));
    else {
        list_->setCurrentRow(index);
        emit moved();
    }
}

void KeyMomentsPanel::exportAsked() {
    const QFileInfo clip(ctx_.control->TVN_videoFileName);
    const QString suggested = clip.fileName().isEmpty() ? QString() : clip.absolutePath() + QLatin1Char('/') + clip.completeBaseName() + QStringLiteral("-moments.csv");
    QString file = QFileDialog::getSaveFileName(window(), tr("Export key moments"), suggested, tr("CSV (*.csv)"));
    if (file.isEmpty()) return;
    if (!file.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive)) file += QStringLiteral(".csv");
    if (ctx_.run(tr("Export key moments"), [&] { analysis_->exportKeyMomentsCsv(file); }))
        ctx_.showMessage(tr("Key moments written to %1").arg(file));
}

}  // namespace studio
