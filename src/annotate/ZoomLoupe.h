#pragma once

#include <QString>

#include "core/Picture.h"

class QWidget;

namespace tvn {

class Platform;
class Surface;
class SurfaceView;
class Timer;
class VideoEngine;

class AnnotationRedraw;

// The zoom loupe and the gesture redraw timer (Timer2).
//
// The loupe is the loupe window (showing the loupe picture) on top of
// everything, placed in control twips. Inside it sits the inner image: the frame
// current at the last press or move, stretched to four times the clip's pixel
// size and positioned relative to the window's top-left corner, so the window
// shows a 4x magnified part of the frame around the pointer. Parts of the inner
// image outside the window are clipped.
//
// The gesture redraw timer (200 ms) redraws the annotation surface during a gesture instead of
// every pointer move doing so; in raw player mode (Option43 = 0) its first tick
// switches it off and the moves redraw themselves.
class ZoomLoupe {
public:
    // The host's properties it reads (const) and writes.
    struct Properties {
        const int16_t& TVN_VideoWidth;
        const int16_t& TVN_VideoHeight;
    };

    // What it shows the loupe with.
    struct Drives {
        QWidget& control;  // the control itself: its size and its screen's twips per pixel
        Platform& platform;  // the desktop: ticks, pending events, files
        VideoEngine& display;  // the display engine: the clip the user sees
        Surface& loupePicture;  // the zoom loupe's picture
        SurfaceView& loupeView;  // the loupe window
        Timer& gestureRedrawTimer;  // redraws the annotations during a gesture
    };

    ZoomLoupe(Properties props, Drives drives, AnnotationRedraw& redraw)
        : props_(props), drives_(drives), redraw_(redraw) {}

    // Tick of the gesture redraw timer: redraw with the timer off, let pending events run, switch it
    // on again; with Option43 = 0 only switch it off.
    void GestureRedrawTick();

    // Centres the window on (x, y), control twips, with its current size.
    void Follow(float x, float y);
    // Press with the tool "zoom": window one third of the control, inner image of
    // the current frame at 4 x the clip's pixel size; shows the window. A clip
    // wider or taller than 8191 pixels overflows (16-bit product).
    void SetUp();
    // Move with the tool "zoom", (x, y) in surface twips: a fresh frame, placed so
    // that the surface point lies at two thirds of the window's width and height.
    void Pan(float x, float y);
    void Hide();
    // A border around the window, so the loupe stands out from the picture
    // under it (readable drawing); none by default.
    void setBordered(bool on) { bordered_ = on; }

    // Window placement in control twips.
    double left() const { return left_; }
    double top() const { return top_; }
    double width() const { return width_; }
    double height() const { return height_; }
    // Inner image placement relative to the window, twips.
    double innerLeft() const { return innerLeft_; }
    double innerTop() const { return innerTop_; }
    double innerWidth() const { return innerWidth_; }
    double innerHeight() const { return innerHeight_; }
    const Picture& innerPicture() const { return innerPicture_; }

private:
    // Paints the inner image into the loupe picture and places the loupe window.
    void refresh();

    Properties props_;
    Drives drives_;
    AnnotationRedraw& redraw_;
    double left_ = 0, top_ = 0, width_ = 0, height_ = 0;
    double innerLeft_ = 0, innerTop_ = 0, innerWidth_ = 0, innerHeight_ = 0;
    Picture innerPicture_;
    bool bordered_ = false;
};

}  // namespace tvn
