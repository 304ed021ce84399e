#pragma once

#include "core/Picture.h"

#include <QString>
#include <QVariant>
#include <cstdint>

namespace tvn {

class AnnotationRedraw;
struct ControlParts;
struct ControlState;
class FilmStrip;

// Places the children when the control is resized, and full screen.
class LayoutManager {
public:
    LayoutManager(ControlParts& parts, ControlState& state, AnnotationRedraw& redraw, FilmStrip& filmStrip)
        : parts_(parts), state_(state), redraw_(redraw), filmStrip_(filmStrip) {}

    void OnResize();
    QVariant TVN_FullScreen();

private:
    ControlParts& parts_;
    ControlState& state_;
    AnnotationRedraw& redraw_;
    FilmStrip& filmStrip_;
};

}  // namespace tvn
