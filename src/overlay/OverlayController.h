#pragma once

#include "control/ControlState.h"
#include "core/Picture.h"

#include <QString>
#include <QVariant>
#include <cstdint>

class QWidget;

namespace tvn {

class Platform;
class VideoEngine;
class VideoMixer;

class ClipLoader;

// The second clip mixed over the first, and a host bitmap laid over the display.
//
// While the overlay is active the mixer (VideoMixerX1) takes the place of the
// display (VideoCapX1): the open clip is the main source, the second clip is drawn
// over it, half transparent at first. Rectangles given to the mixer are display
// pixels; the display's size w x h is the display's Width/Height (twips, as the
// layout placed it) divided by the twips per pixel of the control's screen. That
// is the size the layout gave the display, which is also where the mixer is put,
// and it does not depend on whether the widget has been shown yet.
//
// Failures: every method puts "(TVN_...)->" in front of a failure's source and
// stops at once; what it changed before stays changed (a failing second
// AddSource leaves the overlay active with the mixer shown). TVN_AdjustOverlay
// ignores mixer errors after its first test. TVN_FlipOverlay, TVN_SetOverlay2Pos
// and TVN_SetOverlay2Frame do not test for an active overlay: without one they
// call the mixer with source -1, which it rejects.
class OverlayController {
public:
    // The host's properties it reads (const) and writes.
    struct Properties {
        const QString& TVN_videoFileName;
        const int16_t& TVN_VideoWidth;
        const int16_t& TVN_VideoHeight;
        const int32_t& TVN_NumFrames;
        const bool& TVN_IsPlaying;
        const double& TVN_CurrentPos;
        const bool& TVN_DoDeinterlace;
        int32_t& TVN_OverlayImage;
        int32_t& TVN_TransparentColor;  // by reference to the engine
        const int32_t& TVN_AlphaLevel;
    };

    // What it lays the clips and bitmaps on.
    struct Drives {
        QWidget& control;  // the control itself: its size and its screen's twips per pixel
        Platform& platform;  // the desktop: ticks, pending events, files
        VideoEngine& display;  // the display engine: the clip the user sees
        VideoMixer& mixer;  // shown instead of the display while a second clip is overlaid
    };

    OverlayController(Properties props, Drives drives, const ClipPicture& clipPicture, OverlaySources& overlaySources,
                      ClipLoader& clipLoader)
        : props_(props), drives_(drives), clipPicture_(clipPicture), overlaySources_(overlaySources),
          clipLoader_(clipLoader) {}

    void TVN_Overlay(QString& FileName);
    void TVN_FlipOverlay(bool flipIt);
    void TVN_AdjustOverlay(int32_t newLeft, int32_t newTop, int32_t newHeight, int32_t newWidth, int32_t newOpacity);
    void TVN_SetOverlay2Pos(double newPos);
    void TVN_SetOverlay2Frame(int32_t newFrame);
    void TVN_SetBitmapOverlay(int32_t& BitmapHandle);

    // Outside the documented interface, for a host that aligns the second clip
    // with the first: the main clip stays over the whole display (mirrored as
    // the display was), the second goes to (left, top) at width x height,
    // display pixels, mirrored while TVN_FlipOverlay last said so, at opacity
    // percent (100 opaque). Does nothing without an overlay; mixer failures
    // are skipped, as TVN_AdjustOverlay skips them.
    void placeSecondClip(int32_t left, int32_t top, int32_t width, int32_t height, int32_t opacity);

    // Length of the second clip as the mixer reported it when the overlay opened
    // (milliseconds, the mixer's position unit); positions of the second clip are
    // checked against it.
    double overlayDuration() const { return overlayDuration_; }

    // Where and how the second clip is shown, as the calls above last set it
    // since the overlay opened (what an analysis document keeps of a comparison).
    struct Placement {
        bool placed = false;  // placeSecondClip was called; otherwise the second clip fills the display
        int32_t left = 0, top = 0, width = 0, height = 0;  // display pixels
        int32_t opacity = 50;  // percent
        int32_t frame = -1;  // TVN_SetOverlay2Frame's frame; -1: not set
        double positionMs = -1;  // TVN_SetOverlay2Pos's position; -1: not set
        bool mirrored = false;
    };
    const Placement& placement() const { return placement_; }

private:
    struct DisplaySize {
        float w;
        float h;
    };
    DisplaySize displaySize();
    // The second source over the whole display, mirrored or not.
    void placeSecondSource(bool mirrored);

    Properties props_;
    Drives drives_;
    const ClipPicture& clipPicture_;
    OverlaySources& overlaySources_;
    ClipLoader& clipLoader_;
    double overlayDuration_ = 0;
    bool secondMirrored_ = false;  // as TVN_FlipOverlay last set it
    Placement placement_;
};

}  // namespace tvn
