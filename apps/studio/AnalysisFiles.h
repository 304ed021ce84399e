#pragma once

#include "StudioContext.h"

#include <QObject>
#include <QPointer>
#include <QStringList>

class QMainWindow;
class QMenu;
class QMessageBox;

namespace tvn {
class Analysis;
}

namespace studio {

// The studio's side of analysis documents: File > Open analysis, Save analysis
// (to the document it came from, else as Save analysis as), Save analysis as, the
// recent analyses (kept between runs, the newest first), and the offer to recover
// what a studio that did not end cleanly had not saved of a clip. The companion
// reads, checks and writes the documents; a failure is told the studio's way.
class AnalysisFiles : public QObject {
    Q_OBJECT
public:
    static constexpr int kRecentCount = 8;

    AnalysisFiles(StudioContext context, QMainWindow* window);

    void openAsked();
    void saveAsked();
    void saveAsAsked();
    // Opens the document (and its clip when another clip is shown); false (with a message) when it fails.
    bool open(const QString& path);
    bool saveTo(const QString& path);
    // The newest first.
    QStringList recent() const;
    // Lists the recent analyses in menu each time it opens.
    void attachRecentMenu(QMenu* menu);
    // After a clip opened: when the companion kept unsaved work of it, asks
    // whether to recover it (Recover) or drop it (Discard). The question stays
    // open without blocking; it is returned, or null when there is nothing to recover.
    QMessageBox* offerRecovery();
    // A clip opened: a failure of its autosave is told again.
    void clipOpened();

signals:
    // The document opened its own clip: the window shows it as a clip it opened.
    void clipReplaced();

private:
    void remember(const QString& path);
    void forget(const QString& path);
    QString folder() const;

    StudioContext ctx_;
    tvn::Analysis* analysis_;
    QMainWindow* window_;
    QPointer<QMessageBox> offer_;  // the recovery question while it is open
    bool autosaveFailureTold_ = false;  // for the clip shown
};

}  // namespace studio
