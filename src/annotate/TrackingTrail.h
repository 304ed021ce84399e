#pragma once

#include "core/Picture.h"

#include <QString>
#include <QVariant>
#include <cstdint>

namespace tvn {

class Trelvan;

// Switches the hand-built tracking trail on and off.
class TrackingTrail {
public:
    explicit TrackingTrail(Trelvan& control) : c_(control) {}

    QVariant TVN_SetTracking(bool& onOrOff);

private:
    Trelvan& c_;
};

}  // namespace tvn
