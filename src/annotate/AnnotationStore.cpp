#include "annotate/AnnotationStore.h"

namespace tvn {

void AnnotationStore::recordHistory(HistoryKind kind) {
    historyKinds[static_cast<size_t>(historyPos)] = kind;
    historyPos = historyPos >= kHistorySize - 1 ? 0 : historyPos + 1;
}

}  // namespace tvn
