#pragma once

#include "media/PlanarPicture.h"

#include <QColor>
#include <QFont>
#include <QImage>
#include <QString>
#include <cstdint>
#include <map>
#include <vector>

class QPainter;

namespace tvn {

// Composes the picture the display shows and the frame operations hand out:
// the decoded frame, mirrored left to right when flipped, with the overlay
// bitmaps and captions laid over it. Everything is in the video's display
// pixels (VideoWidth x VideoHeight), so an overlay stays on the same spot of the
// picture whatever size the widget has.
//
// Overlay bitmaps: the bitmap is stretched to the rectangle (x, y, width,
// height) given in video pixels (width or height <= 0: the bitmap's own size);
// pixels of the key colour (0x00BBGGRR) are left out; alpha is the opacity of the
// rest, 0 (invisible) to 255 (opaque), and -1 means opaque. Slots are drawn in
// ascending order; a handle of 0 removes the slot.
//
// Captions: the text is drawn with its top-left corner at (x, y) video pixels,
// in the font and point size given, colour 0x00BBGGRR; a background of -1 leaves
// the picture visible behind the text, any other value fills the text's box.
//
// The display engine keeps one for what it shows; a copy of it (VideoEngine::
// composition) composes the same picture away from the screen (video export).
class FrameComposer {
public:
    static constexpr int32_t Opaque = -1;        // alpha: the overlay's own opacity
    static constexpr int32_t NoBackground = -1;  // caption background: none

    void setOverlay(int32_t slot, const QImage& bitmap, int x, int y, int width, int height, int32_t keyColour,
                    int32_t alpha);
    void removeOverlay(int32_t slot);
    void setCaption(int32_t slot, const QString& text, int x, int y, const QString& fontName, int fontSize,
                    int32_t colour, int32_t background);
    void setMirrored(bool mirrored) { mirrored_ = mirrored; }
    bool mirrored() const { return mirrored_; }
    bool isPlain() const { return !mirrored_ && overlays_.empty() && captions_.empty(); }
    void clear();

    // The composed picture; the frame itself (no copy) when there is nothing to add.
    QImage compose(const QImage& frame) const;
    // The same composition on a planar picture, in place: mirrored, then each
    // overlay piece and caption blended over it (PlanarPicture::blend).
    void compose(PlanarPicture& frame) const;

    // 0x00BBGGRR to a QColor.
    static QColor colourOf(int32_t bgr);

private:
    // An overlay is kept as the parts of it that show: bands of rows, each cut to
    // the columns that hold a pixel other than the key colour, so composing a
    // frame blends only where something is drawn (a few strokes over a 1080p
    // picture, not two million transparent pixels).
    struct Piece {
        QImage keyed;  // ARGB32 premultiplied, key colour transparent, alpha applied
        QRect rect;
    };
    struct Overlay {
        std::vector<Piece> pieces;
    };
    static constexpr int BandRows = 32;
    struct Caption {
        QString text;
        QPoint at;
        QFont font;
        QColor colour;
        QColor background;  // invalid: none
    };
    // A caption's box on a picture of the given size and the caption drawn in it
    // on transparency (for planar pictures).
    static QRect captionBox(const Caption& c, QPainter& painter, QSize picture);
    static void drawCaption(const Caption& c, QPainter& painter, const QRect& box);

    bool mirrored_ = false;
    std::map<int32_t, Overlay> overlays_;
    std::map<int32_t, Caption> captions_;
};

}  // namespace tvn
