#pragma once

#include "core/TrelvanExport.h"

#include "motion/Calibration.h"
#include "motion/Track.h"

#include <vector>

namespace tvn::motion {

// Smoothing for derivatives of tracked positions: Savitzky-Golay, a polynomial
// of the given order fitted by least squares to the window of frames around
// each sample (odd, in frames), whose value and derivatives at that sample's
// time are taken. The fit is made on the samples' exact times rather than on
// frame numbers, so on variable-frame-rate footage a frame that came late
// weighs in at its real time; on constant-rate footage this is the classic
// filter. Near a track's ends the window keeps its size and slides inwards.
//
// Seven frames by default: the fit's own error grows with how far the path
// turns within the window. On a marker circling at 1.5 rad/s at 30 fps a
// 9-frame window (0.3 s, longer than a swing) reads the speed up to 1.5 % high
// at a track's ends and 0.5 % low in its middle from exact positions alone; 7
// frames halve that, while sub-pixel tracking keeps the noise it lets through
// far smaller. Slow-motion footage wants a longer window (more frames for the
// same span of time).
struct TVN_EXPORT Smoothing {
    int window = 7;
    int order = 2;  // 2 or more gives acceleration
};

// A track in real units over time. The components go along the axes of x and
// y: with a scale calibration (or none) the picture's, x to the right and y
// down the picture from its top-left corner, so a ball in flight shows gravity
// as a positive vertical acceleration; on a plane, the rectangle's width (x) and
// height (y) from its first corner.
struct TVN_EXPORT KinematicSample {
    int frame = 0;
    double timeMs = 0;
    double pixelX = 0, pixelY = 0;  // as tracked
    double confidence = 0;
    double x = 0, y = 0;            // smoothed, in the calibration's unit
    double distance = 0;            // path length from the track's first sample, along the smoothed path
    double speed = 0;               // unit per second
    double acceleration = 0;        // along the path (change of speed), unit per second squared
    double velocityX = 0, velocityY = 0;          // unit per second
    double accelerationX = 0, accelerationY = 0;  // unit per second squared
};

// The angle at a vertex point between two others (a joint: hip, knee, ankle).
struct TVN_EXPORT AngleSample {
    int frame = 0;
    double timeMs = 0;
    double degrees = 0;           // 0 to 180, from smoothed positions in real units
    double degreesPerSecond = 0;  // its rate of change
};

// Distances, speeds, accelerations and joint angles from tracks. Throws
// TvnError (InvalidCall) on smoothing that cannot work: an even or too short
// window, an order outside 1 to 5 or not below the window, a track with fewer
// samples than the order needs, samples not in time order.
class TVN_EXPORT Kinematics {
public:
    static std::vector<KinematicSample> of(const Track& track, const Calibration& calibration,
                                           const Smoothing& smoothing = {});
    // Over the frames all three tracks have.
    static std::vector<AngleSample> jointAngle(const Track& a, const Track& vertex, const Track& c,
                                               const Calibration& calibration, const Smoothing& smoothing = {});
};

}  // namespace tvn::motion
