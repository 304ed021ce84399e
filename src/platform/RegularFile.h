#pragma once

#include <QByteArray>
#include <QString>

namespace tvn {

// Reading a file a host names (a lesson logo, an encoding profile). Only a
// regular file is read, so a named pipe never blocks the UI thread and a device
// such as /dev/zero never floods it, and never more than a bound the caller
// gives, so a wrong file fails with a clear error instead of running out of memory.
class RegularFile {
public:
    // The whole file. Raises FileNotFound (53) when nothing has that name, and
    // PathFileAccess (75) for a folder, a pipe or a device, a file larger than
    // maxBytes, or one that cannot be read. `role` opens the description
    // ("Logo file", "Encoding profile"); `source` is the error's source.
    static QByteArray read(const QString& path, qint64 maxBytes, const QString& role, const QString& source);
};

}  // namespace tvn
