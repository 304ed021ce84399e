#include "annotate/Geometry.h"

#include "core/Numeric.h"
#include "core/TvnError.h"

#include <cmath>
#include <limits>

namespace tvn {

namespace {
bool zeroLength(const LineObject& l) { return l.X1 == l.X2 && l.Y1 == l.Y2; }

int32_t checkedSub(int32_t a, int32_t b) {
    const int64_t d = static_cast<int64_t>(a) - static_cast<int64_t>(b);
    if (d > std::numeric_limits<int32_t>::max() || d < std::numeric_limits<int32_t>::min())
        throw TvnError(err::Overflow, QStringLiteral("Overflow: %1 - %2 does not fit in a Long").arg(a).arg(b));
    return static_cast<int32_t>(d);
}
}  // namespace

int16_t SharedEndpoint(const LineObject& a, const LineObject& b) {
    if (zeroLength(a) || zeroLength(b)) return NoSharedEndpoint;
    if (b.X1 == a.X1 && b.Y1 == a.Y1) return StartStart;
    if (b.X2 == a.X1 && b.Y2 == a.Y1) return StartEnd;
    if (b.X1 == a.X2 && b.Y1 == a.Y2) return EndStart;
    if (b.X2 == a.X2 && b.Y2 == a.Y2) return EndEnd;
    return NoSharedEndpoint;
}

void ArcPoints(const LineObject& a, const LineObject& b, int32_t& p1, int32_t& p2, int32_t& p3, int32_t& p4,
               int32_t& p5, int32_t& p6) {
    struct P { float x, y; };
    P farA{}, vertex{}, farB{};
    switch (SharedEndpoint(a, b)) {
    case StartStart: farA = {a.X2, a.Y2}; vertex = {a.X1, a.Y1}; farB = {b.X2, b.Y2}; break;
    case EndEnd: farA = {a.X1, a.Y1}; vertex = {a.X2, a.Y2}; farB = {b.X1, b.Y1}; break;
    case StartEnd: farA = {a.X2, a.Y2}; vertex = {a.X1, a.Y1}; farB = {b.X1, b.Y1}; break;
    case EndStart: farA = {a.X1, a.Y1}; vertex = {a.X2, a.Y2}; farB = {b.X2, b.Y2}; break;
    default:
        throw TvnError(err::ArcError, QStringLiteral("Lines do not create an arc!"), QStringLiteral("ArcPoints"));
    }
    // Convert all six first, so an overflow leaves the outputs as they were.
    const int32_t r1 = toInt32(farA.x), r2 = toInt32(farA.y), r3 = toInt32(vertex.x), r4 = toInt32(vertex.y),
                  r5 = toInt32(farB.x), r6 = toInt32(farB.y);
    p1 = r1; p2 = r2; p3 = r3; p4 = r4; p5 = r5; p6 = r6;
}

double AngleBetween(int32_t ax, int32_t ay, int32_t vx, int32_t vy, int32_t bx, int32_t by) {
    const int32_t dax = checkedSub(ax, vx), day = checkedSub(ay, vy);
    const int32_t dbx = checkedSub(bx, vx), dby = checkedSub(by, vy);
    // Axis-parallel arms give exact values, not what the trigonometry rounds to.
    if (dax == 0 && dbx == 0 && ((day >= 0 && dby >= 0) || (day <= 0 && dby <= 0))) return 0;
    if (day == 0 && dby == 0 && ((dax >= 0 && dbx >= 0) || (dax <= 0 && dbx <= 0))) return 0;
    if ((dax == 0 && dbx == 0) || (day == 0 && dby == 0)) return 180;
    if ((dby == 0 && dax == 0) || (day == 0 && dbx == 0)) return 90;
    // The geometric angle between the two vectors, from the difference of their
    // directions; converted with the same pi as the axis cases' neighbours.
    const double angleA = std::atan2(static_cast<double>(day), static_cast<double>(dax));
    const double angleB = std::atan2(static_cast<double>(dby), static_cast<double>(dbx));
    double degrees = std::abs(angleA - angleB) * 180.0 / kAnglePi;
    if (degrees > 180.0) degrees = 360.0 - degrees;
    if (degrees < 0) degrees = 0;
    return degrees;
}

QString angleTextOf(double degrees) {
    // "###": a whole number without leading zeros; 0 gives no digits at all.
    const double whole = roundHalfEven(degrees);
    const QString number = whole == 0 ? QString() : QString::number(static_cast<qint64>(whole));
    return number + QChar(0x00B0);
}

}  // namespace tvn
