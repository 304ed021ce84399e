#pragma once

#include <QString>

namespace tvnsh {

// A statement the shell cannot carry out, with the host's error number for it.
struct ShellError {
    int number;
    QString description;
};

constexpr int kWrongArgumentCount = 450;
constexpr int kTypeMismatch = 13;
constexpr int kNoSuchMember = 438;

// A statement's word read as a whole number (kTypeMismatch when it is none).
inline int toInt(const QString& word) {
    bool ok = false;
    const int v = word.toInt(&ok);
    if (!ok) throw ShellError{kTypeMismatch, QStringLiteral("'%1' is not a whole number").arg(word)};
    return v;
}

}  // namespace tvnsh
