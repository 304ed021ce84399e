#pragma once

#include "core/Picture.h"

#include <QString>
#include <QVariant>
#include <cstdint>

namespace tvn {

class Trelvan;

// Turns the annotation store into the picture on the annotation surface (Picture1)
// and hands it to the video engine as an overlay with a key colour.
class AnnotationRenderer {
public:
    explicit AnnotationRenderer(Trelvan& control) : c_(control) {}

    void RedrawAnnotations();

private:
    Trelvan& c_;
};

}  // namespace tvn
