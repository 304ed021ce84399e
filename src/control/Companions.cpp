#include "control/Companions.h"

#include "analysis/Analysis.h"
#include "annotate/AnnotationRenderer.h"
#include "annotate/AnnotationStore.h"
#include "annotate/TrackingTrail.h"
#include "control/Trelvan.h"
#include "control/TrelvanPrivate.h"
#include "core/Twips.h"
#include "core/TvnError.h"
#include "export/ExportDrawing.h"
#include "export/VideoExport.h"
#include "media/VideoEngine.h"
#include "motion/MotionAnalysis.h"
#include "overlay/OverlayController.h"
#include "platform/Surface.h"

namespace tvn {

Companions::Companions(TrelvanPrivate& d, AnnotationRedraw& redraw) : d_(d), redraw_(redraw) {}

Companions::~Companions() = default;

MotionAnalysis& Companions::motion() {
    if (!motion_) {
        Trelvan& q = d_.q;
        motion_ = std::make_unique<MotionAnalysis>(
            q, [this](const TvnError& e) { d_.keepFailure("MotionAnalysis_tracking", e); });
        motion_->setLineSource([this] { return d_.store->newestLine(); });
        d_.renderer->setLineLabel([m = motion_.get()](double x1, double y1, double x2, double y2) {
            return m->lineLength(x1, y1, x2, y2);
        });
        QObject::connect(motion_.get(), &MotionAnalysis::drawingChanged, &q, [this] {
            d_.tracking->setTrackedTrails(motion_->trails());
            d_.handleNotification("MotionAnalysis_drawingChanged", [&] { redraw_.redrawAnnotations(); });
        });
    }
    return *motion_;
}

VideoExport& Companions::videoExport() {
    if (!videoExport_) {
        // The export draws from a copy of what the control draws with, taken on
        // this thread when an export starts, so the worker never reaches the control.
        auto snapshot = [this] {
            Trelvan& q = d_.q;
            ControlParts& parts = d_.parts;
            return std::make_shared<ExportDrawing>(ExportDrawing::Source{
                q, *parts.display, *d_.renderer, *d_.store, *d_.tracking, d_.state.lessonLogo, *parts.annotationLayer,
                *parts.freeHandLayer, *parts.logoPicture, q.TVN_videoFileName, q.TVN_VideoWidth, q.TVN_VideoHeight,
                q.TVN_DisplayGrid, q.TVN_GridColor, q.TVN_drawingColor, q.TVN_drawingWidth, q.TVN_AngleText,
                q.TVN_TextColor, q.TVN_Text, q.TVN_FontSize, q.TVN_OverlayImage, q.TVN_GridSpacing, q.TVN_DisplayClock,
                q.tvn_ClockStartTimeMS, q.TVN_DisplayTarget, q.TVN_TransparentColor, q.TVN_drawingTool,
                q.TVN_TrackingActive, q.TVN_TrackingLength, q.TVN_FrameLenMS});
        };
        // Key moments only from an analysis companion the host made: asking for one
        // here would start its documents.
        auto keyMoments = [this] {
            std::vector<std::pair<int, QString>> moments;
            if (analysis_)
                for (const KeyMoment& m : analysis_->keyMoments()) moments.emplace_back(m.frame, m.label);
            return moments;
        };
        videoExport_ = std::make_unique<VideoExport>(
            d_.q, snapshot, keyMoments, [this](const TvnError& e) { d_.keepFailure("VideoExport_worker", e); });
    }
    return *videoExport_;
}

Analysis& Companions::analysis() {
    if (!analysis_) {
        motion();  // the document keeps the motion companion's tracks: it is there before
        analysis_ = std::make_unique<Analysis>(
            d_.q, std::make_unique<analysis::AnalysisPorts>(static_cast<analysis::DrawingPort&>(*this),
                                                            static_cast<analysis::ComparisonPort&>(*this)));
        QObject::connect(motion_.get(), &MotionAnalysis::drawingChanged, analysis_.get(),
                         [a = analysis_.get()] { a->noteChange(); });
    }
    return *analysis_;
}

void Companions::followClip() {
    Trelvan& q = d_.q;
    if (motion_) motion_->followClip(q.TVN_videoFileName, QSize(q.TVN_VideoWidth, q.TVN_VideoHeight));
    if (analysis_) d_.handleNotification("Analysis_followClip", [&] { analysis_->followClip(true); });
}

void Companions::noteChange() {
    if (analysis_) analysis_->noteChange();
}

AnnotationStore& Companions::drawings() { return *d_.store; }

QImage Companions::freeHandStrokes() const { return d_.parts.freeHandLayer->image(); }

void Companions::setFreeHandStrokes(const QImage& strokes) {
    Surface& layer = *d_.parts.freeHandLayer;
    const QSize size(layer.widthPixels(), layer.heightPixels());
    const QImage fitted = strokes.size() == size ? strokes : strokes.scaled(size);
    layer.paintPicture(fitted, 0, 0);
}

void Companions::redrawDrawings() { redraw_.redrawAnnotations(); }
bool Companions::readableDrawing() const { return d_.q.readableDrawing(); }
double Companions::twipsPerPixelX() const { return tvn::twipsPerPixelX(&d_.q); }
double Companions::twipsPerPixelY() const { return tvn::twipsPerPixelY(&d_.q); }

analysis::SecondClip Companions::secondClip() const {
    analysis::SecondClip c;
    const OverlaySources& sources = d_.state.overlaySources;
    if (!sources.overlayActive) return c;
    const OverlayController::Placement& p = d_.overlay->placement();
    c.fileName = sources.overlayFileName;
    c.placed = p.placed;
    c.left = p.left;
    c.top = p.top;
    c.width = p.width;
    c.height = p.height;
    c.opacity = p.opacity;
    c.frame = p.frame;
    c.positionMs = p.positionMs;
    c.mirrored = p.mirrored;
    return c;
}

}  // namespace tvn
