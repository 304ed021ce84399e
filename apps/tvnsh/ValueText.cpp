#include "ValueText.h"

#include "core/Collection.h"
#include "core/Picture.h"

#include <cmath>
#include <limits>
#include <cstdio>

namespace tvnsh {

bool ValueText::split(const QString& line, QStringList& words, QString& error) {
    words.clear();
    QString current;
    bool inWord = false, inQuote = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar ch = line[i];
        if (inQuote) {
            if (ch == u'\\' && i + 1 < line.size() && (line[i + 1] == u'"' || line[i + 1] == u'\\')) {
                current += line[++i];
            } else if (ch == u'"') {
                inQuote = false;
            } else {
                current += ch;
            }
        } else if (ch.isSpace()) {
            if (inWord) words.append(current);
            current.clear();
            inWord = false;
        } else if (ch == u'"') {
            inQuote = inWord = true;
            current += QChar(0xE000);  // marks a quoted word: it stays a string
        } else {
            current += ch;
            inWord = true;
        }
    }
    if (inQuote) {
        error = QStringLiteral("unterminated quote");
        return false;
    }
    if (inWord) words.append(current);
    return true;
}

QVariant ValueText::parse(const QString& word) {
    if (word.contains(QChar(0xE000))) return QString(word).remove(QChar(0xE000));
    if (word.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0) return true;
    if (word.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0) return false;
    bool ok = false;
    const qlonglong i = word.toLongLong(&ok);
    if (ok) return i;
    const double d = word.toDouble(&ok);
    if (ok) return d;
    return word;
}

bool ValueText::convert(const QVariant& value, QMetaType type, QVariant& out) {
    const int id = type.id();
    if (id == QMetaType::QVariant) {
        out = value;
        return true;
    }
    if (id == QMetaType::Bool) {
        if (value.typeId() == QMetaType::Bool) {
            out = value;
            return true;
        }
        if (value.typeId() == QMetaType::LongLong) {
            out = value.toLongLong() != 0;
            return true;
        }
        return false;
    }
    if (id == QMetaType::Short || id == QMetaType::Int) {
        if (value.typeId() != QMetaType::LongLong && value.typeId() != QMetaType::Bool &&
            value.typeId() != QMetaType::Double)
            return false;
        const double v = value.typeId() == QMetaType::Bool ? (value.toBool() ? -1 : 0) : value.toDouble();
        const double lo = id == QMetaType::Short ? -32768.0 : -2147483648.0;
        const double hi = id == QMetaType::Short ? 32767.0 : 2147483647.0;
        const double r = std::nearbyint(v);
        if (!(r >= lo && r <= hi)) return false;  // NaN too: no whole number, no cast of it
        out = QVariant(type);
        if (id == QMetaType::Short) *static_cast<short*>(out.data()) = static_cast<short>(r);
        else *static_cast<int*>(out.data()) = static_cast<int>(r);
        return true;
    }
    if (id == QMetaType::Double || id == QMetaType::Float) {
        if (value.typeId() != QMetaType::LongLong && value.typeId() != QMetaType::Double) return false;
        const double v = value.toDouble();
        // A finite double beyond a Single's range has no Single (the cast would be undefined).
        if (id == QMetaType::Float && std::isfinite(v) && std::fabs(v) > std::numeric_limits<float>::max())
            return false;
        out = QVariant(type);
        if (id == QMetaType::Double) *static_cast<double*>(out.data()) = v;
        else *static_cast<float*>(out.data()) = static_cast<float>(v);
        return true;
    }
    if (id == QMetaType::QString) {
        out = value.typeId() == QMetaType::Bool ? QVariant(value.toBool() ? QStringLiteral("True")
                                                                          : QStringLiteral("False"))
                                                : QVariant(value.toString());
        return true;
    }
    if (type == QMetaType::fromType<tvn::Picture>()) {
        // A picture is given as the path of an image file; an empty string is nothing.
        const QString path = value.toString();
        out = QVariant::fromValue(path.isEmpty() ? tvn::Picture() : tvn::Picture(QImage(path)));
        return true;
    }
    if (type == QMetaType::fromType<tvn::Collection>()) {
        // A collection is given as a comma-separated list of names.
        const QString text = value.toString();
        out = QVariant::fromValue(tvn::Collection(text.isEmpty() ? QStringList() : text.split(u',')));
        return true;
    }
    return false;
}

QString ValueText::quote(const QString& s) {
    QString out = s;
    out.replace(QLatin1String("\\"), QLatin1String("\\\\")).replace(QLatin1String("\""), QLatin1String("\\\""));
    return QLatin1Char('"') + out + QLatin1Char('"');
}

QString ValueText::format(QMetaType type, const void* data) {
    const int id = type.id();
    char buffer[64];
    switch (id) {
    case QMetaType::Short: return QString::number(*static_cast<const short*>(data));
    case QMetaType::Int: return QString::number(*static_cast<const int*>(data));
    case QMetaType::LongLong: return QString::number(*static_cast<const qlonglong*>(data));
    case QMetaType::Double:
        std::snprintf(buffer, sizeof buffer, "%.15g", *static_cast<const double*>(data));
        return QString::fromLatin1(buffer);
    case QMetaType::Float:
        std::snprintf(buffer, sizeof buffer, "%.7g", static_cast<double>(*static_cast<const float*>(data)));
        return QString::fromLatin1(buffer);
    case QMetaType::Bool: return *static_cast<const bool*>(data) ? QStringLiteral("True") : QStringLiteral("False");
    case QMetaType::QString: return quote(*static_cast<const QString*>(data));
    case QMetaType::QVariant: return format(*static_cast<const QVariant*>(data));
    default: break;
    }
    if (type == QMetaType::fromType<tvn::Collection>()) {
        QStringList items;
        for (const QString& s : static_cast<const tvn::Collection*>(data)->items()) items.append(quote(s));
        return QLatin1Char('[') + items.join(QLatin1String(", ")) + QLatin1Char(']');
    }
    if (type == QMetaType::fromType<tvn::Picture>()) {
        const auto* p = static_cast<const tvn::Picture*>(data);
        return p->isNothing() ? QStringLiteral("Nothing") : QStringLiteral("Picture(%1x%2)").arg(p->width()).arg(p->height());
    }
    return QStringLiteral("<%1>").arg(QLatin1String(type.name()));
}

QString ValueText::format(const QVariant& value) {
    if (!value.isValid()) return QStringLiteral("(empty)");
    return format(value.metaType(), value.constData());
}

QString ValueText::typeName(QMetaType type) {
    switch (type.id()) {
    case QMetaType::Short: return QStringLiteral("Integer");
    case QMetaType::Int: return QStringLiteral("Long");
    case QMetaType::Float: return QStringLiteral("Single");
    case QMetaType::Double: return QStringLiteral("Double");
    case QMetaType::Bool: return QStringLiteral("Boolean");
    case QMetaType::QString: return QStringLiteral("String");
    case QMetaType::QVariant: return QStringLiteral("Variant");
    default: break;
    }
    if (type == QMetaType::fromType<tvn::Collection>()) return QStringLiteral("Collection");
    if (type == QMetaType::fromType<tvn::Picture>()) return QStringLiteral("Picture");
    return QLatin1String(type.name());
}

}  // namespace tvnsh
