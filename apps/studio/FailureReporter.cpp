#include "FailureReporter.h"

#include "CoachMessages.h"

#include <QMainWindow>
#include <QMessageBox>
#include <QStatusBar>

namespace studio {

FailureReporter::FailureReporter(QMainWindow* window) : QObject(window), window_(window) {}

void FailureReporter::report(const QString& what, const tvn::TvnError& error) {
    shown_.start();
    const QString words = failureText(what, error);
    window_->statusBar()->showMessage(words, 15000);
    // A failure that repeats while its dialog is still open is not stacked on it.
    if (box_ && box_->text() == words) return;
    box_ = showFailure(window_, what, error);
}

void FailureReporter::signalled(const QString& what, const tvn::TvnError& error) {
    if (held_) *held_ = error;
    else report(what, error);
}

}  // namespace studio
