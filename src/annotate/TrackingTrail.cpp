#include "annotate/TrackingTrail.h"

#include "control/Trelvan.h"
#include "core/TvnError.h"

namespace tvn {

QVariant TrackingTrail::TVN_SetTracking(bool& /*onOrOff*/) {
    throw TvnError::notImplemented("TVN_SetTracking");
}

}  // namespace tvn
