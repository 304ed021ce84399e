#include "layout/LayoutManager.h"

#include "control/AnnotationRedraw.h"
#include "core/TvnError.h"
#include "core/Twips.h"
#include "layout/FilmStrip.h"
#include "media/VideoEngine.h"
#include "media/VideoMixer.h"

#include <QWidget>

namespace tvn {

void LayoutManager::OnResize() {
    withPrefix("UserControl_Resize", [&] {
        // W and H are the control's size in twips, the unit of the placement
        // properties and of the annotation surfaces.
        const double W = drives_.control.width() * twipsPerPixelX(&drives_.control);
        const double H = drives_.control.height() * twipsPerPixelY(&drives_.control);
        if (W < 1 || H < 1) return;  // a collapsed control keeps its old layout
        pointerScale_.pointerScaleX = clipPicture_.videoWidthTwips / W;
        pointerScale_.pointerScaleY = clipPicture_.videoHeightTwips / H;
        drives_.display.SetWidth(W);
        drives_.display.SetHeight(H);
        drives_.mixer.SetHeight(drives_.display.Height());
        drives_.mixer.SetWidth(drives_.display.Width());
        if (!filmStrip_.DrawFilmStrip()) return;  // the control is gone
        redraw_.redrawAnnotations();
    });
}

QVariant LayoutManager::TVN_FullScreen() {
    // The engine shows the video full screen by itself and reports when the user
    // leaves it (FullScreenLost); the control's own layout does not change.
    return withPrefix("TVN_FullScreen", [&]() -> QVariant {
        drives_.display.FullScreen(1);
        return {};
    });
}

}  // namespace tvn
