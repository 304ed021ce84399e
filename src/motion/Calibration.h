#pragma once

#include "core/TrelvanExport.h"

#include <QPointF>
#include <QString>
#include <array>
#include <optional>

namespace tvn::motion {

// Turns positions on the picture into real lengths.
//
// Coordinates are whatever one system the caller measures in: the control's
// drawing coordinates (twips) or picture pixels, as long as the reference and
// the points measured later use the same one. Two ways to calibrate:
//
// - A scale: two points a known real length apart (a metre stick, the height of
//   a hurdle). Every length on the picture is scaled by the same factor, which
//   is right for motion across the picture, square to the camera.
// - A plane: the four corners of a known rectangle on the ground or a wall (a
//   court's service box, a long-jump pit), width by height, given in order
//   around the rectangle starting at the corner that becomes the origin, the
//   second along the width. Points are mapped through the homography
//   (perspective transform) from the picture to that plane, so a track filmed at
//   an angle comes out in real units on the plane. The plane's unit is the
//   rectangle's unit; with a plane, the scale reference (if any) is not used.
//
// A degenerate reference (zero or negative length, coincident points, a quad
// with three corners on one line or crossing itself) is refused with TvnError
// InvalidCall naming what is wrong. Plain value type; any thread.
class TVN_EXPORT Calibration {
public:
    // Uncalibrated: one unit per coordinate unit, unit name "px".
    Calibration() = default;

    static Calibration fromScale(QPointF a, QPointF b, double realLength, const QString& unit);
    static Calibration fromPlane(const std::array<QPointF, 4>& corners, double realWidth, double realHeight,
                                 const QString& unit);

    bool isPlane() const { return plane_.has_value(); }
    const QString& unit() const { return unit_; }
    // Real units per coordinate unit (the scale reference); 1 when uncalibrated, 0 for a plane.
    double unitsPerCoordinate() const { return plane_ ? 0.0 : scale_; }

    // Its parts, to keep it and make it again: the scale (real units per
    // coordinate unit) and, for a plane, the homography (row-major 3x3).
    double scale() const { return scale_; }
    const std::optional<std::array<double, 9>>& homography() const { return plane_; }
    static Calibration fromParts(double scale, const QString& unit, const std::optional<std::array<double, 9>>& homography);

    // A point in real units: scaled from the picture's origin, or on the plane
    // from the rectangle's first corner.
    QPointF toReal(QPointF p) const;
    // Real distance between two points of the picture.
    double distance(QPointF a, QPointF b) const;

private:
    double scale_ = 1.0;
    QString unit_ = QStringLiteral("px");
    std::optional<std::array<double, 9>> plane_;  // row-major 3x3 homography, picture -> plane
};

}  // namespace tvn::motion
