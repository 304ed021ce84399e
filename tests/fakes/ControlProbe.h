#pragma once

#include "annotate/AnnotationRenderer.h"
#include "annotate/AnnotationStore.h"
#include "annotate/PointerHandler.h"
#include "annotate/ZoomLoupe.h"
#include "control/Trelvan.h"
#include "layout/FilmStrip.h"
#include "layout/LayoutManager.h"
#include "lesson/LessonCompressor.h"
#include "lesson/LessonRecorder.h"
#include "overlay/OverlayController.h"
#include "platform/Surface.h"
#include "platform/SurfaceView.h"
#include "platform/Timer.h"

namespace tvn {

// Tests' window on the control's private state, children and procedures.
// Add accessors here as tests need them; the control itself stays closed to hosts.
class ControlProbe {
public:
    explicit ControlProbe(Trelvan& control) : c_(control) {}

    ControlState& state() { return c_.state_; }
    AnnotationStore& store() { return *c_.store_; }
    Surface& picture(int n) {
        switch (n) {
        case 1: return *c_.parts_.Picture1;
        case 2: return *c_.parts_.Picture2;
        case 3: return *c_.parts_.Picture3;
        case 4: return *c_.parts_.Picture4;
        case 5: return *c_.parts_.Picture5;
        default: return *c_.parts_.Picture6;
        }
    }
    QWidget* filmStripPanel() { return c_.parts_.FilmStripPanel; }
    QWidget* zoomView() { return c_.parts_.ZoomView; }
    Timer& timer2() { return *c_.parts_.Timer2; }

    // Private procedures.
    void RedrawAnnotations() { c_.renderer_->RedrawAnnotations(); }
    void DrawFilmStrip() { c_.filmStrip_->DrawFilmStrip(); }
    void SyncPositionViews() { c_.filmStrip_->SyncPositionViews(); }
    void LessonTimerTick() { c_.lesson_->LessonTimerTick(); }
    void OnResize() { c_.layout_->OnResize(); }
    void ApplyAudioSelection() { c_.lesson_->ApplyAudioSelection(); }
    // Annotation engine.
    ZoomLoupe& loupe() { return *c_.loupe_; }
    void UpdateAngleText() { c_.pointer_->UpdateAngleText(); }
    void TypeKey(int16_t key) { c_.pointer_->TypeKey(key); }
    LessonRecorder& lesson() { return *c_.lesson_; }
    OverlayController& overlay() { return *c_.overlay_; }

private:
    Trelvan& c_;
};

}  // namespace tvn
