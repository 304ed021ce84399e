#pragma once

#include "media/PlanarPicture.h"

#include <QImage>

namespace tvn {

// One shown frame: its picture (RGB32 at the display size) and its interval.
struct VideoFrame {
    QImage image;
    // From a FrameSource asked for planar pictures: the picture as 4:2:0 planes
    // at the same size and orientation, the image then left null.
    PlanarPicture planar;
    double positionMs = 0;  // frame start, counted from the first frame's start
    double durationMs = 0;
    bool isNull() const { return image.isNull() && planar.isNull(); }
};

}  // namespace tvn
