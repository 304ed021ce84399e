#include "annotate/TextTool.h"

#include "annotate/AnnotationStore.h"
#include "annotate/ToolContext.h"
#include "core/Numeric.h"

namespace tvn {

void TextTool::press(ToolContext& ctx, float x, float y) const {
    AnnotationStore& st = ctx.store();
    st.recordHistory(HistoryText);
    st.textSlot = AnnotationStore::nextPoolSlot(st.textSlot);
    TextAnnotation& t = st.textNotes.at(static_cast<size_t>(st.textSlot));
    t.x = toInt32(x);
    t.y = toInt32(y - 100.0f);  // the text's top is 100 twips above the pointer
    t.fontSize = ctx.textFontSize();
    t.fontName = ctx.textFontName();
    t.color = ctx.textColor();
    t.text = QString(AnnotationStore::kCaret);
    st.textTyping = true;
}

bool TextTool::drag(ToolContext&, float, float) const { return false; }

}  // namespace tvn
