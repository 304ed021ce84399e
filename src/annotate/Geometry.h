#pragma once

#include "annotate/AnnotationStore.h"

#include <cstdint>

namespace tvn {

// Measuring the angle between two arms that meet in a common end point.

// Which end points of arm a and arm b coincide (compared exactly):
// 0 none, or an arm has zero length; 1 start/start; 12 start of a = end of b;
// 21 end of a = start of b; 2 end/end.
enum EndpointCode : int16_t { NoSharedEndpoint = 0, StartStart = 1, EndEnd = 2, StartEnd = 12, EndStart = 21 };
int16_t SharedEndpoint(const LineObject& a, const LineObject& b);

// The three points of the angle, rounded half to even: the far end of a (p1, p2),
// the vertex (p3, p4), the far end of b (p5, p6). Arms without a common end point
// raise err::ArcError "Lines do not create an arc!" and leave the outputs unchanged.
void ArcPoints(const LineObject& a, const LineObject& b, int32_t& p1, int32_t& p2, int32_t& p3, int32_t& p4,
               int32_t& p5, int32_t& p6);

// The angle at (vx, vy) between the arms towards (ax, ay) and (bx, by), in degrees,
// 0..180. Arms along one axis give exactly 0 or 180, perpendicular axis-parallel
// arms exactly 90. Differences are 32-bit; one that overflows raises Overflow (6).
double AngleBetween(int32_t ax, int32_t ay, int32_t vx, int32_t vy, int32_t bx, int32_t by);

// pi as the angle texts have always been computed with (15 significant digits).
inline constexpr double kAnglePi = 3.14159265358979;

// The angle text for a measured angle: the whole number of degrees (empty when it
// rounds to 0) followed by the degree sign, so 45.2 gives "45°" and 0.3 gives "°".
QString angleTextOf(double degrees);

}  // namespace tvn
