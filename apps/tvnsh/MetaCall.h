#pragma once

#include <QList>
#include <QMetaMethod>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QVariant>

namespace tvnsh {

// Calls an object's methods by name through its meta-object, with arguments
// given as statement words: each converted to the parameter's type, the
// method invoked by index on those very values, so that by-reference
// arguments come back as the method left them.
class MetaCall {
public:
    // The object's own (not inherited) invokable method of that name; invalid when none.
    static QMetaMethod find(const QObject& object, const QString& name);
    // Invokes method; the result (invalid for void, hasResult false) and the by-reference arguments.
    static QVariant invoke(QObject* object, const QMetaMethod& method, const QStringList& argWords,
                           QList<QPair<QString, QVariant>>& byRef, bool& hasResult);
    // "Name(ByVal a As Long, ByRef b As Single) As Boolean", the way a host's documentation shows it.
    static QString describe(const QMetaMethod& method);
    // The value type of parameter i.
    static QMetaType parameterType(const QMetaMethod& method, int i);
};

}  // namespace tvnsh
