#include "analysis/ClipFingerprint.h"

#include "core/TvnError.h"

#include <QCryptographicHash>
#include <QFile>
#include <cmath>

namespace tvn {

namespace {
constexpr qint64 kMegabyte = 1 << 20;
}

ClipFingerprint ClipFingerprint::ofFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw TvnError(err::FileNotFound, QStringLiteral("Cannot read the clip '%1': %2").arg(path, file.errorString()),
                       QStringLiteral("ClipFingerprint"));
    ClipFingerprint f;
    f.size = file.size();
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(file.read(kMegabyte));
    // The last megabyte, without reading twice what the first one covered.
    const qint64 tail = std::max(kMegabyte, f.size - kMegabyte);
    if (tail < f.size && file.seek(tail)) hash.addData(file.read(kMegabyte));
    f.hash = hash.result().toHex();
    return f;
}

ClipFingerprint ClipFingerprint::of(const QString& path, double durationMs, int32_t frameCount) {
    ClipFingerprint f = ofFile(path);
    f.durationMs = durationMs;
    f.frameCount = frameCount;
    return f;
}

bool ClipFingerprint::sameClip(const ClipFingerprint& other) const {
    if (isNull() || size != other.size || hash != other.hash) return false;
    // Measured by the control: compared when both sides have them.
    if (durationMs > 0 && other.durationMs > 0 && std::abs(durationMs - other.durationMs) > 1) return false;
    if (frameCount > 0 && other.frameCount > 0 && frameCount != other.frameCount) return false;
    return true;
}

}  // namespace tvn
