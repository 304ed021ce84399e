#pragma once

#include "annotate/AnnotationRenderer.h"
#include "annotate/AnnotationStore.h"
#include "annotate/TrackingTrail.h"
#include "control/ControlState.h"
#include "media/FrameComposer.h"
#include "platform/Surface.h"

#include <QHash>
#include <QImage>
#include <QString>
#include <memory>

class QWidget;

namespace tvn {

class VideoEngine;

// The control's picture of any frame, made away from the screen: a copy of
// everything the control draws with, taken on the UI thread when an export
// starts (the annotations, the host's drawing properties, the free-hand layer,
// the logo, the tracked paths, the lines' real lengths, the display's
// composition with its mirroring and the host's overlays), and a renderer of its
// own over that copy. For frame n it paints the annotation layer with the
// control's own AnnotationRenderer as the control paints it on frame n (the
// trail's window ending on n, the clock showing n's time) and lays it over the
// decoded frame with the display's own FrameComposer. After construction it
// touches nothing of the control, so the export's worker uses it freely.
class ExportDrawing {
public:
    // What the control draws with, read (and copied) in the constructor.
    struct Source {
        QWidget& control;
        VideoEngine& display;
        const AnnotationRenderer& renderer;
        const AnnotationStore& store;
        const TrackingTrail& tracking;
        const LessonLogo& lessonLogo;
        Surface& annotationLayer;
        const Surface& freeHandLayer;
        const Surface& logoPicture;
        // The host's properties the renderer and the trail read.
        const QString& TVN_videoFileName;
        int16_t TVN_VideoWidth, TVN_VideoHeight;
        bool TVN_DisplayGrid;
        int32_t TVN_GridColor, TVN_drawingColor;
        int16_t TVN_drawingWidth;
        const QString& TVN_AngleText;
        int32_t TVN_TextColor;
        const QString& TVN_Text;
        int16_t TVN_FontSize;
        int32_t TVN_OverlayImage;
        int16_t TVN_GridSpacing;
        bool TVN_DisplayClock;
        int32_t tvn_ClockStartTimeMS;
        bool TVN_DisplayTarget;
        int32_t TVN_TransparentColor;
        const QString& TVN_drawingTool;
        int32_t TVN_TrackingActive, TVN_TrackingLength;
        double TVN_FrameLenMS;
    };

    explicit ExportDrawing(const Source& source);
    ~ExportDrawing();
    ExportDrawing(const ExportDrawing&) = delete;
    ExportDrawing& operator=(const ExportDrawing&) = delete;

    // The control's picture of frame n over its decoded picture (the clip's
    // display size, RGB32).
    QImage picture(const QImage& decoded, int32_t frame);
    // The same on a planar picture, drawn in place: only where something is
    // drawn does the picture change, and its colours are never converted.
    void picture(PlanarPicture& decoded, int32_t frame);
    // A pause's label, drawn in a band across the bottom of the picture.
    static void drawLabel(QImage& picture, const QString& label);
    static void drawLabel(PlanarPicture& picture, const QString& label);
    // Whether the display deinterlaces the clip's pictures (the export's decoder does the same).
    bool deinterlaced() const { return deinterlaced_; }

private:
    // The layer as the control paints it on frame n, handed to the composer.
    void paintLayerFor(int32_t frame);
    // The label's band for a picture of that size, drawn on transparency; null for no label.
    static QImage labelBand(QSize picture, const QString& label, QPoint& at);

    struct Values;
    std::unique_ptr<Values> v_;
    AnnotationStore store_;
    Surface layer_;
    Surface freeHand_;
    Surface logo_;
    std::unique_ptr<TrackingTrail> tracking_;
    std::unique_ptr<AnnotationRenderer> renderer_;
    AnnotationRenderer::LayerScale scale_;
    FrameComposer composer_;
    bool drawsLayer_ = false;
    bool deinterlaced_ = false;
    bool layerDependsOnFrame_ = false;
    int32_t paintedFor_ = -1;  // the frame the layer was painted for, when it depends on the frame
    QHash<QString, QString> lineLabels_;  // "x1,y1,x2,y2" -> the real length shown beside the line
};

}  // namespace tvn
