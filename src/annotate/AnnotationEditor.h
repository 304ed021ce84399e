#pragma once

#include "core/Picture.h"

#include <QString>
#include <QVariant>
#include <cstdint>

namespace tvn {

class Trelvan;

// The editing commands: redraw, erase the free-hand layer, erase everything, undo, redo.
class AnnotationEditor {
public:
    explicit AnnotationEditor(Trelvan& control) : c_(control) {}

    QVariant TVN_ReDraw();
    QVariant TVN_EraseFreeHand();
    QVariant TVN_EraseAll();
    QVariant TVN_Undo();
    QVariant TVN_Redo();

private:
    Trelvan& c_;
};

}  // namespace tvn
