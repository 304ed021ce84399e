#include "annotate/AnnotationEditor.h"

#include "annotate/AnnotationStore.h"
#include "control/AnnotationRedraw.h"
#include "core/TvnError.h"
#include "media/VideoEngine.h"
#include "platform/Surface.h"

namespace tvn {

QVariant AnnotationEditor::TVN_ReDraw() {
    return withPrefix("TVN_ReDraw", [&] {
        drives_.display.SetDeinterlace(props_.TVN_DoDeinterlace ? 1 : 0);
        redraw_.redrawAnnotations();
        return QVariant();
    });
}

QVariant AnnotationEditor::TVN_EraseFreeHand() {
    return withPrefix("TVN_EraseFreeHand", [&] {
        drives_.freeHandLayer.clearTo(0xFFFFFF);
        redraw_.redrawAnnotations();
        return QVariant();
    });
}

QVariant AnnotationEditor::TVN_EraseAll() {
    return withPrefix("TVN_EraseAll", [&] {
        drives_.freeHandLayer.clearTo(0xFFFFFF);
        AnnotationStore& st = store_;
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
        props_.TVN_AngleText.clear();
        st.historyPos = 0;
        st.textSlot = 0;
        st.nextLineSlot = 0;
        st.nextShapeSlot = 0;
        st.nextAngleSlot = 0;
        st.circlineShape = -1;
        st.lightMouseShown = false;
        redraw_.redrawAnnotations();
        return QVariant();
    });
}

namespace {
constexpr int16_t kLastSlot = AnnotationStore::kPoolSize - 1;

// Hides the newest item of a pool and moves its counter back (0 wraps to 20).
template <class Pool>
void hideNewest(Pool& pool, int16_t& nextSlot) {
    nextSlot = nextSlot < 1 ? kLastSlot : static_cast<int16_t>(nextSlot - 1);
    pool.at(static_cast<size_t>(nextSlot)).Visible = false;
}

// Shows the slot at the counter again and advances it; false when it is already
// shown (nothing to redo).
template <class Pool>
bool showNext(Pool& pool, int16_t& nextSlot) {
    auto& item = pool.at(static_cast<size_t>(nextSlot));
    if (item.Visible) return false;
    item.Visible = true;
    nextSlot = AnnotationStore::nextPoolSlot(nextSlot);
    return true;
}
}  // namespace

// Undo and redo move the history ring and the pools' slot counters together;
// they hide and show slots and never delete coordinates, except that an undone
// text is cleared for good.
QVariant AnnotationEditor::TVN_Undo() {
    return withPrefix("TVN_Undo", [&] {
        AnnotationStore& st = store_;
        st.historyPos = st.historyPos < 1 ? AnnotationStore::kHistorySize - 1 : st.historyPos - 1;
        switch (st.historyKinds.at(static_cast<size_t>(st.historyPos))) {
        case HistoryLine: hideNewest(st.Lines, st.nextLineSlot); break;
        case HistoryShape: hideNewest(st.Shape1, st.nextShapeSlot); break;
        case HistoryText:
            st.textNotes.at(static_cast<size_t>(st.textSlot)).text.clear();
            st.textSlot = st.textSlot < 1 ? kLastSlot : static_cast<int16_t>(st.textSlot - 1);
            break;
        case HistoryAngle:
            st.nextAngleSlot = st.nextAngleSlot < 1 ? kLastSlot : static_cast<int16_t>(st.nextAngleSlot - 1);
            st.angleNotes.at(static_cast<size_t>(st.nextAngleSlot)).shown = false;
            break;
        default: break;
        }
        redraw_.redrawAnnotations();
        return QVariant();
    });
}

QVariant AnnotationEditor::TVN_Redo() {
    return withPrefix("TVN_Redo", [&] {
        AnnotationStore& st = store_;
        switch (st.historyKinds.at(static_cast<size_t>(st.historyPos))) {
        case HistoryLine:
            if (!showNext(st.Lines, st.nextLineSlot)) return QVariant();
            break;
        case HistoryShape:
            if (!showNext(st.Shape1, st.nextShapeSlot)) return QVariant();
            break;
        case HistoryAngle: {
            AngleAnnotation& a = st.angleNotes.at(static_cast<size_t>(st.nextAngleSlot));
            if (a.shown) return QVariant();
            a.shown = true;
            st.nextAngleSlot = AnnotationStore::nextPoolSlot(st.nextAngleSlot);
            break;
        }
        default: break;  // an undone text is gone; nothing to restore
        }
        st.historyPos = st.historyPos >= AnnotationStore::kHistorySize - 1 ? 0 : st.historyPos + 1;
        redraw_.redrawAnnotations();
        return QVariant();
    });
}

}  // namespace tvn
