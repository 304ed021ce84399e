#pragma once

#include <QString>
#include <cstdint>

namespace tvn {

// Private fields that several subsystems of the control share. Everything else
// belongs to the subsystem that uses it.
struct ControlState {
    bool audioRecorderCreated = false;
    bool videoFlipped = false;               // the main video is shown mirrored
    int16_t videoWidthTwips = 0;             // clip size in twips, set on open
    int16_t videoHeightTwips = 0;
    int32_t mainMixerSource = -1;            // mixer source ids; -1: none
    int32_t overlayMixerSource = -1;
    bool overlayActive = false;              // the mixer shows two clips instead of the display
    QString overlayFileName;                 // the second clip while an overlay is active; "" none
    double pointerScaleX = 0;                // control units -> annotation surface units
    double pointerScaleY = 0;
    QString logoFileName;                    // lesson logo drawn over the video; "" none
    int32_t logoTop = 0;
    int32_t logoLeft = 0;
};

}  // namespace tvn
