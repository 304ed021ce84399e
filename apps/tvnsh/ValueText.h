#pragma once

#include <QMetaType>
#include <QString>
#include <QStringList>
#include <QVariant>

namespace tvnsh {

// Text forms of the control's values, as the scripting shell reads and prints them.
class ValueText {
public:
    // Splits a statement into words: "quoted strings" (with \" and \\) are one word.
    // Returns false with `error` set on an unterminated quote.
    static bool split(const QString& line, QStringList& words, QString& error);
    // A word as typed: integer, decimal, True/False, or a string (quoted or bare).
    static QVariant parse(const QString& word);
    // Converts a parsed word to the given type; false when it does not fit.
    static bool convert(const QVariant& value, QMetaType type, QVariant& out);
    // Integers in decimal, Double %.15g, Single %.7g, True/False, strings quoted,
    // ["a", "b"] for a collection, Picture(WxH) or Nothing, (empty) for an empty Variant.
    static QString format(const QVariant& value);
    static QString format(QMetaType type, const void* data);
    // The host's name of a type: Integer, Long, Single, Double, Boolean, String, Variant,
    // Collection, Picture.
    static QString typeName(QMetaType type);
    static QString quote(const QString& s);
};

}  // namespace tvnsh
