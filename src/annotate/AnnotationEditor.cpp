#include "annotate/AnnotationEditor.h"

#include "control/Trelvan.h"
#include "core/TvnError.h"
#include "annotate/AnnotationRenderer.h"
#include "annotate/AnnotationStore.h"
#include "platform/Surface.h"

namespace tvn {

QVariant AnnotationEditor::TVN_ReDraw() {
    throw TvnError::notImplemented("TVN_ReDraw");
}

QVariant AnnotationEditor::TVN_EraseFreeHand() {
    return withPrefix("TVN_EraseFreeHand", [&] {
        c_.Picture2->clearTo(0xFFFFFF);
        c_.renderer_->RedrawAnnotations();
        return QVariant();
    });
}

QVariant AnnotationEditor::TVN_EraseAll() {
    return withPrefix("TVN_EraseAll", [&] {
        c_.Picture2->clearTo(0xFFFFFF);
        AnnotationStore& st = *c_.store_;
        for (LineObject& line : st.Lines) line = LineObject{0, 0, 0, 0, line.BorderColor, false};
        for (ShapeObject& shape : st.Shape1) {
            shape.Visible = false;
            shape.Width = 0;
            shape.Height = 0;
        }
        for (AngleAnnotation& angle : st.angleNotes) angle.shown = false;
        for (TextAnnotation& text : st.textNotes) text.text.clear();
        st.Angle1.Visible = false;
        st.Angle2.Visible = false;
        c_.TVN_AngleText.clear();
        st.historyPos = 0;
        st.textSlot = 0;
        st.nextLineSlot = 0;
        st.nextShapeSlot = 0;
        st.nextAngleSlot = 0;
        st.circlineShape = -1;
        st.lightMouseShown = false;
        c_.renderer_->RedrawAnnotations();
        return QVariant();
    });
}

QVariant AnnotationEditor::TVN_Undo() {
    throw TvnError::notImplemented("TVN_Undo");
}

QVariant AnnotationEditor::TVN_Redo() {
    throw TvnError::notImplemented("TVN_Redo");
}

}  // namespace tvn
