#include "analysis/ClipFingerprint.h"

#include "core/TvnError.h"

namespace tvn {

ClipFingerprint ClipFingerprint::of(const QString&, double, int32_t) { throw TvnError::notImplemented("ClipFingerprint.of"); }
ClipFingerprint ClipFingerprint::ofFile(const QString&) { throw TvnError::notImplemented("ClipFingerprint.ofFile"); }
bool ClipFingerprint::sameClip(const ClipFingerprint&) const { throw TvnError::notImplemented("ClipFingerprint.sameClip"); }

}  // namespace tvn
