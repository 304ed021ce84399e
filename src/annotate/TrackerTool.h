#pragma once

#include "annotate/ToolBehaviour.h"

namespace tvn {

// "tracker": each press appends a trail point (whole twips, the frame on show);
// each release, of any button, steps the video one frame.
class TrackerTool final : public ToolBehaviour {
public:
    void press(ToolContext& ctx, float x, float y) const override;
    bool stepsAfterRelease() const override { return true; }
};

}  // namespace tvn
