#pragma once

#include <QString>
#include <QStringList>
#include <initializer_list>

namespace tvn::testing {

// One ordered log of every call that a control makes on its fake components
// and platform, as "VideoCapX1.Seek(334.333)" or "VideoCapX1.Option43 = 1".
class CallLog {
public:
    void add(const QString& entry) { entries_.append(entry); }
    void clear() { entries_.clear(); }
    const QStringList& entries() const { return entries_; }
    // Entries that start with the prefix, in order (for example "VideoMixerX1.").
    QStringList withPrefix(const QString& prefix) const;
    // The entries from the first one starting with `prefix` on.
    QStringList from(const QString& prefix) const;
    bool contains(const QString& entry) const { return entries_.contains(entry); }
    int count(const QString& entry) const { return static_cast<int>(entries_.count(entry)); }

    static QString arg(const QString& s) { return QLatin1Char('"') + s + QLatin1Char('"'); }
    static QString arg(double v) { return QString::number(v); }
    static QString arg(float v) { return QString::number(static_cast<double>(v)); }
    static QString arg(int v) { return QString::number(v); }
    static QString arg(short v) { return QString::number(v); }
    static QString arg(bool v) { return v ? QStringLiteral("True") : QStringLiteral("False"); }
    static QString call(const QString& object, const char* op, std::initializer_list<QString> args = {});

private:
    QStringList entries_;
};

}  // namespace tvn::testing
