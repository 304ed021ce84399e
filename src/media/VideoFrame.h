#pragma once

#include <QImage>

namespace tvn {

// One shown frame: its picture (RGB32 at the display size) and its interval.
struct VideoFrame {
    QImage image;
    double positionMs = 0;  // frame start, counted from the first frame's start
    double durationMs = 0;
    bool isNull() const { return image.isNull(); }
};

}  // namespace tvn
