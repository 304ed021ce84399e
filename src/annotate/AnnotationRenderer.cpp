#include "annotate/AnnotationRenderer.h"

#include "annotate/AnnotationPen.h"
#include "annotate/AnnotationStore.h"
#include "annotate/TrackingTrail.h"
#include "core/Numeric.h"
#include "core/TvnError.h"
#include "core/Twips.h"
#include "media/VideoEngine.h"
#include "platform/Surface.h"

#include <QPointF>

#include <algorithm>
#include <cmath>
#include <optional>

namespace tvn {

namespace {
constexpr int32_t kBlack = 0;

// Lines and angle arms have a black shadow 10·w twips below them (none for a black stroke).
QPointF shadowBelow(int w) { return {0, 10.0 * w}; }

// The value of the number at the start of text, as a host's Val() reads it:
// blanks skipped, an optional sign, digits with one decimal point, an exponent.
double leadingNumber(const QString& text) {
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && (text[i] == u' ' || text[i] == u'\t')) ++i;
    const qsizetype start = i;
    if (i < n && (text[i] == u'+' || text[i] == u'-')) ++i;
    bool digits = false, point = false;
    while (i < n && (text[i].isDigit() || (text[i] == u'.' && !point))) {
        if (text[i] == u'.') point = true;
        else digits = true;
        ++i;
    }
    if (!digits) return 0;
    qsizetype end = i;
    if (i < n && (text[i] == u'e' || text[i] == u'E')) {
        qsizetype j = i + 1;
        if (j < n && (text[j] == u'+' || text[j] == u'-')) ++j;
        if (j < n && text[j].isDigit()) {
            while (j < n && text[j].isDigit()) ++j;
            end = j;
        }
    }
    bool ok = false;
    const double v = text.mid(start, end - start).toDouble(&ok);
    return ok ? v : 0;
}
}  // namespace

AnnotationRenderer::LayerScale AnnotationRenderer::layerScale() const {
    LayerScale scale;
    scale.twipsX = twipsPerPixelX(&drives_.control);
    scale.twipsY = twipsPerPixelY(&drives_.control);
    // Picture pixels per screen pixel of the display (1 before it is placed).
    const double shownPixels = drives_.display.Width() / scale.twipsX;
    const int surfacePixels = drives_.annotationLayer.widthPixels();
    scale.screen = shownPixels >= 1 && surfacePixels > 1 ? surfacePixels / shownPixels : 1.0;
    return scale;
}

QString AnnotationRenderer::normalisedAngleText(const QString& text) {
    return QString::number(toInt32(leadingNumber(text))) + QChar(0x00B0);
}

void AnnotationRenderer::RedrawAnnotations() {
    withPrefix("RedrawAnnotations", [&] {
        // Another bitmap has been handed to the engine: leave it in place.
        if (props_.TVN_OverlayImage != 0 && !drives_.annotationLayer.hasHandle(props_.TVN_OverlayImage)) return;
        // Nothing to draw on.
        if (drives_.display.Option43() == 0 || props_.TVN_videoFileName.isEmpty()) return;
        paintLayer(layerScale());

        // The layer goes to the engine as an image; TVN_OverlayImage names it
        // for hosts by the surface's handle.
        Surface& p = drives_.annotationLayer;
        drives_.display.setOverlayImage(0, p.image(), 0, 0, props_.TVN_VideoWidth, props_.TVN_VideoHeight,
                                           props_.TVN_TransparentColor, -1);
        props_.TVN_OverlayImage = p.handle();

        // A paused engine shows the frame again only when it is sought.
        if (!props_.TVN_IsPlaying) drives_.display.Seek(props_.TVN_CurrentPos + 1.0);
    });
}

void AnnotationRenderer::paintLayer(const LayerScale& scale) {
    Surface& p = drives_.annotationLayer;
    const AnnotationStore& st = store_;
    p.clearTo(props_.TVN_TransparentColor);
    p.setDrawWidth(props_.TVN_drawingWidth);
    // The font name stays as the last text drawn left it.
    p.setFontSize(props_.TVN_FontSize);

    if (!lessonLogo_.logoFileName.isEmpty() && !drives_.logoPicture.picture().isNothing()) {
        p.paintPicture(drives_.logoPicture.picture().image(), lessonLogo_.logoLeft * scale.twipsX,
                       lessonLogo_.logoTop * scale.twipsY);
    }

    const int w = p.drawWidth();
    AnnotationPen pen(p, readable_, scale.screen, props_.TVN_TransparentColor);
    p.setDrawWidth(pen.width(w));
    tracking_.DrawTrail(p, readable_ ? pen.width(w) + 2 * pen.rim() : 0);
    p.setDrawWidth(w);

    if (props_.TVN_DisplayTarget) {
        pen.line(0, st.targetY, p.width(), st.targetY, props_.TVN_drawingColor, w, std::nullopt);
        pen.line(st.targetX, 0, st.targetX, p.height(), props_.TVN_drawingColor, w, std::nullopt);
    }

    if (st.lightMouseShown) drawLightMouse(pen, w);

    if (st.Angle1.Visible) {
        const int32_t colour = st.Angle1.BorderColor;
        pen.line(st.Angle1.X1, st.Angle1.Y1, st.Angle1.X2, st.Angle1.Y2, colour, w, std::nullopt);
        pen.line(st.Angle2.X1, st.Angle2.Y1, st.Angle2.X2, st.Angle2.Y2, colour, w, std::nullopt);
        // Printed normalised; TVN_AngleText itself keeps what the measuring wrote,
        // so an angle whose arms never met commits an empty text. Readable, an
        // angle whose second arm has no length yet has no value to show.
        const bool secondArm = st.Angle2.X1 != st.Angle2.X2 || st.Angle2.Y1 != st.Angle2.Y2;
        const QString text = normalisedAngleText(props_.TVN_AngleText);
        p.setCurrentPosition(st.Angle1.X2, st.Angle1.Y2);
        if (!readable_ || secondArm) pen.print(text, colour, true);
    }

    for (const AngleAnnotation& a : st.angleNotes) {
        if (!a.shown) continue;
        pen.line(a.x1, a.y1, a.x2, a.y2, a.color, w, shadowBelow(w));
        pen.line(a.x3, a.y3, a.x4, a.y4, a.color, w, shadowBelow(w));
        p.setCurrentPosition(a.x2, a.y2);
        pen.print(a.text, a.color, true);
    }

    for (const LineObject& line : st.Lines) {
        if (!line.Visible) continue;
        pen.line(line.X1, line.Y1, line.X2, line.Y2, line.BorderColor, w, shadowBelow(w));
        drawLineLabel(pen, line);
    }

    drawCirclineGuide(pen, w);
    drawShapes(pen, w);
    drawCaptionAndClock(pen);
    if (readable_) p.setDrawWidth(pen.width(1));
    drawGrid(p);
    drawTexts(pen);

    if (!freeHandArea_) p.combineAnd(drives_.freeHandLayer);
    else if (!freeHandArea_->isEmpty()) p.combineAnd(drives_.freeHandLayer, *freeHandArea_);
}

// Just above the line's middle (a point is 20 twips; a line of text about 1.5
// of its size), clear of the stroke, in the line's colour, ringed by a black
// outline one pixel wide (a screen pixel and a half, readable) so it reads on a picture
// of its own colour at any size.
void AnnotationRenderer::drawLineLabel(AnnotationPen& pen, const LineObject& line) {
    if (!lineLabel_) return;
    const QString text = lineLabel_(line.X1, line.Y1, line.X2, line.Y2);
    if (text.isEmpty()) return;
    Surface& p = pen.p;
    const double above = 30.0 * p.fontSize() + 15.0 * pen.width(p.drawWidth());
    const double x = (line.X1 + line.X2) / 2.0, y = std::max(0.0, (line.Y1 + line.Y2) / 2.0 - above);
    if (pen.readable()) {
        p.setCurrentPosition(x, y);
        pen.print(text, line.BorderColor, true);
        return;
    }
    const double d = p.unit() == Surface::Unit::Twips ? p.twipsPerPixel() : 1.0;
    if (line.BorderColor != kBlack) {
        p.setForeColor(kBlack);
        for (const QPointF o : {QPointF(-d, 0), QPointF(d, 0), QPointF(0, -d), QPointF(0, d)}) {
            p.setCurrentPosition(x + o.x(), y + o.y());
            p.print(text);
        }
    }
    p.setForeColor(line.BorderColor);
    p.setCurrentPosition(x, y);
    p.print(text);
}

void AnnotationRenderer::drawLightMouse(AnnotationPen& pen, int w) {
    const AnnotationStore& st = store_;
    const double x = st.lightMouseX, y = st.lightMouseY;
    const double d = st.lightMouseLeft ? 1.0 : -1.0;
    const int32_t colour = st.lightMouseColor;
    Surface& p = pen.p;
    const auto strokes = [&](int32_t c) {
        p.line(x + 200 * d, y + 100, x, y, c);
        p.line(x + 200 * d, y - 100, x, y, c);
        p.line(x + (400 + 75.0 * w) * d, y, x, y, c);
    };
    if (pen.readable() || colour != kBlack) {
        p.setDrawWidth(pen.readable() ? pen.width(w) + 2 * pen.rim() : w + 2);
        strokes(pen.readable() ? pen.outlineOf(colour) : kBlack);
    }
    p.setDrawWidth(pen.width(w));
    strokes(colour);
    p.setDrawWidth(w);
}

void AnnotationRenderer::drawCirclineGuide(AnnotationPen& pen, int w) {
    const AnnotationStore& st = store_;
    if (st.circlineShape == -1) return;
    if (!st.Shape1.at(static_cast<size_t>(st.circlineShape)).Visible) return;
    const double left = st.circlineCenterX - st.circlineSpread / 2.0;
    const double right = st.circlineCenterX + st.circlineSpread / 2.0;
    const double top = st.circlineCenterY, bottom = st.circlineCenterY + st.circlineDrop;
    const int32_t colour = toInt32(st.circlineColor);
    Surface& p = pen.p;
    // Always outlined, a black guide too (as documented: the outline goes first, then both lines).
    p.setDrawWidth(pen.readable() ? pen.width(w) + 2 * pen.rim() : w + 2);
    const int32_t outline = pen.readable() ? pen.outlineOf(colour) : kBlack;
    p.line(left, top, left, bottom, outline);
    p.line(right, top, right, bottom, outline);
    p.setDrawWidth(pen.width(w));
    p.line(left, top, left, bottom, colour);
    p.line(right, top, right, bottom, colour);
    p.setDrawWidth(w);
}

void AnnotationRenderer::drawShapes(AnnotationPen& pen, int w) {
    Surface& p = pen.p;
    for (const ShapeObject& s : store_.Shape1) {
        if (!s.Visible) continue;
        if (s.Shape == ShapeObject::Rectangle) {
            if (pen.readable()) {
                p.setDrawWidth(pen.width(w) + 2 * pen.rim());
                p.box(s.Left, s.Top, s.Left + s.Width, s.Top + s.Height, pen.outlineOf(s.BorderColor));
                p.setDrawWidth(pen.width(w));
            } else if (s.BorderColor != kBlack) {
                const double off = 5.0 * w;
                p.box(s.Left + off, s.Top + off, s.Left + s.Width + off, s.Top + s.Height + off, kBlack);
            }
            p.box(s.Left, s.Top, s.Left + s.Width, s.Top + s.Height, s.BorderColor);
            p.setDrawWidth(w);
        } else {
            // An oval is drawn as a circle: the height only places the centre.
            const int32_t cx = toInt32(s.Left + s.Width / 2.0);
            const int32_t cy = toInt32(s.Top + s.Height / 2.0);
            const int32_t r = toInt32(s.Width / 2.0);
            if (pen.readable() || s.BorderColor != kBlack) {
                p.setDrawWidth(pen.readable() ? pen.width(w) + 2 * pen.rim() : w + 2);
                p.circle(cx, cy, r, pen.readable() ? pen.outlineOf(s.BorderColor) : kBlack);
            }
            p.setDrawWidth(pen.width(w));
            p.circle(cx, cy, r, s.BorderColor);
            p.setDrawWidth(w);
        }
    }
}

void AnnotationRenderer::drawCaptionAndClock(AnnotationPen& pen) {
    Surface& p = pen.p;
    p.setCurrentPosition(0, 0);
    p.setForeColor(props_.TVN_TextColor);
    if (!props_.TVN_Text.isEmpty()) pen.print(props_.TVN_Text, props_.TVN_TextColor, false);
    if (props_.TVN_DisplayClock) {
        const double seconds = (props_.TVN_CurrentPos - props_.tvn_ClockStartTimeMS) / 1000.0;
        pen.print(QString::number(seconds, 'f', 3) + QLatin1Char('s'), props_.TVN_TextColor, true);
    }
}

void AnnotationRenderer::drawGrid(Surface& p) {
    if (!props_.TVN_DisplayGrid) return;
    p.setDrawWidth(2);
    // The bound is 16-bit: a surface wider than 32767 twips overflows and ends the
    // redraw here. The counter stops at the bound, never past 16 bits.
    const int16_t width = toInt16(p.width());
    const int32_t step = props_.TVN_GridSpacing;
    if (step <= 0) return;  // 0 would never advance; a negative step never starts
    const double height = p.height();
    for (int32_t i = 0; i <= width; i += step) {
        p.line(i, 0, i, height, props_.TVN_GridColor);
        p.line(0, i, p.width(), i, props_.TVN_GridColor);
    }
}

void AnnotationRenderer::drawTexts(AnnotationPen& pen) {
    Surface& p = pen.p;
    for (const TextAnnotation& t : store_.textNotes) {
        if (t.text.isEmpty()) continue;
        p.setFontName(t.fontName);
        p.setFontSize(t.fontSize);
        p.setCurrentPosition(t.x, t.y);
        pen.print(t.text, t.color, false);
    }
}

}  // namespace tvn
