#include "annotate/ZoomLoupe.h"

#include "control/Trelvan.h"
#include "core/TvnError.h"

namespace tvn {

void ZoomLoupe::Timer2Tick() {
    throw TvnError::notImplemented("Timer2Tick");
}

}  // namespace tvn
