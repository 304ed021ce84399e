#pragma once

#include "core/TrelvanExport.h"

#include <QMetaType>
#include <QString>
#include <QStringList>

namespace tvn {

// An ordered list of strings indexed from 1, as hosts know it.
// Item and Remove outside 1..Count raise "Subscript out of range" (9).
class TVN_EXPORT Collection {
public:
    Collection() = default;
    explicit Collection(QStringList items) : items_(std::move(items)) {}

    void Add(const QString& item) { items_.append(item); }
    QString Item(int32_t index) const;
    int32_t Count() const { return static_cast<int32_t>(items_.size()); }
    void Remove(int32_t index);

    const QStringList& items() const { return items_; }
    bool operator==(const Collection& other) const { return items_ == other.items_; }

private:
    QStringList items_;
};

}  // namespace tvn

Q_DECLARE_METATYPE(tvn::Collection)
