#include "annotate/AnnotationStore.h"

#include "core/Numeric.h"
#include "core/TvnError.h"

namespace tvn {

void AnnotationStore::recordHistory(HistoryKind kind) {
    historyKinds[static_cast<size_t>(historyPos)] = kind;
    historyPos = historyPos >= kHistorySize - 1 ? 0 : historyPos + 1;
}

std::optional<QLineF> AnnotationStore::newestLine() const {
    for (int back = 1; back <= kPoolSize; ++back) {
        const int slot = (nextLineSlot - back + 2 * kPoolSize) % kPoolSize;
        const LineObject& l = Lines[size_t(slot)];
        if (l.Visible && (l.X1 != l.X2 || l.Y1 != l.Y2)) return QLineF(l.X1, l.Y1, l.X2, l.Y2);
    }
    return std::nullopt;
}

void AnnotationStore::PlaceLinePoint(float x, float y, int32_t colour) {
    withPrefix("PlaceLinePoint", [&] {
        if (placementOpen) {
            placementOpen = false;
            nextLineSlot = nextPoolSlot(nextLineSlot);
            return;
        }
        placementOpen = true;
        recordHistory(HistoryLine);
        LineObject& line = Lines.at(static_cast<size_t>(nextLineSlot));
        line.Visible = true;
        line.BorderColor = colour;
        line.X1 = line.X2 = x;
        line.Y1 = line.Y2 = y;
    });
}

void AnnotationStore::PlaceShapePoint(float x, float y, int16_t shape, int32_t colour) {
    withPrefix("PlaceShapePoint", [&] {
        if (placementOpen) {
            placementOpen = false;
            nextShapeSlot = nextPoolSlot(nextShapeSlot);
            return;
        }
        const auto slot = static_cast<size_t>(nextShapeSlot);
        ShapeObject& s = Shape1.at(slot);
        s.Shape = shape;
        recordHistory(HistoryShape);
        placementOpen = true;
        s.BorderColor = colour;
        s.Visible = true;
        s.Top = y;
        s.Left = x;
        shapeAnchorX.at(slot) = toInt16(s.Left);
        shapeAnchorY.at(slot) = toInt16(s.Top);
        s.Width = 1;
        s.Height = 1;
    });
}

}  // namespace tvn
