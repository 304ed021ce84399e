#pragma once

#include <QString>
#include <cstdint>

namespace tvn {

// The few private fields several subsystems of the control share, one small
// struct per role, so that each subsystem is handed only the ones it uses.
// Everything else belongs to the subsystem that uses it.

// The open clip's picture as the drawing surfaces see it: set on open, read by
// the layout, the renderer and the exports.
struct ClipPicture {
    int16_t videoWidthTwips = 0;   // clip size in twips, set on open
    int16_t videoHeightTwips = 0;
    bool videoFlipped = false;     // the main video is shown mirrored
};

// Control units -> annotation surface units, set by the layout on every
// resize and read by the pointer handling.
struct PointerScale {
    double pointerScaleX = 0;
    double pointerScaleY = 0;
};

// The second clip laid over the first: the mixer shows both instead of the display.
struct OverlaySources {
    int32_t mainMixerSource = -1;  // mixer source ids; -1: none
    int32_t overlayMixerSource = -1;
    bool overlayActive = false;
    QString overlayFileName;       // the second clip while an overlay is active; "" none
};

// The lesson logo drawn over the video: set by TVN_SetLogo, painted by the renderer.
struct LessonLogo {
    QString logoFileName;  // "" none
    int32_t logoTop = 0;
    int32_t logoLeft = 0;
};

// All of them, as the control owns them.
struct ControlState {
    ClipPicture clipPicture;
    PointerScale pointerScale;
    OverlaySources overlaySources;
    LessonLogo lessonLogo;
};

}  // namespace tvn
