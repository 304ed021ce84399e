#include "motion/MotionCsv.h"

#include "core/TvnError.h"

#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QSaveFile>

#include <cmath>

namespace tvn::motion {

namespace {

TvnError failure(int32_t number, const QString& what) { return TvnError(number, what, QStringLiteral("MotionCsv")); }

QString number(double v) { return QString::number(v, 'g', QLocale::FloatingPointShortest); }

QStringList trackColumns(const QString& u) {
    return {"frame", "time_ms", "x_px", "y_px", "confidence", "x_" + u, "y_" + u, "distance_" + u,
            "speed_" + u + "_per_s", "acceleration_" + u + "_per_s2", "vx_" + u + "_per_s", "vy_" + u + "_per_s",
            "ax_" + u + "_per_s2", "ay_" + u + "_per_s2"};
}

const QStringList kAngleColumns{"frame", "time_ms", "angle_deg", "angular_speed_deg_per_s"};

}  // namespace

void MotionCsv::write(const QString& path, const Table& table) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text))
        throw failure(err::PathFileAccess, QStringLiteral("Cannot write '%1': %2").arg(path, file.errorString()));
    QByteArray text = table.columns.join(',').toUtf8() + '\n';
    for (const auto& row : table.rows) {
        QStringList cells;
        for (double v : row) cells << number(v);
        text += cells.join(',').toUtf8() + '\n';
    }
    file.write(text);
    if (!file.commit())
        throw failure(err::PathFileAccess, QStringLiteral("Cannot write '%1': %2").arg(path, file.errorString()));
}

MotionCsv::Table MotionCsv::read(const QString& path) {
    QFile file(path);
    if (!QFileInfo::exists(path)) throw failure(err::FileNotFound, QStringLiteral("Cannot read '%1': file not found").arg(path));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        throw failure(err::PathFileAccess, QStringLiteral("Cannot read '%1': %2").arg(path, file.errorString()));
    const QList<QByteArray> lines = file.readAll().split('\n');
    Table table;
    table.columns = QString::fromUtf8(lines.value(0)).trimmed().split(',');
    if (table.columns.value(0) != QLatin1String("frame"))
        throw failure(err::InvalidCall, QStringLiteral("'%1' is not a motion table: its first line does not start with "
                                                       "the column 'frame'").arg(path));
    for (int i = 1; i < lines.size(); ++i) {
        const QString line = QString::fromUtf8(lines[i]).trimmed();
        if (line.isEmpty()) continue;
        const QStringList cells = line.split(',');
        if (cells.size() != table.columns.size())
            throw failure(err::InvalidCall, QStringLiteral("'%1' line %2: %3 values for %4 columns")
                                                .arg(path).arg(i + 1).arg(cells.size()).arg(table.columns.size()));
        std::vector<double> row;
        for (int c = 0; c < cells.size(); ++c) {
            bool ok = false;
            const double v = cells[c].toDouble(&ok);
            if (!ok)
                throw failure(err::InvalidCall, QStringLiteral("'%1' line %2: '%3' is not a number (column %4)")
                                                    .arg(path).arg(i + 1).arg(cells[c], table.columns[c]));
            row.push_back(v);
        }
        table.rows.push_back(std::move(row));
    }
    return table;
}

MotionCsv::Table MotionCsv::fromKinematics(const std::vector<KinematicSample>& samples, const QString& unit) {
    Table t{trackColumns(unit), {}};
    for (const KinematicSample& k : samples)
        t.rows.push_back({double(k.frame), k.timeMs, k.pixelX, k.pixelY, k.confidence, k.x, k.y, k.distance, k.speed,
                          k.acceleration, k.velocityX, k.velocityY, k.accelerationX, k.accelerationY});
    return t;
}

std::vector<KinematicSample> MotionCsv::toKinematics(const Table& table, QString* unit) {
    const QString u = table.columns.value(5).mid(2);
    if (u.isEmpty() || table.columns != trackColumns(u))
        throw failure(err::InvalidCall, QStringLiteral("Not a track table: columns %1").arg(table.columns.join(',')));
    if (unit) *unit = u;
    std::vector<KinematicSample> out;
    for (const auto& r : table.rows)
        out.push_back({int(std::lround(r[0])), r[1], r[2], r[3], r[4], r[5], r[6], r[7], r[8], r[9], r[10], r[11], r[12], r[13]});
    return out;
}

MotionCsv::Table MotionCsv::fromAngles(const std::vector<AngleSample>& samples) {
    Table t{kAngleColumns, {}};
    for (const AngleSample& a : samples) t.rows.push_back({double(a.frame), a.timeMs, a.degrees, a.degreesPerSecond});
    return t;
}

std::vector<AngleSample> MotionCsv::toAngles(const Table& table) {
    if (table.columns != kAngleColumns)
        throw failure(err::InvalidCall, QStringLiteral("Not an angle table: columns %1").arg(table.columns.join(',')));
    std::vector<AngleSample> out;
    for (const auto& r : table.rows) out.push_back({int(std::lround(r[0])), r[1], r[2], r[3]});
    return out;
}

}  // namespace tvn::motion
