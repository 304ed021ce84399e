#include "control/ControlParts.h"

#include "media/AudioRecorder.h"
#include "platform/Platform.h"
#include "platform/Surface.h"
#include "platform/Timer.h"

namespace tvn {

// Out of line, where the owned types are complete.
ControlParts::ControlParts() = default;
ControlParts::~ControlParts() = default;

}  // namespace tvn
