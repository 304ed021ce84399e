#pragma once

#include "core/Picture.h"

#include <QString>
#include <QVariant>
#include <cstdint>

namespace tvn {

class AnnotationRedraw;
class AnnotationStore;
struct ControlParts;
struct ControlProperties;

// The editing commands: redraw, erase the free-hand layer, erase everything, undo, redo.
class AnnotationEditor {
public:
    AnnotationEditor(ControlProperties& props, ControlParts& parts, AnnotationStore& store, AnnotationRedraw& redraw)
        : props_(props), parts_(parts), store_(store), redraw_(redraw) {}

    QVariant TVN_ReDraw();
    QVariant TVN_EraseFreeHand();
    QVariant TVN_EraseAll();
    QVariant TVN_Undo();
    QVariant TVN_Redo();

private:
    ControlProperties& props_;
    ControlParts& parts_;
    AnnotationStore& store_;
    AnnotationRedraw& redraw_;
};

}  // namespace tvn
