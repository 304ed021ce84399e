#include "layout/LayoutManager.h"

#include "control/Trelvan.h"
#include "core/TvnError.h"
#include "annotate/AnnotationRenderer.h"
#include "core/Twips.h"
#include "layout/FilmStrip.h"
#include "media/VideoEngine.h"
#include "media/VideoMixer.h"

namespace tvn {

void LayoutManager::OnResize() {
    withPrefix("UserControl_Resize", [&] {
        const double tx = twipsPerPixelX(&c_);
        const double ty = twipsPerPixelY(&c_);
        const double W = c_.width() * tx;
        const double H = c_.height() * ty;
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
    throw TvnError::notImplemented("TVN_FullScreen");
}

}  // namespace tvn
