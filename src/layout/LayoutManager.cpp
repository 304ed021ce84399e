#include "layout/LayoutManager.h"

#include "annotate/AnnotationRenderer.h"
#include "control/Trelvan.h"
#include "core/TvnError.h"
#include "core/Twips.h"
#include "layout/FilmStrip.h"
#include "media/VideoEngine.h"
#include "media/VideoMixer.h"

namespace tvn {

void LayoutManager::OnResize() {
    withPrefix("UserControl_Resize", [&] {
        // W and H are the control's size in twips, the unit of the placement
        // properties and of the annotation surfaces.
        const double W = c_.width() * twipsPerPixelX(&c_);
        const double H = c_.height() * twipsPerPixelY(&c_);
        if (W < 1 || H < 1) return;  // a collapsed control keeps its old layout
        ControlState& s = c_.state_;
        s.pointerScaleX = s.videoWidthTwips / W;
        s.pointerScaleY = s.videoHeightTwips / H;
        c_.VideoCapX1->SetWidth(W);
        c_.VideoCapX1->SetHeight(H);
        c_.VideoMixerX1->SetHeight(c_.VideoCapX1->Height());
        c_.VideoMixerX1->SetWidth(c_.VideoCapX1->Width());
        c_.filmStrip_->DrawFilmStrip();
        c_.renderer_->RedrawAnnotations();
    });
}

QVariant LayoutManager::TVN_FullScreen() {
    // The engine shows the video full screen by itself and reports when the user
    // leaves it (FullScreenLost); the control's own layout does not change.
    return withPrefix("TVN_FullScreen", [&]() -> QVariant {
        c_.VideoCapX1->FullScreen(1);
        return {};
    });
}

}  // namespace tvn
