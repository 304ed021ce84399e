#pragma once

#include "control/ControlState.h"
#include "core/Picture.h"

#include <QString>
#include <QVariant>
#include <cstdint>

class QWidget;

namespace tvn {

class VideoEngine;
class VideoMixer;

class AnnotationRedraw;
class FilmStrip;

// Places the children when the control is resized, and full screen.
class LayoutManager {
public:
    // What it arranges.
    struct Drives {
        QWidget& control;  // the control itself: its size and its screen's twips per pixel
        VideoEngine& display;  // the display engine: the clip the user sees
        VideoMixer& mixer;  // shown instead of the display while a second clip is overlaid
    };

    LayoutManager(Drives drives, const ClipPicture& clipPicture, PointerScale& pointerScale, AnnotationRedraw& redraw,
                  FilmStrip& filmStrip)
        : drives_(drives), clipPicture_(clipPicture), pointerScale_(pointerScale), redraw_(redraw),
          filmStrip_(filmStrip) {}

    void OnResize();
    QVariant TVN_FullScreen();

private:
    Drives drives_;
    const ClipPicture& clipPicture_;
    PointerScale& pointerScale_;
    AnnotationRedraw& redraw_;
    FilmStrip& filmStrip_;
};

}  // namespace tvn
