#pragma once
#include "control/ControlState.h"


#include <QRect>
#include <QString>
#include <cstdint>
#include <functional>
#include <optional>

class QWidget;

namespace tvn {

class VideoEngine;

class AnnotationPen;
class AnnotationStore;
struct LineObject;
class Surface;
class TrackingTrail;

// Turns the annotation store into the picture on the annotation layer (Picture1)
// and hands it to the video engine as an overlay with a key colour.
//
// Every call repaints the whole surface from nothing, in a fixed order: clear to
// the key colour, logo, tracking trail, target, light-mouse arrow, the angle in
// progress, committed angles, the line pool, the circline guide, the shape pool,
// caption and clock, grid, texts, then the free-hand layer ANDed over it; then the
// hand-over to the engine and, while paused, a seek to the current position + 1 ms
// so the paused frame shows the new overlay. A failure ends the redraw where it
// happened (what was drawn stays, the hand-over does not run).
//
// Readable drawing, a host's opt-in for HD footage shown small (off by default,
// when the drawing is exactly as above): pen widths count screen pixels, not
// picture pixels (the surface has the clip's size and is shown at the display's),
// every stroke, trail segment and label gets an outline a screen pixel and a half wide on
// each side instead of the offset shadow (black around colours, light around
// black), so it reads on any picture, yellow on yellow too; the labels (angle
// values, line lengths, clock) keep the design font, bold, whatever text was
// typed last; and an angle in progress shows no value until its second arm has
// a length.
class AnnotationRenderer {
public:
    // The host's properties it reads (const) and writes.
    struct Properties {
        const QString& TVN_videoFileName;
        const int16_t& TVN_VideoWidth;
        const int16_t& TVN_VideoHeight;
        const bool& TVN_DisplayGrid;
        const int32_t& TVN_GridColor;
        const int32_t& TVN_drawingColor;
        const int16_t& TVN_drawingWidth;
        const bool& TVN_IsPlaying;
        const double& TVN_CurrentPos;
        const QString& TVN_AngleText;
        const int32_t& TVN_TextColor;
        const QString& TVN_Text;
        const int16_t& TVN_FontSize;
        int32_t& TVN_OverlayImage;
        const int16_t& TVN_GridSpacing;
        const bool& TVN_DisplayClock;
        const int32_t& tvn_ClockStartTimeMS;
        const bool& TVN_DisplayTarget;
        int32_t& TVN_TransparentColor;  // by reference to the engine
    };

    // What it draws on and hands the drawing to.
    struct Drives {
        QWidget& control;  // the control itself: its size and its screen's twips per pixel
        VideoEngine& display;  // the display engine: the clip the user sees
        Surface& annotationLayer;  // the drawings, laid over the video; the clip's size in twips
        Surface& freeHandLayer;  // free-hand strokes, white where nothing is drawn, combined into the annotation layer
        Surface& logoPicture;  // the lesson logo TVN_SetLogo loads
    };

    AnnotationRenderer(Properties props, Drives drives, const LessonLogo& lessonLogo, const AnnotationStore& store,
                       TrackingTrail& tracking)
        : props_(props), drives_(drives), lessonLogo_(lessonLogo), store_(store), tracking_(tracking) {}

    void RedrawAnnotations();

    // How a redraw scales: picture pixels per screen pixel of the display (the
    // readable pens) and the control's twips per pixel (the logo's place).
    struct LayerScale {
        double screen = 1;
        double twipsX = 15;
        double twipsY = 15;
    };
    LayerScale layerScale() const;
    // The redraw's painting alone: the drawings for the position the properties
    // name, onto the annotation layer, touching neither the display nor the
    // control. A renderer of its own over copied state paints the pictures of a
    // video export this way, away from the screen and off the UI thread.
    void paintLayer(const LayerScale& scale);

    // The live angle text as the renderer prints it: the leading number of `text`
    // (0 if none) rounded half to even, followed by the degree sign ("°" -> "0°",
    // "" -> "0°"). Committed angles print their stored text as it is.
    static QString normalisedAngleText(const QString& text);

    // Text printed beside each visible line of the line pool, from its end points
    // in drawing coordinates (the motion companion's real lengths); nothing is
    // printed where it returns an empty text or none is set, as by default.
    using LineLabel = std::function<QString(double x1, double y1, double x2, double y2)>;
    void setLineLabel(LineLabel label) { lineLabel_ = std::move(label); }

    void setReadable(bool on) { readable_ = on; }
    // The part of the free-hand layer that may hold strokes (the rest is
    // white): only it is combined into the layer. The whole layer unless told,
    // since the control's own free-hand layer changes as the coach draws; a
    // copy that never changes (a video export's) says where its strokes are.
    void setFreeHandArea(const QRect& area) { freeHandArea_ = area; }
    bool readable() const { return readable_; }
    const LineLabel& lineLabel() const { return lineLabel_; }

private:
    void drawLightMouse(AnnotationPen& pen, int w);
    void drawCirclineGuide(AnnotationPen& pen, int w);
    void drawShapes(AnnotationPen& pen, int w);
    void drawCaptionAndClock(AnnotationPen& pen);
    void drawGrid(Surface& p);
    void drawTexts(AnnotationPen& pen);
    void drawLineLabel(AnnotationPen& pen, const LineObject& line);

    Properties props_;
    Drives drives_;
    const LessonLogo& lessonLogo_;
    const AnnotationStore& store_;
    TrackingTrail& tracking_;
    LineLabel lineLabel_;
    std::optional<QRect> freeHandArea_;
    bool readable_ = false;
};

}  // namespace tvn
