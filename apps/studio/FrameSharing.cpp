#include "FrameSharing.h"

#include "FailureReporter.h"
#include "OverlayPanel.h"
#include "UploadDialog.h"
#include "control/Trelvan.h"
#include "core/TvnError.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QImageWriter>
#include <QInputDialog>
#include <QMainWindow>
#include <QProgressDialog>
#include <QSettings>
#include <QStatusBar>

namespace studio {

FrameSharing::FrameSharing(StudioContext context, FailureReporter& failures, OverlayPanel* overlay, QMainWindow* window)
    : QObject(window), ctx_(std::move(context)), failures_(failures), overlay_(overlay), window_(window) {}

void FrameSharing::saveFrame() {
    tvn::Trelvan* control = ctx_.control;
    QSettings settings;
    const QString folder = settings.value(QStringLiteral("frames/folder"), QFileInfo(control->TVN_videoFileName).absolutePath()).toString();
    const QString suggested = QStringLiteral("%1/%2-frame%3.jpg")
                                  .arg(folder, QFileInfo(control->TVN_videoFileName).completeBaseName())
                                  .arg(control->TVN_CurrentFrame);
    QString f = QFileDialog::getSaveFileName(window_, tr("Save frame"), suggested, tr("JPEG (*.jpg *.jpeg)"));
    if (f.isEmpty()) return;
    if (!f.endsWith(QLatin1String(".jpg"), Qt::CaseInsensitive) && !f.endsWith(QLatin1String(".jpeg"), Qt::CaseInsensitive))
        f += QStringLiteral(".jpg");
    settings.setValue(QStringLiteral("frames/folder"), QFileInfo(f).absolutePath());
    int32_t quality = QInputDialog::getInt(window_, tr("JPEG quality"), tr("Quality (1-100)"), 90, 1, 100);
    bool saved = false;
    if (overlay_->isActive()) {
        // The control saves the main clip alone; with a second clip laid over it,
        // what the coach sees is the mixed picture.
        QImageWriter writer(f, "jpeg");
        writer.setQuality(quality);
        saved = writer.write(control->visibleVideoWidget()->grab().toImage());
        if (!saved) failures_.report(tr("Save frame"), tvn::TvnError(tvn::err::PathFileAccess, writer.errorString()));
    } else {
        ctx_.run(tr("Save frame"), [&] { saved = control->TVN_SaveFrameJpg(f, quality); });
    }
    window_->statusBar()->showMessage(saved ? tr("Saved %1").arg(f) : tr("The frame was not saved to %1").arg(f), 8000);
}

void FrameSharing::uploadFrame() {
    UploadDialog dialog(window_);
    if (dialog.exec() != QDialog::Accepted) return;
    // The upload runs on this thread and may wait long for a server that does not
    // answer: the coach sees that it is waiting, and why it failed.
    QProgressDialog busy(tr("Uploading the frame to %1...").arg(dialog.server()), QString(), 0, 0, window_);
    busy.setWindowModality(Qt::WindowModal);
    busy.setMinimumDuration(0);
    busy.show();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    for (int i = 0; i < 3; ++i) QApplication::processEvents();  // paint the dialog before the wait
    std::optional<tvn::TvnError> why;
    int32_t result = 0;
    {
        FailureReporter::Hold held(failures_);  // the engine signals why; it is reported once, below
        try {
            result = ctx_.control->TVN_UploadFrame(dialog.server(), dialog.user(), dialog.password(), dialog.path(),
                                                   dialog.fileName(), dialog.port(), dialog.quality());
        } catch (const tvn::TvnError& e) {
            held.failure() = e;
        }
        why = held.failure();
    }
    QApplication::restoreOverrideCursor();
    busy.close();
    if (result == -1) window_->statusBar()->showMessage(tr("Frame uploaded to %1").arg(dialog.server()), 8000);
    else
        failures_.report(tr("Upload frame"),
                         why.value_or(tvn::TvnError(tvn::err::UploadFailed, tr("the server did not take the frame"))));
}

}  // namespace studio
