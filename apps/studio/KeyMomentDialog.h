#pragma once

#include <QDialog>

class QComboBox;
class QLineEdit;
class QPlainTextEdit;

namespace studio {

// What a coach gives a key moment when marking it: a short label, a free note
// and one of a few colours that read on the timeline and over the picture.
class KeyMomentDialog : public QDialog {
    Q_OBJECT
public:
    KeyMomentDialog(const QString& title, const QString& label, QWidget* parent);

    QString label() const;
    QString note() const;
    int32_t colour() const;  // 0x00BBGGRR, as the control's colours

private:
    QLineEdit* label_;
    QPlainTextEdit* note_;
    QComboBox* colour_;
};

}  // namespace studio
