#pragma once

#include <QColor>
#include <QImage>
#include <QRectF>
#include <QSize>
#include <vector>

namespace tvn {

// Composes the mixer's picture from the sources' current frames: a picture of
// the display's size filled with the background colour, and each layer drawn
// over it in order (the later over the earlier), stretched into its rectangle
// with its opacity. The rectangle is in display pixels; a negative width
// mirrors the layer left to right (it then spans x + width .. x), a negative
// height mirrors it top to bottom, and whatever falls outside the display is
// cut off. Opacity 0 leaves the layer out, 1 draws it opaque.
//
// Scaling is nearest-neighbour: the comparison must show the clips' own pixels
// and must fit one frame period for two 1080p sources.
class MixerComposer {
public:
    struct Layer {
        QImage image;  // RGB32 or ARGB32_Premultiplied
        QRectF rect;   // display pixels, width/height may be negative
        float alpha = 1.0f;
    };

    static QImage compose(const std::vector<Layer>& layers, QSize displaySize, QColor background);
};

}  // namespace tvn
