#include "CoachMessages.h"

#include "core/TvnError.h"

#include <QMessageBox>

namespace studio {

QString inCoachWords(const QString& what, const tvn::TvnError& error) {
    namespace err = tvn::err;
    switch (error.number()) {
    case err::FileNotFound:
        return QObject::tr("Trelvan cannot find this file. It may have been moved, renamed or deleted.");
    case err::PathFileAccess:
        return QObject::tr("Trelvan may not read or write this file: it is a folder, or you lack the permission.");
    case err::ClipOpenFailed:
        return QObject::tr("This file is not a video Trelvan can read.");
    case err::PlaybackFailed:
        return QObject::tr("The clip stopped here: the rest of the file cannot be read.");
    case err::UploadFailed: {
        // The cause is what follows "failed: " in the description (the server's or the network's words).
        const QString d = error.description();
        const qsizetype at = d.lastIndexOf(QLatin1String("failed: "));
        return QObject::tr("The frame was not uploaded (%1). Check the server's name, port and your password, "
                           "and that this computer is on the network.")
            .arg(at >= 0 ? d.mid(at + 8) : d);
    }
    case err::ConversionFailed:
    case err::ProfileInvalid:
        return QObject::tr("The lesson could not be compressed.");
    case err::CaptureFailed:
    case err::AudioDeviceFailed:
        return QObject::tr("The sound device cannot be used for recording.");
    default:
        return QObject::tr("%1 did not work.").arg(what);
    }
}

QString failureText(const QString& what, const tvn::TvnError& error) {
    const QString words = inCoachWords(what, error);
    return words.contains(what) ? words : QObject::tr("%1: %2").arg(what, words);
}

QMessageBox* showNotice(QWidget* parent, const QString& text, const QString& details) {
    auto* box = new QMessageBox(QMessageBox::Warning, QObject::tr("Trelvan Studio"), text, QMessageBox::Ok, parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    if (!details.isEmpty()) box->setDetailedText(details);
    box->open();  // window-modal, stays until the coach closes it; play and timers go on
    return box;
}

QMessageBox* showFailure(QWidget* parent, const QString& what, const tvn::TvnError& error) {
    return showNotice(parent, failureText(what, error),
               QObject::tr("%1\nError %2: %3\nSource: %4").arg(what).arg(error.number()).arg(error.description(), error.source()));
}

}  // namespace studio
