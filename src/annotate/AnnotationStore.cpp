#include "annotate/AnnotationStore.h"

#include "core/Numeric.h"
#include "core/TvnError.h"

namespace tvn {

void AnnotationStore::recordHistory(HistoryKind kind) {
    historyKinds[static_cast<size_t>(historyPos)] = kind;
    historyPos = historyPos >= kHistorySize - 1 ? 0 : historyPos + 1;
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

void AnnotationStore::PlaceShapePoint(float x, float y, const QString& tool, int32_t colour) {
    withPrefix("PlaceShapePoint", [&] {
        if (placementOpen) {
            placementOpen = false;
            nextShapeSlot = nextPoolSlot(nextShapeSlot);
            return;
        }
        const auto slot = static_cast<size_t>(nextShapeSlot);
        ShapeObject& shape = Shape1.at(slot);
        const bool oval = tool == QLatin1String("circle") || tool == QLatin1String("circline");
        shape.Shape = oval ? ShapeObject::Oval : ShapeObject::Rectangle;
        recordHistory(HistoryShape);
        placementOpen = true;
        shape.BorderColor = colour;
        shape.Visible = true;
        shape.Top = y;
        shape.Left = x;
        shapeAnchorX.at(slot) = toInt16(shape.Left);
        shapeAnchorY.at(slot) = toInt16(shape.Top);
        shape.Width = 1;
        shape.Height = 1;
    });
}

}  // namespace tvn
