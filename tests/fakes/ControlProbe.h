#pragma once

#include "annotate/AnnotationRenderer.h"
#include "annotate/AnnotationStore.h"
#include "annotate/PointerHandler.h"
#include "annotate/ZoomLoupe.h"
#include "control/Trelvan.h"
#include "control/TrelvanPrivate.h"
#include "layout/FilmStrip.h"
#include "layout/LayoutManager.h"
#include "lesson/LessonAudioSelection.h"
#include "lesson/LessonCompressor.h"
#include "lesson/LessonRecorder.h"
#include "overlay/OverlayController.h"
#include "platform/Surface.h"
#include "platform/SurfaceView.h"
#include "platform/Timer.h"

namespace tvn {

// Tests' window on the control's private implementation: its state, children and procedures.
// Add accessors here as tests need them; the control itself stays closed to hosts.
class ControlProbe {
public:
    explicit ControlProbe(Trelvan& control) : c_(control) {}

    ControlState& state() { return c_.d_->state; }
    AnnotationStore& store() { return *c_.d_->store; }
    Surface& picture(int n) {
        switch (n) {
        case 1: return *c_.d_->parts.annotationLayer;
        case 2: return *c_.d_->parts.freeHandLayer;
        case 3: return *c_.d_->parts.lessonFrame;
        case 4: return *c_.d_->parts.logoPicture;
        case 5: return *c_.d_->parts.filmStripPicture;
        default: return *c_.d_->parts.secondPicture;
        }
    }
    QWidget* filmStripPanel() { return c_.d_->parts.filmStripPanel; }
    QWidget* zoomView() { return c_.d_->parts.loupeView; }
    Timer& timer2() { return *c_.d_->parts.gestureRedrawTimer; }

    // Private procedures.
    void RedrawAnnotations() { c_.d_->renderer->RedrawAnnotations(); }
    void DrawFilmStrip() { c_.d_->filmStrip->DrawFilmStrip(); }
    void SyncPositionViews() { c_.d_->filmStrip->SyncPositionViews(); }
    void LessonTimerTick() { c_.d_->lesson->LessonTimerTick(); }
    void OnResize() { c_.d_->layout->OnResize(); }
    void ApplyAudioSelection() { c_.d_->audioSelection->apply(); }
    // Annotation engine.
    ZoomLoupe& loupe() { return *c_.d_->loupe; }
    void UpdateAngleText() { c_.d_->pointer->UpdateAngleText(); }
    void TypeKey(int16_t key) { c_.d_->pointer->TypeKey(key); }
    LessonRecorder& lesson() { return *c_.d_->lesson; }
    OverlayController& overlay() { return *c_.d_->overlay; }

private:
    Trelvan& c_;
};

}  // namespace tvn
