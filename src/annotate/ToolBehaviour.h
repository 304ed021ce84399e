#pragma once

#include <cstdint>

namespace tvn {

class ToolContext;

// What one drawing tool does with a gesture on the video. The pointer handler
// parses TVN_drawingTool, picks the tool's behaviour and calls it past its own
// gates (the overlay gate, the left button), keeping the position conversion,
// the loupe timer, the redraws and the events to itself. Positions arrive in
// annotation-surface twips (rounded to whole twips at the release).
//
// The defaults are a tool that draws nothing: a press does nothing, a drag goes
// on to the gesture redraw, and a release finishes nothing (the placement is
// left as it is). A tool that finishes something at the release also closes
// the placement there.
class ToolBehaviour {
public:
    virtual ~ToolBehaviour() = default;

    // Whether a left press starts a gesture at all: clears the quick-angle mark,
    // starts the loupe timer and calls press().
    virtual bool takesPresses() const { return true; }
    virtual void press(ToolContext& ctx, float x, float y) const;
    // A move with the left button held; true when the move goes on to the
    // gesture redraw (made only while the loupe timer is off).
    virtual bool drag(ToolContext& ctx, float x, float y) const;
    virtual void release(ToolContext& ctx, float x, float y) const;
    // Whether every release, of any button, then steps the video one frame.
    virtual bool stepsAfterRelease() const { return false; }

protected:
    // The release of a tool that leaves a shape's corner: a rectangle or oval
    // corner at (x, y), then the placement is closed.
    static void placeCornerAndClose(ToolContext& ctx, float x, float y, int16_t shape);
    static void closePlacement(ToolContext& ctx);
};

}  // namespace tvn
