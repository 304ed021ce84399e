#include "overlay/OverlayController.h"

#include "control/Trelvan.h"
#include "core/TvnError.h"

namespace tvn {

void OverlayController::TVN_Overlay(QString& /*FileName*/) {
    throw TvnError::notImplemented("TVN_Overlay");
}

void OverlayController::TVN_FlipOverlay(bool /*flipIt*/) {
    throw TvnError::notImplemented("TVN_FlipOverlay");
}

void OverlayController::TVN_AdjustOverlay(int32_t /*newLeft*/, int32_t /*newTop*/, int32_t /*newHeight*/, int32_t /*newWidth*/, int32_t /*newOpacity*/) {
    throw TvnError::notImplemented("TVN_AdjustOverlay");
}

void OverlayController::TVN_SetOverlay2Pos(double /*newPos*/) {
    throw TvnError::notImplemented("TVN_SetOverlay2Pos");
}

void OverlayController::TVN_SetOverlay2Frame(int32_t /*newFrame*/) {
    throw TvnError::notImplemented("TVN_SetOverlay2Frame");
}

void OverlayController::TVN_SetBitmapOverlay(int32_t& /*BitmapHandle*/) {
    throw TvnError::notImplemented("TVN_SetBitmapOverlay");
}

}  // namespace tvn
