#include "annotate/ZoomLoupe.h"

#include "control/AnnotationRedraw.h"
#include "core/Numeric.h"
#include "core/TvnError.h"
#include "core/Twips.h"
#include "media/VideoEngine.h"
#include "platform/Platform.h"
#include "platform/Surface.h"
#include "platform/SurfaceView.h"
#include "platform/Timer.h"

#include <QWidget>
#include <cmath>

namespace tvn {

void ZoomLoupe::GestureRedrawTick() {
    withPrefix("LoupeTimerTick", [&] {
        if (drives_.display.Option43() != 0) {
            drives_.gestureRedrawTimer.setEnabled(false);
            redraw_.redrawAnnotations();
            // Pointer notifications that arrived meanwhile run now, with the timer off.
            if (!drives_.platform.processEventsAndSurvive(&drives_.control)) return;
            drives_.gestureRedrawTimer.setEnabled(true);
        } else {
            // Raw player mode: the moves redraw themselves.
            drives_.gestureRedrawTimer.setEnabled(false);
        }
    });
}

void ZoomLoupe::Follow(float x, float y) {
    top_ = y - height_ / 2;
    left_ = x - width_ / 2;
    refresh();
}

void ZoomLoupe::SetUp() {
    width_ = drives_.control.width() * twipsPerPixelX(&drives_.control) / 3;
    height_ = drives_.control.height() * twipsPerPixelY(&drives_.control) / 3;
    innerPicture_ = drives_.display.CurrentFramePicture();
    // The 4x products are 16-bit, as the clip size is.
    const int16_t widthPixels = toInt16(static_cast<int32_t>(props_.TVN_VideoWidth) * 4);
    const int16_t heightPixels = toInt16(static_cast<int32_t>(props_.TVN_VideoHeight) * 4);
    innerWidth_ = widthPixels * twipsPerPixelX(&drives_.control);
    innerHeight_ = heightPixels * twipsPerPixelY(&drives_.control);
    drives_.loupeView.show();
    drives_.loupeView.raise();
    refresh();
}

void ZoomLoupe::Pan(float x, float y) {
    innerPicture_ = drives_.display.CurrentFramePicture();
    innerLeft_ = -((x - width_ / 6) * 4);
    innerTop_ = -((y - height_ / 6) * 4);
    refresh();
}

void ZoomLoupe::Hide() { drives_.loupeView.hide(); }

void ZoomLoupe::refresh() {
    // A hidden window is only placed; its picture is painted once it shows.
    if (!drives_.loupeView.isHidden()) {
        Surface& zoom = drives_.loupePicture;
        zoom.setSize(std::max(width_, 1.0), std::max(height_, 1.0));
        zoom.clearTo(0);
        if (!innerPicture_.isNothing())
            zoom.paintPicture(innerPicture_.image(), innerLeft_, innerTop_, innerWidth_, innerHeight_);
        if (bordered_) {
            // Black outside, white within: it reads on dark and light pictures alike.
            const double tpp = zoom.twipsPerPixel();
            const double w = zoom.width(), h = zoom.height();
            zoom.setDrawWidth(2);
            zoom.box(tpp, tpp, w - tpp, h - tpp, 0);
            zoom.setDrawWidth(2);
            zoom.box(3 * tpp, 3 * tpp, w - 3 * tpp, h - 3 * tpp, 0xFFFFFF);
            zoom.setDrawWidth(1);
        }
    }
    const double tppX = twipsPerPixelX(&drives_.control), tppY = twipsPerPixelY(&drives_.control);
    drives_.loupeView.setGeometry(static_cast<int>(std::lround(left_ / tppX)),
                                 static_cast<int>(std::lround(top_ / tppY)),
                                 std::max(1, static_cast<int>(std::lround(width_ / tppX))),
                                 std::max(1, static_cast<int>(std::lround(height_ / tppY))));
    drives_.loupeView.update();
}

}  // namespace tvn
