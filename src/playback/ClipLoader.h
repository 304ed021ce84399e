#pragma once

#include "core/Picture.h"

#include <QString>
#include <QVariant>
#include <cstdint>

namespace tvn {

class Trelvan;

// Opening and closing a clip, deriving the clip measures, and closing the second-clip overlay.
class ClipLoader {
public:
    explicit ClipLoader(Trelvan& control) : c_(control) {}

    int32_t TVN_OpenFile(QString& videoFileName);
    QVariant TVN_Close();
    void CloseOverlay();

private:
    Trelvan& c_;
};

}  // namespace tvn
