#pragma once

#include "core/TrelvanExport.h"

#include <QByteArray>
#include <QString>
#include <cstdint>

namespace tvn {

// What identifies a clip whatever its name: its size in bytes, its duration
// (ms) and frame count as the control opened it, and a SHA-256 of its first
// and last megabyte (the whole file when it is smaller than two). A document
// keeps it beside the clip's path, so that a clip that was moved or renamed is
// recognised, and a different clip under the old name is not taken for it.
struct TVN_EXPORT ClipFingerprint {
    qint64 size = 0;
    double durationMs = 0;
    int32_t frameCount = 0;
    QByteArray hash;  // hex digits

    // The fingerprint of the clip at path, with the duration and frame count the
    // control reports for it; TvnError FileNotFound when it cannot be read.
    static ClipFingerprint of(const QString& path, double durationMs, int32_t frameCount);
    // Size and hash only: the file, as it can be checked before it is opened.
    static ClipFingerprint ofFile(const QString& path);
    // Same file: size and hash equal (duration and frame count are what the
    // control measured and are compared to a tolerance of a millisecond).
    bool sameClip(const ClipFingerprint& other) const;
    bool isNull() const { return hash.isEmpty(); }
};

}  // namespace tvn
