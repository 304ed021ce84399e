#include "export/ExportDrawing.h"

#include "media/VideoEngine.h"

#include <QFont>
#include <QPainter>
#include <algorithm>

namespace tvn {

namespace {

QString lineKey(double x1, double y1, double x2, double y2) {
    return QStringLiteral("%1,%2,%3,%4").arg(x1).arg(y1).arg(x2).arg(y2);
}

// A surface with the other's unit, scale, size, pens, font and bitmap.
void copySurface(Surface& to, const Surface& from) {
    to.setTwipsPerPixel(from.twipsPerPixel());
    to.setUnit(from.unit());
    to.setSize(from.width(), from.height());
    to.setBackColor(from.backColor());
    to.setForeColor(from.foreColor());
    to.setDrawWidth(from.drawWidth());
    to.setFontName(from.fontName());
    to.setFontSize(from.fontSize());
    to.setFontBold(from.fontBold());
    to.setPicture(from.picture());
    if (!from.image().isNull()) to.paintPicture(from.image(), 0, 0);
    to.setCurrentPosition(from.currentX(), from.currentY());
}

// Where the free-hand layer holds anything other than white (its empty colour).
QRect strokesArea(const QImage& freeHand) {
    const QImage image = freeHand.convertToFormat(QImage::Format_RGB32);
    QRect area;
    for (int y = 0; y < image.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        int left = -1, right = -1;
        for (int x = 0; x < image.width(); ++x)
            if ((line[x] & 0xFFFFFF) != 0xFFFFFF) {
                if (left < 0) left = x;
                right = x;
            }
        if (left >= 0) area |= QRect(left, y, right - left + 1, 1);
    }
    return area;
}

}  // namespace

// The host's property values the copied renderer and trail read by reference.
struct ExportDrawing::Values {
    QString videoFileName;
    int16_t videoWidth = 0, videoHeight = 0;
    bool displayGrid = false;
    int32_t gridColor = 0, drawingColor = 0;
    int16_t drawingWidth = 1;
    bool isPlaying = false;  // the renderer's hand-over only; it is never reached here
    double currentPos = 0;
    QString angleText;
    int32_t textColor = 0;
    QString text;
    int16_t fontSize = 0;
    int32_t overlayImage = 0;
    int16_t gridSpacing = 0;
    bool displayClock = false;
    int32_t clockStartMs = 0;
    bool displayTarget = false;
    int32_t transparentColor = 0;
    QString drawingTool;
    int32_t trackingActive = 0;
    int32_t trackingLength = 0;
    double frameLenMs = 0;
    int32_t currentFrame = 0;
};

ExportDrawing::ExportDrawing(const Source& s)
    : v_(std::make_unique<Values>()),
      store_(s.store),
      layer_(s.annotationLayer.name()),
      freeHand_(s.freeHandLayer.name()),
      logo_(s.logoPicture.name()) {
    Values& v = *v_;
    v.videoFileName = s.TVN_videoFileName;
    v.videoWidth = s.TVN_VideoWidth;
    v.videoHeight = s.TVN_VideoHeight;
    v.displayGrid = s.TVN_DisplayGrid;
    v.gridColor = s.TVN_GridColor;
    v.drawingColor = s.TVN_drawingColor;
    v.drawingWidth = s.TVN_drawingWidth;
    v.angleText = s.TVN_AngleText;
    v.textColor = s.TVN_TextColor;
    v.text = s.TVN_Text;
    v.fontSize = s.TVN_FontSize;
    v.overlayImage = s.TVN_OverlayImage;
    v.gridSpacing = s.TVN_GridSpacing;
    v.displayClock = s.TVN_DisplayClock;
    v.clockStartMs = s.tvn_ClockStartTimeMS;
    v.displayTarget = s.TVN_DisplayTarget;
    v.transparentColor = s.TVN_TransparentColor;
    v.drawingTool = s.TVN_drawingTool;
    v.trackingActive = s.TVN_TrackingActive;
    v.trackingLength = s.TVN_TrackingLength;
    v.frameLenMs = s.TVN_FrameLenMS;

    copySurface(layer_, s.annotationLayer);
    copySurface(freeHand_, s.freeHandLayer);
    copySurface(logo_, s.logoPicture);
    composer_ = s.display.composition();
    deinterlaced_ = s.display.Deinterlace() != 0;
    scale_ = s.renderer.layerScale();

    // The same rule as the control's redraw: a bitmap the host handed the display
    // in the layer's place stays (it is in the composition already), and nothing
    // is drawn on a display that draws nothing.
    drawsLayer_ = (v.overlayImage == 0 || s.annotationLayer.hasHandle(v.overlayImage)) &&
                  s.display.Option43() != 0 && !v.videoFileName.isEmpty();
    layerDependsOnFrame_ = v.trackingActive != 0 || v.displayClock;

    tracking_ = std::make_unique<TrackingTrail>(
        TrackingTrail::Properties{v.drawingTool, v.trackingActive, v.trackingLength}, store_,
        [&v] { return v.currentFrame; });
    tracking_->setTrackedTrails(s.tracking.trackedTrails());
    renderer_ = std::make_unique<AnnotationRenderer>(
        AnnotationRenderer::Properties{
            v.videoFileName, v.videoWidth, v.videoHeight, v.displayGrid, v.gridColor, v.drawingColor, v.drawingWidth,
            v.isPlaying, v.currentPos, v.angleText, v.textColor, v.text, v.fontSize, v.overlayImage, v.gridSpacing,
            v.displayClock, v.clockStartMs, v.displayTarget, v.transparentColor},
        AnnotationRenderer::Drives{s.control, s.display, layer_, freeHand_, logo_}, s.lessonLogo, store_, *tracking_);
    renderer_->setReadable(s.renderer.readable());
    // The strokes stay as they are for the whole export: only where they are is combined on each frame.
    const QRect strokes = strokesArea(freeHand_.image());
    renderer_->setFreeHandArea(strokes.isNull() ? QRect(0, 0, 0, 0) : strokes);
    // The lines' real lengths, asked of their maker now: the copy never calls back.
    if (const AnnotationRenderer::LineLabel& label = s.renderer.lineLabel()) {
        for (const LineObject& line : store_.Lines) {
            if (!line.Visible) continue;
            lineLabels_.insert(lineKey(line.X1, line.Y1, line.X2, line.Y2), label(line.X1, line.Y1, line.X2, line.Y2));
        }
        renderer_->setLineLabel([this](double x1, double y1, double x2, double y2) {
            return lineLabels_.value(lineKey(x1, y1, x2, y2));
        });
    }
}

ExportDrawing::~ExportDrawing() = default;

void ExportDrawing::paintLayerFor(int32_t frame) {
    if (!drawsLayer_ || (paintedFor_ >= 0 && (!layerDependsOnFrame_ || paintedFor_ == frame))) return;
    // Where the control stands on frame n: TVN_SetFrame's position, the trail ending on n.
    v_->currentFrame = frame;
    v_->currentPos = frame * v_->frameLenMs;
    renderer_->paintLayer(scale_);
    int32_t key = v_->transparentColor;
    composer_.setOverlay(0, layer_.image(), 0, 0, v_->videoWidth, v_->videoHeight, key, FrameComposer::Opaque);
    paintedFor_ = frame;
}

QImage ExportDrawing::picture(const QImage& decoded, int32_t frame) {
    paintLayerFor(frame);
    QImage out = composer_.compose(decoded);
    if (out.format() != QImage::Format_RGB32) out = out.convertToFormat(QImage::Format_RGB32);
    return out;
}

void ExportDrawing::picture(PlanarPicture& decoded, int32_t frame) {
    paintLayerFor(frame);
    composer_.compose(decoded);
}

QImage ExportDrawing::labelBand(QSize picture, const QString& label, QPoint& at) {
    if (label.isEmpty() || picture.isEmpty()) return {};
    QFont font(QStringLiteral("Arial"));
    font.setBold(true);
    font.setPixelSize(std::max(12, picture.height() / 18));
    const int pad = font.pixelSize() / 2;
    const int height = std::min(picture.height(), font.pixelSize() + 2 * pad);
    at = QPoint(0, picture.height() - height);
    QImage band(picture.width(), height, QImage::Format_ARGB32_Premultiplied);
    band.fill(QColor(0, 0, 0, 160));
    QPainter p(&band);
    p.setFont(font);
    p.setPen(Qt::white);
    p.drawText(band.rect().adjusted(pad, 0, -pad, 0), Qt::AlignVCenter | Qt::AlignLeft | Qt::TextSingleLine, label);
    return band;
}

void ExportDrawing::drawLabel(QImage& picture, const QString& label) {
    QPoint at;
    const QImage band = labelBand(picture.size(), label, at);
    if (band.isNull()) return;
    QPainter(&picture).drawImage(at, band);
}

void ExportDrawing::drawLabel(PlanarPicture& picture, const QString& label) {
    QPoint at;
    const QImage band = labelBand(QSize(picture.width(), picture.height()), label, at);
    if (!band.isNull()) picture.blend(band, at);
}

}  // namespace tvn
