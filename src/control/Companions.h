#pragma once

#include "analysis/AnalysisPorts.h"

#include <memory>

namespace tvn {

class Analysis;
class AnnotationRedraw;
class MotionAnalysis;
class TrelvanPrivate;
class VideoExport;

// The control's companions beside its documented interface: the motion
// analysis, the video export and the analysis documents, each made on first
// use and wired to the control (failures kept as the control keeps them, the
// drawings redrawn when the motion drawing changes, the key moments handed to
// the export). Answers the analysis companion's ports from the control's parts.
class Companions final : private analysis::DrawingPort, private analysis::ComparisonPort {
public:
    Companions(TrelvanPrivate& d, AnnotationRedraw& redraw);
    ~Companions();
    Companions(const Companions&) = delete;
    Companions& operator=(const Companions&) = delete;

    MotionAnalysis& motion();
    VideoExport& videoExport();
    // Made with the motion companion, whose tracks its documents keep.
    Analysis& analysis();
    // After an open or a close: the motion companion's tracks belong to the clip
    // they were made on, the analysis to its clip.
    void followClip();
    // Something a coach sees may have changed: the analysis companion, if made, autosaves it.
    void noteChange();

private:
    // The analysis companion's ports.
    AnnotationStore& drawings() override;
    QImage freeHandStrokes() const override;
    void setFreeHandStrokes(const QImage& strokes) override;
    void redrawDrawings() override;
    bool readableDrawing() const override;
    double twipsPerPixelX() const override;
    double twipsPerPixelY() const override;
    analysis::SecondClip secondClip() const override;

    TrelvanPrivate& d_;
    AnnotationRedraw& redraw_;
    std::unique_ptr<MotionAnalysis> motion_;    // gone (its worker stopped) before the control's parts
    std::unique_ptr<VideoExport> videoExport_;  // gone (its worker stopped) before the control's parts
    std::unique_ptr<Analysis> analysis_;        // last: gone (its recovery file removed) first
};

}  // namespace tvn
