#include "layout/LayoutManager.h"

#include "control/AnnotationRedraw.h"
#include "control/ControlParts.h"
#include "control/ControlState.h"
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
        const double W = parts_.widget->width() * twipsPerPixelX(parts_.widget);
        const double H = parts_.widget->height() * twipsPerPixelY(parts_.widget);
        if (W < 1 || H < 1) return;  // a collapsed control keeps its old layout
        ControlState& s = state_;
        s.pointerScaleX = s.videoWidthTwips / W;
        s.pointerScaleY = s.videoHeightTwips / H;
        parts_.VideoCapX1->SetWidth(W);
        parts_.VideoCapX1->SetHeight(H);
        parts_.VideoMixerX1->SetHeight(parts_.VideoCapX1->Height());
        parts_.VideoMixerX1->SetWidth(parts_.VideoCapX1->Width());
        if (!filmStrip_.DrawFilmStrip()) return;  // the control is gone
        redraw_.redrawAnnotations();
    });
}

QVariant LayoutManager::TVN_FullScreen() {
    // The engine shows the video full screen by itself and reports when the user
    // leaves it (FullScreenLost); the control's own layout does not change.
    return withPrefix("TVN_FullScreen", [&]() -> QVariant {
        parts_.VideoCapX1->FullScreen(1);
        return {};
    });
}

}  // namespace tvn
