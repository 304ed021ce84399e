#include "platform/DesktopPlatform.h"

#include "core/TvnError.h"
#include "platform/QtTimer.h"
#include "platform/RegularFile.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QThread>

namespace tvn {

DesktopPlatform::DesktopPlatform() { clock_.start(); }

uint32_t DesktopPlatform::tickMs() { return static_cast<uint32_t>(clock_.elapsed()); }

void DesktopPlatform::waitMs(int milliseconds) {
    if (milliseconds > 0) QThread::msleep(static_cast<unsigned long>(milliseconds));
}

void DesktopPlatform::processEvents() { QCoreApplication::processEvents(QEventLoop::AllEvents); }

std::unique_ptr<Timer> DesktopPlatform::createTimer() { return std::make_unique<QtTimer>(); }

void DesktopPlatform::deleteFile(const QString& path) {
    if (!QFileInfo::exists(path))
        throw TvnError(err::FileNotFound, QStringLiteral("File not found: '%1'").arg(path), QStringLiteral("Kill"));
    QFile file(path);
    if (!file.remove())
        throw TvnError(err::PathFileAccess,
                       QStringLiteral("Cannot delete '%1': %2").arg(path, file.errorString()), QStringLiteral("Kill"));
}

QString DesktopPlatform::readTextFile(const QString& path, qint64 maxBytes) {
    return QString::fromUtf8(RegularFile::read(path, maxBytes, QStringLiteral("Text file"), QStringLiteral("Input")));
}

}  // namespace tvn
