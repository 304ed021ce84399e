#pragma once

#include "core/Picture.h"

#include <QString>
#include <QVariant>
#include <cstdint>

namespace tvn {

class Trelvan;

// The second clip mixed over the first, and a host bitmap laid over the display.
class OverlayController {
public:
    explicit OverlayController(Trelvan& control) : c_(control) {}

    void TVN_Overlay(QString& FileName);
    void TVN_FlipOverlay(bool flipIt);
    void TVN_AdjustOverlay(int32_t newLeft, int32_t newTop, int32_t newHeight, int32_t newWidth, int32_t newOpacity);
    void TVN_SetOverlay2Pos(double newPos);
    void TVN_SetOverlay2Frame(int32_t newFrame);
    void TVN_SetBitmapOverlay(int32_t& BitmapHandle);

private:
    Trelvan& c_;
};

}  // namespace tvn
