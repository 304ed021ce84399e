#pragma once

#include "core/TrelvanExport.h"

#include "core/TvnError.h"

#include <QString>
#include <optional>

namespace tvn {

// What a host may want to know about a clip before it hands it to a control
// (the length of a second clip for an overlay slider, say), read the way the
// control's engine reads it: the same size, frame count and times the control
// would report after opening it.
struct TVN_EXPORT ClipProbe {
    bool canOpen = false;
    std::optional<TvnError> error;  // why not, when canOpen is false (53, 75 or a component number)
    int width = 0;                  // display size in pixels (upright, at most 1920 on the larger side past 2160)
    int height = 0;
    double frameCount = 0;
    double durationMs = 0;  // first frame's start to the last frame's end
    double frameMs = 0;     // one frame at the clip's average rate
    double missingFrames = 0;  // frames the clip's index lists but the file does not hold (a clip cut short)
};

// Opens the clip, reads what it is and closes it again. Never throws for a bad
// file: the answer says why it cannot be opened. Runs on the calling thread and
// decodes the first frame, so it costs about what opening the clip costs.
TVN_EXPORT ClipProbe probeClip(const QString& fileName);

}  // namespace tvn
