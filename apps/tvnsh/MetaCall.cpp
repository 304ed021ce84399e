#include "MetaCall.h"

#include "ShellError.h"
#include "ValueText.h"

namespace tvnsh {

namespace {

bool isByRef(const QMetaMethod& m, int i) { return m.parameterTypeName(i).endsWith('&'); }

}  // namespace

// The meta-object leaves a by-reference parameter's type unresolved, so it is
// looked up by the name without the '&'.
QMetaType MetaCall::parameterType(const QMetaMethod& m, int i) {
    const QMetaType direct = m.parameterMetaType(i);
    if (direct.isValid()) return direct;
    QByteArray name = m.parameterTypeName(i);
    if (name.endsWith('&')) name.chop(1);
    if (name == "int16_t") return QMetaType::fromType<int16_t>();
    if (name == "int32_t") return QMetaType::fromType<int32_t>();
    return QMetaType::fromName(name);
}

QMetaMethod MetaCall::find(const QObject& object, const QString& name) {
    const QMetaObject* meta = object.metaObject();
    for (int i = meta->methodOffset(); i < meta->methodCount(); ++i) {
        const QMetaMethod m = meta->method(i);
        if (m.methodType() == QMetaMethod::Method && QLatin1String(m.name()) == name) return m;
    }
    return {};
}

QVariant MetaCall::invoke(QObject* object, const QMetaMethod& method, const QStringList& argWords,
                          QList<QPair<QString, QVariant>>& byRef, bool& hasResult) {
    const int n = method.parameterCount();
    if (argWords.size() != n)
        throw ShellError{kWrongArgumentCount, QStringLiteral("%1 takes %2 argument(s), %3 given")
                                                  .arg(QLatin1String(method.name()))
                                                  .arg(n)
                                                  .arg(argWords.size())};
    QList<QVariant> args;
    for (int i = 0; i < n; ++i) {
        QVariant v;
        if (!ValueText::convert(ValueText::parse(argWords[i]), parameterType(method, i), v))
            throw ShellError{kTypeMismatch, QStringLiteral("argument %1 '%2' does not fit %3")
                                                .arg(QString::fromUtf8(method.parameterNames().value(i)), argWords[i],
                                                     ValueText::typeName(parameterType(method, i)))};
        args.append(v);
    }
    hasResult = method.returnMetaType().id() != QMetaType::Void;
    QVariant result = hasResult ? QVariant(method.returnMetaType()) : QVariant();
    QList<void*> argv;
    argv.append(hasResult ? result.data() : nullptr);
    for (QVariant& v : args) argv.append(v.data());
    // Invoked by index so the method works on the very variables above: by-reference
    // arguments come back as the method left them.
    QMetaObject::metacall(object, QMetaObject::InvokeMetaMethod, method.methodIndex(), argv.data());
    for (int i = 0; i < n; ++i)
        if (isByRef(method, i)) byRef.append({QString::fromUtf8(method.parameterNames().value(i)), args[i]});
    return result;
}

QString MetaCall::describe(const QMetaMethod& m) {
    QStringList params;
    for (int i = 0; i < m.parameterCount(); ++i)
        params.append(QStringLiteral("%1 %2 As %3")
                          .arg(isByRef(m, i) ? QStringLiteral("ByRef") : QStringLiteral("ByVal"),
                               QString::fromUtf8(m.parameterNames().value(i)),
                               ValueText::typeName(parameterType(m, i))));
    QString text = QStringLiteral("%1(%2)").arg(QLatin1String(m.name()), params.join(QLatin1String(", ")));
    if (m.returnMetaType().id() != QMetaType::Void) text += QStringLiteral(" As ") + ValueText::typeName(m.returnMetaType());
    return text;
}

}  // namespace tvnsh
