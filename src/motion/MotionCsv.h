#pragma once

#include "motion/Kinematics.h"

#include <QString>
#include <QStringList>
#include <vector>

namespace tvn::motion {

// Motion data as CSV a spreadsheet opens: one header line naming each column
// with its unit, then one line per frame, numbers in the C locale with as many
// digits as it takes to read back the same double.
//
// A track:  frame,time_ms,x_px,y_px,confidence,x_<u>,y_<u>,distance_<u>,speed_<u>_per_s,acceleration_<u>_per_s2,
//           vx_<u>_per_s,vy_<u>_per_s,ax_<u>_per_s2,ay_<u>_per_s2
//           (the components along x_<u> and y_<u>: see KinematicSample)
// An angle: frame,time_ms,angle_deg,angular_speed_deg_per_s
//
// Files are written under a temporary name and renamed when complete, so a
// failed write never leaves a partial file under the name asked for. Failures
// are TvnError: PathFileAccess (75) for a file that cannot be written or read,
// FileNotFound (53), InvalidCall for a file that is not such a table (naming
// the line and the column).
class MotionCsv {
public:
    struct Table {
        QStringList columns;
        std::vector<std::vector<double>> rows;
    };

    static void write(const QString& path, const Table& table);
    static Table read(const QString& path);

    // unit: the calibration's, as it goes into the column names.
    static Table fromKinematics(const std::vector<KinematicSample>& samples, const QString& unit);
    // The samples and the unit back from a track table.
    static std::vector<KinematicSample> toKinematics(const Table& table, QString* unit = nullptr);
    static Table fromAngles(const std::vector<AngleSample>& samples);
    static std::vector<AngleSample> toAngles(const Table& table);
};

}  // namespace tvn::motion
