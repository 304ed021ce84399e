#include "AnalysisFiles.h"

#include "analysis/Analysis.h"
#include "control/Trelvan.h"
#include "core/TvnError.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QMainWindow>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>

namespace studio {

namespace {
const QString kRecentKey = QStringLiteral("analyses/recent");
const QString kFolderKey = QStringLiteral("analyses/folder");
const QString kSuffix = QStringLiteral(".tvna.json");

QString filters() { return QObject::tr("Trelvan analysis (*.tvna.json);;JSON (*.json);;All files (*)"); }
}  // namespace

AnalysisFiles::AnalysisFiles(StudioContext context, QMainWindow* window)
    : QObject(window), ctx_(std::move(context)), analysis_(ctx_.control->analysis()), window_(window) {
    // Told once per clip: the companion tries again at every change, and the coach can still save.
    connect(analysis_, &tvn::Analysis::autosaveFailed, this, [this](const QString& reason) {
        if (autosaveFailureTold_) return;
        autosaveFailureTold_ = true;
        ctx_.showFailure(tr("Autosave"), tvn::TvnError(tvn::err::PathFileAccess, reason));
    });
}

void AnalysisFiles::clipOpened() { autosaveFailureTold_ = false; }

QStringList AnalysisFiles::recent() const { return QSettings().value(kRecentKey).toStringList(); }

void AnalysisFiles::remember(const QString& path) {
    const QString file = QFileInfo(path).absoluteFilePath();
    QStringList list = recent();
    list.removeAll(file);
    list.prepend(file);
    while (list.size() > kRecentCount) list.removeLast();
    QSettings settings;
    settings.setValue(kRecentKey, list);
    settings.setValue(kFolderKey, QFileInfo(file).absolutePath());
}

void AnalysisFiles::forget(const QString& path) {
    QStringList list = recent();
    if (list.removeAll(QFileInfo(path).absoluteFilePath()) > 0) QSettings().setValue(kRecentKey, list);
}

QString AnalysisFiles::folder() const {
    const QString clip = ctx_.control->TVN_videoFileName;
    return QSettings().value(kFolderKey, clip.isEmpty() ? QString() : QFileInfo(clip).absolutePath()).toString();
}

void AnalysisFiles::attachRecentMenu(QMenu* menu) {
    connect(menu, &QMenu::aboutToShow, this, [this, menu] {
        menu->clear();
        const QStringList files = recent();
        for (int i = 0; i < files.size(); ++i) {
            const QString file = files[i];
            QAction* action = menu->addAction(tr("&%1 %2").arg(i + 1).arg(QFileInfo(file).fileName()), this, [this, file] { open(file); });
            action->setToolTip(file);
            action->setStatusTip(file);
        }
        if (files.isEmpty()) menu->addAction(tr("(none yet)"))->setEnabled(false);
        else {
            menu->addSeparator();
            menu->addAction(tr("&Clear the list"), this, [] { QSettings().remove(kRecentKey); });
        }
    });
}

bool AnalysisFiles::open(const QString& path) {
    const QString clipBefore = ctx_.control->TVN_videoFileName;
    QString file = path;
    if (!ctx_.run(tr("Open analysis '%1'").arg(QFileInfo(path).fileName()), [&] { analysis_->open(file); })) {
        if (!QFileInfo::exists(path)) forget(path);  // a recent document that is gone leaves the list
        return false;
    }
    remember(path);
    if (ctx_.control->TVN_videoFileName != clipBefore) emit clipReplaced();
    ctx_.showMessage(tr("Opened the analysis %1: %n key moment(s)", nullptr, analysis_->keyMomentCount()).arg(path));
    // The clip it opened may have unsaved work of its own from a studio that did not end cleanly.
    if (ctx_.control->TVN_videoFileName != clipBefore) offerRecovery();
    return true;
}

bool AnalysisFiles::saveTo(const QString& path) {
    QString file = path;
    if (!ctx_.run(tr("Save analysis '%1'").arg(QFileInfo(path).fileName()), [&] { analysis_->save(file); })) return false;
    remember(path);
    ctx_.showMessage(tr("Analysis saved to %1").arg(path));
    return true;
}

void AnalysisFiles::openAsked() {
    const QString file = QFileDialog::getOpenFileName(window_, tr("Open analysis"), folder(), filters());
    if (!file.isEmpty()) open(file);
}

void AnalysisFiles::saveAsked() {
    if (!analysis_->documentPath().isEmpty()) saveTo(analysis_->documentPath());
    else saveAsAsked();
}

void AnalysisFiles::saveAsAsked() {
    if (ctx_.control->TVN_videoFileName.isEmpty()) {
        ctx_.showMessage(tr("Open a clip first: an analysis belongs to its clip"));
        return;
    }
    // Beside the clip by default: a document whose clip moved finds it among the clips next to it.
    QString suggested = analysis_->documentPath();
    if (suggested.isEmpty() && !ctx_.run(tr("Save analysis"), [&] { suggested = analysis_->defaultDocumentPath(); })) return;
    QString file = QFileDialog::getSaveFileName(window_, tr("Save analysis as"), suggested, filters());
    if (file.isEmpty()) return;
    if (!file.endsWith(QLatin1String(".json"), Qt::CaseInsensitive)) file += kSuffix;
    saveTo(file);
}

QMessageBox* AnalysisFiles::offerRecovery() {
    bool found = false;
    if (!ctx_.run(tr("Recover analysis"), [&] { found = analysis_->hasRecovery(); }) || !found) return nullptr;
    delete offer_.data();  // a question about the clip before is moot
    auto* box = new QMessageBox(QMessageBox::Question, tr("Trelvan Studio"), tr("Recover the unsaved analysis of this clip?"),
                                QMessageBox::NoButton, window_);
    box->setObjectName(QStringLiteral("recoveryOffer"));
    box->setInformativeText(tr("The studio did not close cleanly while this clip was open. Its drawings, tracked points "
                               "and key moments as they were then can be brought back; Discard drops them for good."));
    QPushButton* recover = box->addButton(tr("Recover"), QMessageBox::AcceptRole);
    QPushButton* discard = box->addButton(tr("Discard"), QMessageBox::DestructiveRole);
    box->setDefaultButton(recover);
    box->setAttribute(Qt::WA_DeleteOnClose);
    // Closed without an answer, the recovery stays until the clip closes cleanly.
    connect(box, &QMessageBox::finished, this, [this, box, recover, discard] {
        if (box->clickedButton() == recover) {
            if (ctx_.run(tr("Recover analysis"), [this] { analysis_->recover(); }))
                ctx_.showMessage(tr("The unsaved analysis is back: save it to keep it"));
        } else if (box->clickedButton() == discard) {
            ctx_.run(tr("Discard recovery"), [this] { analysis_->discardRecovery(); });
        }
    });
    box->open();  // window-modal; play and the timers go on
    offer_ = box;
    return box;
}

}  // namespace studio
