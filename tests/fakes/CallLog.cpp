#include "fakes/CallLog.h"

namespace tvn::testing {

QStringList CallLog::withPrefix(const QString& prefix) const {
    QStringList out;
    for (const QString& e : entries_)
        if (e.startsWith(prefix)) out.append(e);
    return out;
}

QStringList CallLog::from(const QString& prefix) const {
    for (qsizetype i = 0; i < entries_.size(); ++i)
        if (entries_[i].startsWith(prefix)) return entries_.mid(i);
    return {};
}

QString CallLog::call(const QString& object, const char* op, std::initializer_list<QString> args) {
    QStringList list(args);
    return QStringLiteral("%1.%2(%3)").arg(object, QLatin1String(op), list.join(QStringLiteral(", ")));
}

}  // namespace tvn::testing
