#pragma once

#include "control/ControlState.h"
#include "core/Picture.h"

#include <QString>
#include <QVariant>
#include <cstdint>

class QWidget;

namespace tvn {

class Platform;
class Surface;
class SurfaceView;
class VideoEngine;
class VideoMixer;

class Transport;

// The film strip: a panel over the whole control showing nine consecutive
// frames from the current one, a 3 x 3 grid in reading order on the film strip's picture.
//
// It is built by really stepping the display engine through the nine frames
// (waiting 100 ms after each step so the engine shows it) and copying each
// shown frame, then returning to the starting position, whatever the steps
// did. The film strip's picture works in twips like the control's other surfaces: the grid
// cursor advances by the third of the width rounded to a whole twip (half to
// even) and a new row starts only when it reaches or passes the width. At 15
// twips per pixel (96 dpi) every width divides by 3 and the grid is always
// 3 x 3; where a third does not come out whole and rounds down (a width of
// 3k + 1 units), a row takes a fourth, clipped thumbnail.
class FilmStrip {
public:
    // The host's properties it reads (const) and writes.
    struct Properties {
        const double& TVN_CurrentPos;
    };

    // What it draws on and moves.
    struct Drives {
        QWidget& control;  // the control itself: its size and its screen's twips per pixel
        Platform& platform;  // the desktop: ticks, pending events, files
        VideoEngine& display;  // the display engine: the clip the user sees
        VideoMixer& mixer;  // shown instead of the display while a second clip is overlaid
        Surface& filmStripPicture;  // the film strip's picture
        SurfaceView& filmStripPanel;  // the panel that shows the film strip's picture
    };

    FilmStrip(Properties props, Drives drives, const OverlaySources& overlaySources, Transport& transport)
        : props_(props), drives_(drives), overlaySources_(overlaySources), transport_(transport) {}

    void TVN_ShowFilmStrip(bool onOrOff);
    // False when a handler that ran inside it (pending events run at its start)
    // destroyed the control: the caller then returns at once.
    bool DrawFilmStrip();
    // After the transport moved the clip: the mixer's main source follows
    // while an overlay is shown, and the strip is drawn again while it is on.
    void SyncPositionViews();

    static constexpr int kThumbnails = 9;
    static constexpr int kStepWaitMs = 100;

private:
    // Clears the film strip picture's background picture and its bitmap.
    void clearSurface();

    Properties props_;
    Drives drives_;
    const OverlaySources& overlaySources_;
    Transport& transport_;
    // True while DrawFilmStrip runs: the nested calls that its own frame steps
    // (and events let run meanwhile) make return at once.
    bool filmStripBusy_ = false;
};

}  // namespace tvn
