#pragma once

#include "core/TvnError.h"

#include <QJsonArray>
#include <QJsonValue>
#include <QString>
#include <cstdint>
#include <limits>

namespace tvn::analysis {

// One value of an analysis document being read, with its path in the document
// ("drawings.lines[3].x1"): every accessor checks the value's type and range and
// throws invalid(path, ...) when it does not fit. Coordinates in a document are
// limited to +-kCoordinateLimit picture pixels.
class DocumentReader {
public:
    static constexpr double kCoordinateLimit = 1e7;  // far beyond any picture, short of int32 twips

    // A TvnError InvalidCall naming where in the document the fault is.
    static TvnError invalid(const QString& where, const QString& what);

    DocumentReader(QJsonValue value, QString path);

    DocumentReader operator[](const char* key) const;
    bool has(const char* key) const;
    DocumentReader at(int i) const;
    QJsonArray array(int exactly = -1) const;
    int size() const;
    double number(double lo = -std::numeric_limits<double>::max(), double hi = std::numeric_limits<double>::max()) const;
    int64_t integer(double lo, double hi) const;
    int32_t int32() const;
    int16_t int16() const;
    bool boolean() const;
    QString string() const;
    const QString& path() const { return path_; }

private:
    QJsonValue value_;
    QString path_;
};

}  // namespace tvn::analysis
