#pragma once

#include "control/KiteTail.h"

#include <QLineF>
#include <QList>
#include <QString>
#include <array>
#include <cstdint>
#include <optional>

namespace tvn {

// A line of the line pool, or one of the two arms of the angle being drawn.
// Coordinates in twips on the annotation surface.
struct LineObject {
    float X1 = 0, Y1 = 0, X2 = 0, Y2 = 0;
    int32_t BorderColor = 0;
    bool Visible = false;
};

// A rectangle (Shape 0) or oval (Shape 2) of the shape pool.
struct ShapeObject {
    static constexpr int16_t Rectangle = 0;
    static constexpr int16_t Oval = 2;
    int16_t Shape = Rectangle;
    float Left = 0, Top = 0, Width = 0, Height = 0;
    int32_t BorderColor = 0;
    bool Visible = false;
};

struct AngleAnnotation {
    int32_t x1 = 0, y1 = 0;  // first arm start
    int32_t x2 = 0, y2 = 0;  // first arm end; where the text is printed
    int32_t x3 = 0, y3 = 0;  // second arm start
    int32_t x4 = 0, y4 = 0;  // second arm end
    int16_t kind = 0;        // 1 once committed
    QString text;
    int32_t color = 0;
    QString fontName;
    int16_t fontSize = 0;
    bool shown = false;
};

struct TextAnnotation {
    QString text;  // empty: the slot holds no text
    int32_t x = 0, y = 0;
    int32_t color = 0;
    QString fontName;
    int16_t fontSize = 0;
};

// What a history entry recorded; only the kind, the slot follows from the pool's counter.
enum HistoryKind : int16_t { HistoryLine = 0, HistoryShape = 1, HistoryText = 2, HistoryAngle = 3 };

// Every drawing the control shows over the video: fixed pools used as rings,
// the single marks, the tracking trail and the undo history. Plain data: the
// pointer handlers, key typing, editing commands and tracking write it, the
// renderer reads it. The free-hand strokes live as pixels on the free-hand
// surface, not here.
class AnnotationStore {
public:
    static constexpr int kPoolSize = 21;     // slots 0..20
    static constexpr int kHistorySize = 81;  // entries 0..80
    static constexpr QChar kCaret = u'_';

    // Slot after `slot` in a pool ring (20 wraps to 0).
    static int16_t nextPoolSlot(int16_t slot) { return slot >= kPoolSize - 1 ? 0 : slot + 1; }
    // Writes a history code at historyPos and advances it (80 wraps to 0).
    void recordHistory(HistoryKind kind);
    // The line of the line pool placed last that is still shown and has a
    // length (twips): the ring walked back from the counter, the line being
    // drawn left out. None once every line is erased, undone or only a dot.
    std::optional<QLineF> newestLine() const;

    // Two calls make one line: the first starts Lines[nextLineSlot] at (x, y) in
    // `colour` with history code 0 and opens the placement; the second closes it
    // and advances nextLineSlot, leaving the end where the drag put it.
    void PlaceLinePoint(float x, float y, int32_t colour);
    // Two calls make one shape, likewise: the first starts a 1 x 1 `shape`
    // (ShapeObject::Oval or Rectangle) in Shape1[nextShapeSlot] with history code 1
    // and its anchor; the second closes it and advances nextShapeSlot.
    // An anchor beyond 32767 twips overflows before the size is set.
    void PlaceShapePoint(float x, float y, int16_t shape, int32_t colour);

    // The line pool and its counter.
    std::array<LineObject, kPoolSize> Lines{};
    int16_t nextLineSlot = 0;

    // The shape pool, its counter and the start point of each shape (rounded Left/Top).
    std::array<ShapeObject, kPoolSize> Shape1{};
    int16_t nextShapeSlot = 0;
    std::array<int16_t, kPoolSize> shapeAnchorX{};
    std::array<int16_t, kPoolSize> shapeAnchorY{};

    // The angle being drawn: Angle1's Visible says an angle is in progress; its
    // BorderColor is the colour of both arms.
    LineObject Angle1;
    LineObject Angle2;

    std::array<AngleAnnotation, kPoolSize> angleNotes{};
    int16_t nextAngleSlot = 0;

    std::array<TextAnnotation, kPoolSize> textNotes{};
    int16_t textSlot = 0;     // slot of the newest text (advanced before writing)
    bool textTyping = false;  // typed keys go into textNotes[textSlot]

    std::array<int16_t, kHistorySize> historyKinds{};
    int16_t historyPos = 0;

    // Target cross-hair.
    int32_t targetX = 0, targetY = 0;

    // Light-mouse arrow.
    float lightMouseX = 0, lightMouseY = 0;
    int32_t lightMouseColor = 0;
    bool lightMouseLeft = false;
    bool lightMouseShown = false;

    // Circline guide: a circle of the shape pool with two guide lines hanging from it.
    int16_t circlineShape = -1;
    float circlineTop = 0, circlineLeft = 0;
    float circlineCenterX = 0, circlineCenterY = 0;
    float circlineSpread = 0, circlineDrop = 0;
    float circlineColor = 0;  // a colour held in a Single; converted back when drawn

    // Previous point of the free-hand stroke in progress; both 0: none.
    int16_t freeHandLastX = 0, freeHandLastY = 0;

    // Tracking trail, created on first use.
    QList<KiteTail> trackTrail;
    bool trackTrailCreated = false;

    // Two-step placement in progress; angle started with "qangle".
    bool placementOpen = false;
    bool quickAngle = false;
};

}  // namespace tvn
