#pragma once

#include "core/TrelvanExport.h"

#include <QString>
#include <cstdint>

namespace tvn {

// A frame of the clip a coach marked as a moment that matters (take-off,
// contact, release): its frame, the frame's time in the clip's own
// milliseconds (from the first frame), a short label, a free note and the
// colour it is shown in (0x00BBGGRR, as the control's colours).
struct TVN_EXPORT KeyMoment {
    int frame = 0;
    double timeMs = 0;
    QString label;
    QString note;
    int32_t colour = 0;

    bool operator==(const KeyMoment&) const = default;
};

}  // namespace tvn
