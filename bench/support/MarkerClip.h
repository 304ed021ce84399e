#pragma once

// A synthetic clip for motion tracking with a known truth, made with the ffmpeg
// command-line tool from lavfi sources: a textured round marker (size x size
// pixels) circling over a textured still background at a constant speed. The
// picture is composed supersample times larger, where FFmpeg's overlay puts the
// marker's corner at the whole pixel below centre + radius * (cos, sin)(w * T(n))
// - size / 2, and scaled down by averaging: the marker moves in fractions of a
// pixel, and its true centre is known to 1/supersample pixel on every frame. T(n) is the frame's
// time: n / fps, or for the variable-rate variant (n + 0.35 sin(1.7 n)) / fps,
// frames coming between 0.4 and 1.6 frame periods apart, stored with those
// exact times (a 90 kHz time base). The marker can be hidden for a span of
// frames (not drawn at all: only the background shows there), and temporal
// noise can be added, as a camera's sensor does. Used by the motion test and
// benchmark.

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointF>
#include <QProcess>
#include <QStringList>
#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace tvn::bench {

struct MarkerClip {
    int width = 320;
    int height = 240;
    int frames = 300;
    int fps = 30;
    int size = 28;                 // marker side, pixels
    double radius = 80;            // of the circle, pixels
    double radiansPerSecond = 1.5;
    bool variableRate = false;
    int hiddenFrom = -1;  // first frame without the marker, -1 for none
    int hiddenFrames = 0;
    int noise = 0;        // FFmpeg's noise strength (temporal), 0 for none
    // A textured bar over the whole height, this wide, centred on the circle's
    // leftmost point, that the marker slides under from the side and out of
    // again (0 for none): occlusion that comes gradually, as a passing arm's.
    int occluderWidth = 0;
    // The picture is composed this many times larger and scaled down by
    // averaging, so the marker moves in steps of 1/supersample pixel and its
    // pixels blend as a camera's do: motion between whole pixels.
    int supersample = 4;
    QStringList encoder{"-c:v", "libx264", "-preset", "veryfast", "-crf", "18"};

    // Time of frame n, seconds from the first, as stored: whole ticks of 90 kHz.
    double seconds(int n) const {
        const double t = (variableRate ? double(n) + 0.35 * std::sin(1.7 * double(n)) : double(n)) / double(fps);
        return std::round(t * 90000.0) / 90000.0;
    }
    // The marker's true centre on frame n (origin at the corner of the first pixel).
    QPointF centre(int n) const {
        const double a = radiansPerSecond * seconds(n);
        const double half = double(size) / 2, k = supersample;
        return {std::floor(k * (width / 2.0 + radius * std::cos(a) - half)) / k + half,
                std::floor(k * (height / 2.0 + radius * std::sin(a) - half)) / k + half};
    }
    // True speed along the circle, pixels per second.
    double speed() const { return radius * radiansPerSecond; }
    bool hidden(int n) const { return hiddenFrom >= 0 && n >= hiddenFrom && n < hiddenFrom + hiddenFrames; }
    int occluderLeft() const { return int(std::lround(width / 2.0 - radius - occluderWidth / 2.0)); }
    // The share of the marker the bar covers on frame n, 0 to 1.
    double covered(int n) const {
        const double left = centre(n).x() - size / 2.0, right = left + size;
        const double overlap = std::min(right, double(occluderLeft() + occluderWidth)) - std::max(left, double(occluderLeft()));
        return occluderWidth > 0 ? std::clamp(overlap / size, 0.0, 1.0) : 0.0;
    }

    // Writes the clip to path (through a temporary name) unless it is there already; returns path.
    QString make(const QString& path) const {
        if (QFileInfo::exists(path)) return path;
        // The background gets each frame's time first (rounded to a tick: setpts
        // truncates), and the overlay places the marker by that time (t).
        const QString time = variableRate ? QStringLiteral("(N+0.35*sin(1.7*N))/%1").arg(fps) : QStringLiteral("N/%1").arg(fps);
        const QString h = QString::number(size / 2.0);
        QString graph =
            QStringLiteral("color=c=gray:s=%1x%2:r=%3:d=1,format=yuv444p,"
                           "geq=lum='128+60*sin(X*0.23+Y*0.05)*cos(Y*0.19)+35*sin((X-1.7*Y)*0.11)':cb=128:cr=128,"
                           "scale=iw*%6:ih*%6:flags=neighbor,"
                           "trim=end_frame=1,loop=loop=%4:size=1,settb=1/90000,setpts='%5/TB+0.5'[bg];")
                .arg(width).arg(height).arg(fps).arg(frames - 1).arg(time).arg(supersample);
        graph += QStringLiteral("color=c=gray:s=%1x%1:r=%2:d=1,format=yuv444p,"
                                "geq=lum='128+110*cos(hypot(X-%3,Y-%3)*1.2)*sin(atan2(Y-%3,X-%3)*3+0.5)':cb=128:cr=128,"
                                "scale=iw*%8:ih*%8:flags=neighbor[mk];"
                                "[bg][mk]overlay=format=yuv444:x='%8*(%4+%5*cos(%6*t)-%3)':y='%8*(%7+%5*sin(%6*t)-%3)'")
                     .arg(size).arg(fps).arg(h).arg(width / 2.0).arg(radius).arg(radiansPerSecond).arg(height / 2.0)
                     .arg(supersample);
        if (hiddenFrom >= 0)
            graph += QStringLiteral(":enable='not(between(t,%1,%2))'")
                         .arg(seconds(hiddenFrom) - 0.5 / 90000, 0, 'f', 9)
                         .arg(seconds(hiddenFrom + hiddenFrames - 1) + 0.5 / 90000, 0, 'f', 9);
        if (occluderWidth > 0)
            graph += QStringLiteral("[m];color=c=gray:s=%1x%2:r=%3:d=1,format=yuv444p,"
                                    "geq=lum='128+70*sin(X*0.5)*sin(Y*0.13)':cb=128:cr=128,"
                                    "scale=iw*%4:ih*%4:flags=neighbor[oc];[m][oc]overlay=format=yuv444:x=%5:y=0")
                         .arg(occluderWidth).arg(height).arg(fps).arg(supersample).arg(occluderLeft() * supersample);
        if (supersample > 1) graph += QStringLiteral(",scale=%1:%2:flags=area").arg(width).arg(height);
        if (noise > 0) graph += QStringLiteral(",noise=alls=%1:allf=t").arg(noise);
        graph += QStringLiteral(",format=yuv420p");
        QDir().mkpath(QFileInfo(path).absolutePath());
        const QString part = path + ".part.mp4";
        // From FFmpeg 6.1 on, setpts leaves its frames without a duration, so the
        // last one would end where it starts and MP4's edit list would hide it
        // on a variable rate (FFmpeg 7, Debian 13). Every packet gets one
        // nominal frame's length, which only the last one keeps: 1/fps, as
        // FFmpeg 5.1 wrote it.
        const QString lastFrameTicks = QString::number(90000 / fps);
        const QStringList args = QStringList{"-v", "error", "-y", "-nostdin", "-filter_complex", graph} + encoder +
                                 QStringList{"-fps_mode", "passthrough", "-enc_time_base:v", "1/90000",
                                             "-bsf:v", "setts=pts=PTS:dts=DTS:duration=" + lastFrameTicks,
                                             "-video_track_timescale", "90000", part};
        if (QProcess::execute("ffmpeg", args) != 0 || !QFile::rename(part, path))
            throw std::runtime_error("ffmpeg could not make " + path.toStdString());
        return path;
    }
};

}  // namespace tvn::bench
