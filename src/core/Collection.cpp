#include "core/Collection.h"

#include "core/TvnError.h"

namespace tvn {

namespace {
void checkIndex(int32_t index, qsizetype count) {
    if (index < 1 || index > count)
        throw TvnError(err::SubscriptOutOfRange,
                       QStringLiteral("Subscript out of range: item %1 of a collection of %2").arg(index).arg(count),
                       QStringLiteral("Collection"));
}
}  // namespace

QString Collection::Item(int32_t index) const {
    checkIndex(index, items_.size());
    return items_.at(index - 1);
}

void Collection::Remove(int32_t index) {
    checkIndex(index, items_.size());
    items_.removeAt(index - 1);
}

}  // namespace tvn
