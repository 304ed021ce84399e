#include "analysis/DocumentReader.h"

#include <QJsonObject>
#include <cmath>

namespace tvn::analysis {

TvnError DocumentReader::invalid(const QString& where, const QString& what) {
    return TvnError(err::InvalidCall, QStringLiteral("%1: %2").arg(where, what), QStringLiteral("AnalysisDocument"));
}

DocumentReader::DocumentReader(QJsonValue value, QString path) : value_(std::move(value)), path_(std::move(path)) {}

DocumentReader DocumentReader::operator[](const char* key) const {
    if (!value_.isObject()) throw invalid(path_, QStringLiteral("an object is expected"));
    const QJsonObject o = value_.toObject();
    const QString child = path_.isEmpty() ? QString::fromLatin1(key) : path_ + u'.' + QLatin1String(key);
    if (!o.contains(QLatin1String(key))) throw invalid(child, QStringLiteral("missing"));
    return {o.value(QLatin1String(key)), child};
}

bool DocumentReader::has(const char* key) const {
    return value_.isObject() && value_.toObject().contains(QLatin1String(key));
}

DocumentReader DocumentReader::at(int i) const { return {array().at(i), QStringLiteral("%1[%2]").arg(path_).arg(i)}; }

QJsonArray DocumentReader::array(int exactly) const {
    if (!value_.isArray()) throw invalid(path_, QStringLiteral("an array is expected"));
    const QJsonArray a = value_.toArray();
    if (exactly >= 0 && a.size() != exactly)
        throw invalid(path_, QStringLiteral("%1 entries are expected, not %2").arg(exactly).arg(a.size()));
    return a;
}

int DocumentReader::size() const { return int(array().size()); }

double DocumentReader::number(double lo, double hi) const {
    if (!value_.isDouble()) throw invalid(path_, QStringLiteral("a number is expected"));
    const double v = value_.toDouble();
    if (!(v >= lo && v <= hi)) throw invalid(path_, QStringLiteral("%1 is outside %2 to %3").arg(v).arg(lo).arg(hi));
    return v;
}

int64_t DocumentReader::integer(double lo, double hi) const {
    const double v = number(lo, hi);
    if (v != std::floor(v)) throw invalid(path_, QStringLiteral("%1 is not a whole number").arg(v));
    return int64_t(v);
}

int32_t DocumentReader::int32() const {
    return int32_t(integer(std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

int16_t DocumentReader::int16() const {
    return int16_t(integer(std::numeric_limits<int16_t>::min(), std::numeric_limits<int16_t>::max()));
}

bool DocumentReader::boolean() const {
    if (!value_.isBool()) throw invalid(path_, QStringLiteral("true or false is expected"));
    return value_.toBool();
}

QString DocumentReader::string() const {
    if (!value_.isString()) throw invalid(path_, QStringLiteral("a string is expected"));
    return value_.toString();
}

}  // namespace tvn::analysis
