#include "KeyMomentDialog.h"

#include "StudioContext.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPixmap>
#include <QPlainTextEdit>

namespace studio {

KeyMomentDialog::KeyMomentDialog(const QString& title, const QString& label, QWidget* parent) : QDialog(parent) {
    setWindowTitle(title);
    auto* form = new QFormLayout(this);
    label_ = new QLineEdit(label, this);
    label_->setObjectName(QStringLiteral("momentLabel"));
    label_->selectAll();
    form->addRow(tr("Label"), label_);
    note_ = new QPlainTextEdit(this);
    note_->setObjectName(QStringLiteral("momentNote"));
    note_->setPlaceholderText(tr("What to look at here (optional)"));
    note_->setFixedHeight(note_->fontMetrics().lineSpacing() * 4 + 12);
    form->addRow(tr("Note"), note_);
    colour_ = new QComboBox(this);
    colour_->setObjectName(QStringLiteral("momentColour"));
    const std::pair<const char*, QColor> colours[] = {
        {QT_TR_NOOP("Red"), QColor(230, 40, 40)},    {QT_TR_NOOP("Yellow"), QColor(250, 220, 0)},
        {QT_TR_NOOP("Green"), QColor(40, 200, 60)},  {QT_TR_NOOP("Cyan"), QColor(0, 200, 230)},
        {QT_TR_NOOP("Blue"), QColor(50, 90, 240)},   {QT_TR_NOOP("Magenta"), QColor(220, 50, 220)},
        {QT_TR_NOOP("White"), QColor(255, 255, 255)}};
    for (const auto& [name, colour] : colours) {
        QPixmap swatch(14, 14);
        swatch.fill(colour);
        colour_->addItem(QIcon(swatch), tr(name), StudioContext::fromQColor(colour));
    }
    form->addRow(tr("Colour"), colour_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    form->addRow(buttons);
}

QString KeyMomentDialog::label() const { return label_->text().trimmed(); }
QString KeyMomentDialog::note() const { return note_->toPlainText().trimmed(); }
int32_t KeyMomentDialog::colour() const { return colour_->currentData().toInt(); }

}  // namespace studio
