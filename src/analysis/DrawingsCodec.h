#pragma once

#include "analysis/DocumentReader.h"
#include "annotate/AnnotationStore.h"

#include <QImage>
#include <QJsonObject>

namespace tvn::analysis {

// The drawings of an analysis document: the annotation store and the free-hand
// picture to a JSON object in picture pixels and back. twipsPerPixelX/Y are
// those of the screen the store's twips belong to. Stateless; any thread.
class DrawingsCodec {
public:
    static QJsonObject encode(const AnnotationStore& store, const QImage& freeHand, double twipsPerPixelX,
                              double twipsPerPixelY);
    // Every value checked (DocumentReader); store and freeHand are filled in.
    static void decode(const DocumentReader& drawings, double twipsPerPixelX, double twipsPerPixelY,
                       AnnotationStore& store, QImage& freeHand);
};

}  // namespace tvn::analysis
