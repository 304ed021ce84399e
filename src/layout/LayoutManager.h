#pragma once

#include "core/Picture.h"

#include <QString>
#include <QVariant>
#include <cstdint>

namespace tvn {

class Trelvan;

// Places the children when the control is resized, and full screen.
class LayoutManager {
public:
    explicit LayoutManager(Trelvan& control) : c_(control) {}

    void OnResize();
    QVariant TVN_FullScreen();

private:
    Trelvan& c_;
};

}  // namespace tvn
