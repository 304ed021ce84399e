#include "motion/Calibration.h"

#include "core/TvnError.h"

#include <opencv2/imgproc.hpp>

#include <cmath>

namespace tvn::motion {

namespace {

TvnError refused(const QString& what) {
    return TvnError(err::InvalidCall, QStringLiteral("Cannot calibrate: %1").arg(what), QStringLiteral("Calibration"));
}

void checkLength(double length, const char* what) {
    if (!std::isfinite(length) || length <= 0)
        throw refused(QStringLiteral("the %1 must be a positive number, not %2").arg(QLatin1String(what)).arg(length));
}

void checkUnit(const QString& unit) {
    if (unit.trimmed().isEmpty()) throw refused(QStringLiteral("no unit given"));
}

// Twice the signed area of the triangle abc: 0 when the three lie on one line.
double turn(QPointF a, QPointF b, QPointF c) {
    return (b.x() - a.x()) * (c.y() - a.y()) - (b.y() - a.y()) * (c.x() - a.x());
}

// A quad the homography can map: every corner turns the same way, and clearly
// (a corner within a thousandth of the quad's size of the line through its
// neighbours counts as on it, which a homography would blow up into nonsense).
void checkQuad(const std::array<QPointF, 4>& q) {
    double size = 0;
    for (int i = 0; i < 4; ++i) size = std::max(size, std::hypot(q[i].x() - q[(i + 2) % 4].x(), q[i].y() - q[(i + 2) % 4].y()));
    int positive = 0, negative = 0;
    for (int i = 0; i < 4; ++i) {
        const double t = turn(q[i], q[(i + 1) % 4], q[(i + 2) % 4]);
        if (std::abs(t) <= 1e-3 * size * size) throw refused(QStringLiteral("three corners of the rectangle lie on one line"));
        (t > 0 ? positive : negative)++;
    }
    if (positive != 4 && negative != 4)
        throw refused(QStringLiteral("the rectangle's corners are not in order around it (its sides cross)"));
}

}  // namespace

Calibration Calibration::fromScale(QPointF a, QPointF b, double realLength, const QString& unit) {
    checkLength(realLength, "reference length");
    checkUnit(unit);
    const double span = std::hypot(b.x() - a.x(), b.y() - a.y());
    if (!std::isfinite(span) || span <= 0) throw refused(QStringLiteral("the reference's two points are the same point"));
    Calibration c;
    c.scale_ = realLength / span;
    c.unit_ = unit;
    return c;
}

Calibration Calibration::fromPlane(const std::array<QPointF, 4>& corners, double realWidth, double realHeight,
                                   const QString& unit) {
    checkLength(realWidth, "rectangle's width");
    checkLength(realHeight, "rectangle's height");
    checkUnit(unit);
    checkQuad(corners);
    cv::Point2f from[4], to[4];
    const cv::Point2f real[4] = {{0, 0}, {float(realWidth), 0}, {float(realWidth), float(realHeight)}, {0, float(realHeight)}};
    for (int i = 0; i < 4; ++i) {
        from[i] = cv::Point2f(float(corners[i].x()), float(corners[i].y()));
        to[i] = real[i];
    }
    const cv::Mat h = cv::getPerspectiveTransform(from, to, cv::DECOMP_LU);
    std::array<double, 9> m{};
    for (int i = 0; i < 9; ++i) m[i] = h.at<double>(i / 3, i % 3);
    Calibration c;
    c.scale_ = 0;
    c.unit_ = unit;
    c.plane_ = m;
    return c;
}

QPointF Calibration::toReal(QPointF p) const {
    if (!plane_) return p * scale_;
    const auto& m = *plane_;
    const double w = m[6] * p.x() + m[7] * p.y() + m[8];
    return {(m[0] * p.x() + m[1] * p.y() + m[2]) / w, (m[3] * p.x() + m[4] * p.y() + m[5]) / w};
}

double Calibration::distance(QPointF a, QPointF b) const {
    const QPointF d = toReal(b) - toReal(a);
    return std::hypot(d.x(), d.y());
}

Calibration Calibration::fromParts(double scale, const QString& unit, const std::optional<std::array<double, 9>>& homography) {
    if (!(scale > 0) || !std::isfinite(scale))
        throw TvnError(err::InvalidCall, QStringLiteral("A calibration's scale must be a positive number, not %1").arg(scale),
                       QStringLiteral("Calibration"));
    Calibration c;
    c.scale_ = scale;
    c.unit_ = unit;
    c.plane_ = homography;
    return c;
}

}  // namespace tvn::motion
