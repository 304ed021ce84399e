#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <optional>

#include "core/TvnError.h"

class QMainWindow;
class QMessageBox;

namespace studio {

// How the studio tells the coach that something failed: the coach's words in the
// status bar and in a dialog (CoachMessages), one dialog for a failure that
// repeats while it is open. A failure the control signals (during play,
// conversion, upload) is reported the same way, unless a Hold collects it for the
// one call that is waiting for it.
class FailureReporter : public QObject {
    Q_OBJECT
public:
    explicit FailureReporter(QMainWindow* window);

    void report(const QString& what, const tvn::TvnError& error);
    // A failure the control signalled: collected by the Hold in force, else reported.
    void signalled(const QString& what, const tvn::TvnError& error);
    // True while a reported failure is younger than ms (its words stay in view).
    bool shownWithin(qint64 ms) const { return shown_.isValid() && !shown_.hasExpired(ms); }

    // While it lives, failures the control signals are kept in it instead of shown.
    class Hold {
    public:
        explicit Hold(FailureReporter& reporter) : reporter_(reporter), previous_(reporter.held_) { reporter.held_ = &failure_; }
        ~Hold() { reporter_.held_ = previous_; }
        Hold(const Hold&) = delete;
        Hold& operator=(const Hold&) = delete;
        std::optional<tvn::TvnError>& failure() { return failure_; }

    private:
        FailureReporter& reporter_;
        std::optional<tvn::TvnError>* previous_;
        std::optional<tvn::TvnError> failure_;
    };

private:
    QMainWindow* window_;
    QElapsedTimer shown_;                 // since the last failure was reported
    QPointer<QMessageBox> box_;           // the last failure's dialog while it is open
    std::optional<tvn::TvnError>* held_ = nullptr;  // where a signalled failure goes instead of a dialog
};

}  // namespace studio
