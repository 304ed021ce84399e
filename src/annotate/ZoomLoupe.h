#pragma once

#include "core/Picture.h"

#include <QString>
#include <QVariant>
#include <cstdint>

namespace tvn {

class Trelvan;

// The zoom loupe over the video and the 200 ms redraw timer (Timer2) of pointer gestures.
class ZoomLoupe {
public:
    explicit ZoomLoupe(Trelvan& control) : c_(control) {}

    void Timer2Tick();

private:
    Trelvan& c_;
};

}  // namespace tvn
