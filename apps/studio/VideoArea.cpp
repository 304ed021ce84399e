#include "VideoArea.h"

#include "control/Trelvan.h"

#include <QPalette>
#include <cmath>

namespace studio {

namespace {
constexpr double kAspectTolerance = 0.005;  // 0.5 %: under a pixel in 200, invisible, and angles move < 0.2 degree
constexpr double kSmallestWholeFit = 0.85;  // below this share of the exact fit, size wins over whole steps

QRect centred(QSize area, int w, int h) { return {(area.width() - w) / 2, (area.height() - h) / 2, w, h}; }
}  // namespace

VideoArea::VideoArea(tvn::Trelvan* control, QWidget* parent) : QWidget(parent), control_(control) {
    QPalette black = palette();
    black.setColor(QPalette::Window, Qt::black);
    setPalette(black);
    setAutoFillBackground(true);
    control_->setParent(this);
    setMinimumSize(160, 120);
}

void VideoArea::setClipSize(QSize clip) {
    clip_ = clip;
    place();
}

void VideoArea::resizeEvent(QResizeEvent*) { place(); }

bool VideoArea::wholePointerScale() const {
    const double twipsPerPixel = 1440.0 / std::max(1, control_->logicalDpiX());
    return control_->width() > 0 && control_->height() > 0 &&
           std::lround(control_->TVN_VideoWidth * twipsPerPixel) % control_->width() == 0 &&
           std::lround(control_->TVN_VideoHeight * twipsPerPixel) % control_->height() == 0;
}

void VideoArea::place() {
    // Twips per pixel as the control reckons them: from the logical DPI of its screen.
    const double twipsPerPixel = 1440.0 / std::max(1, control_->logicalDpiX());
    control_->setGeometry(placeControl(size(), clip_, twipsPerPixel));
    emit controlPlaced(control_->geometry());
}

QRect VideoArea::placeControl(QSize area, QSize clip, double twipsPerPixel) {
    if (clip.isEmpty() || area.isEmpty()) return {QPoint(), area};
    const double fit = std::min(double(area.width()) / clip.width(), double(area.height()) / clip.height());
    const int exactW = std::max(1, int(clip.width() * fit));
    const int exactH = std::max(1, int(clip.height() * fit));
    // The control holds the clip's size in whole twips.
    const auto clipTwipsW = std::lround(clip.width() * twipsPerPixel);
    const auto clipTwipsH = std::lround(clip.height() * twipsPerPixel);
    const double aspect = double(clip.height()) / clip.width();
    for (int w = exactW; w >= kSmallestWholeFit * exactW; --w) {
        if (clipTwipsW % w != 0) continue;
        const double idealH = w * aspect;
        int best = 0;
        for (int h = int(idealH * (1 - kAspectTolerance)); h <= std::ceil(idealH * (1 + kAspectTolerance)); ++h) {
            if (h < 1 || h > area.height() || clipTwipsH % h != 0) continue;
            if (std::abs(h - idealH) <= idealH * kAspectTolerance && (!best || std::abs(h - idealH) < std::abs(best - idealH)))
                best = h;
        }
        if (best) return centred(area, w, best);
    }
    return centred(area, exactW, exactH);
}

}  // namespace studio
