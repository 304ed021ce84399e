#pragma once

#include "core/Picture.h"

#include <QString>
#include <QVariant>
#include <cstdint>

namespace tvn {

class Surface;
class VideoEngine;

class AnnotationRedraw;
class AnnotationStore;

// The editing commands: redraw, erase the free-hand layer, erase everything, undo, redo.
class AnnotationEditor {
public:
    // The host's properties it reads (const) and writes.
    struct Properties {
        const bool& TVN_DoDeinterlace;
        QString& TVN_AngleText;
    };

    // What it edits besides the store.
    struct Drives {
        VideoEngine& display;  // the display engine: the clip the user sees
        Surface& freeHandLayer;  // free-hand strokes, white where nothing is drawn, combined into the annotation layer
    };

    AnnotationEditor(Properties props, Drives drives, AnnotationStore& store, AnnotationRedraw& redraw)
        : props_(props), drives_(drives), store_(store), redraw_(redraw) {}

    QVariant TVN_ReDraw();
    QVariant TVN_EraseFreeHand();
    QVariant TVN_EraseAll();
    QVariant TVN_Undo();
    QVariant TVN_Redo();

private:
    Properties props_;
    Drives drives_;
    AnnotationStore& store_;
    AnnotationRedraw& redraw_;
};

}  // namespace tvn
