#pragma once

namespace tvn {

// Brings the views that show the clip's position besides the display (the
// mixer's main source during an overlay, the film strip while it is shown) to
// where the transport just moved the clip. The film strip moves the clip through
// the transport to draw itself, so the transport is handed this instead of the
// film strip.
class PositionViews {
public:
    virtual void syncPositionViews() = 0;

protected:
    ~PositionViews() = default;
};

}  // namespace tvn
