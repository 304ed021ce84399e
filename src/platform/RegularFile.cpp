#include "platform/RegularFile.h"

#include "core/TvnError.h"

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tvn {

namespace {
QString sizeText(qint64 bytes) {
    return bytes >= 1024 * 1024 ? QStringLiteral("%1 MiB").arg(bytes / (1024 * 1024))
                                : QStringLiteral("%1 KiB").arg((bytes + 1023) / 1024);
}
}  // namespace

QByteArray RegularFile::read(const QString& path, qint64 maxBytes, const QString& role, const QString& source) {
    const auto fail = [&](int32_t number, const QString& why) {
        return TvnError(number, QStringLiteral("%1 '%2' %3").arg(role, path, why), source);
    };
    if (path.isEmpty() || !QFileInfo::exists(path)) throw fail(err::FileNotFound, QStringLiteral("not found"));
    // Opened without waiting (a pipe's open would wait for a writer), then asked
    // what it is: what the name meant at the check is what is read.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) throw fail(err::PathFileAccess, QStringLiteral("cannot be read: %1").arg(QString::fromLocal8Bit(std::strerror(errno))));
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        throw fail(err::PathFileAccess, QStringLiteral("cannot be read"));
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
        throw fail(err::PathFileAccess, QStringLiteral("is not a regular file (a folder, a pipe or a device)"));
    if (st.st_size > maxBytes)
        throw fail(err::PathFileAccess,
                   QStringLiteral("is too large: %1, at most %2 is read").arg(sizeText(st.st_size), sizeText(maxBytes)));
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    const QByteArray bytes = file.read(maxBytes + 1);  // a file that grew since is still bounded
    if (file.error() != QFileDevice::NoError)
        throw fail(err::PathFileAccess, QStringLiteral("cannot be read: %1").arg(file.errorString()));
    if (bytes.size() > maxBytes)
        throw fail(err::PathFileAccess, QStringLiteral("is too large: at most %1 is read").arg(sizeText(maxBytes)));
    return bytes;
}

}  // namespace tvn
