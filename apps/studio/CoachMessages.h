#pragma once

#include <QString>

class QMessageBox;
class QWidget;

namespace tvn {
class TvnError;
}

namespace studio {

// What the coach reads when something fails: the failure in the coach's own
// words, in a dialog that stays until it is closed (it deletes itself then), the
// technical text (number, description, source chain) under "Details".
QString inCoachWords(const QString& what, const tvn::TvnError& error);
// The dialog's and the status bar's text: what failed (it names the file, for a
// file) and then the coach's words.
QString failureText(const QString& what, const tvn::TvnError& error);
QMessageBox* showFailure(QWidget* parent, const QString& what, const tvn::TvnError& error);
// A message the coach should read, with optional technical details.
QMessageBox* showNotice(QWidget* parent, const QString& text, const QString& details = QString());

}  // namespace studio
