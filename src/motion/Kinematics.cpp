#include "motion/Kinematics.h"

#include "core/TvnError.h"

#include <opencv2/core.hpp>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace tvn::motion {

namespace {

TvnError refused(const QString& what) {
    return TvnError(err::InvalidCall, QStringLiteral("Cannot compute motion: %1").arg(what),
                    QStringLiteral("Kinematics"));
}

// Value, first and second derivative of each column at one time.
struct Fitted {
    std::vector<double> value, first, second;
};

// Savitzky-Golay on non-uniform times: for each sample, the least-squares
// polynomial through its window of samples, in powers of (t - t_i) in seconds,
// solved by QR (well conditioned once centred on t_i). columns[k][i] is
// column k's value at sample i.
std::vector<Fitted> smooth(const std::vector<double>& seconds, const std::vector<std::vector<double>>& columns,
                           const Smoothing& s) {
    const int n = int(seconds.size());
    if (s.order < 1 || s.order > 5) throw refused(QStringLiteral("the smoothing order must be 1 to 5, not %1").arg(s.order));
    if (s.window % 2 == 0 || s.window <= s.order)
        throw refused(QStringLiteral("the smoothing window must be odd and longer than the order (%1), not %2")
                          .arg(s.order).arg(s.window));
    if (n <= s.order)
        throw refused(QStringLiteral("%1 samples are too few for smoothing of order %2").arg(n).arg(s.order));
    for (int i = 1; i < n; ++i)
        if (!(seconds[size_t(i)] > seconds[size_t(i - 1)]))
            throw refused(QStringLiteral("the samples' times do not increase (at %1 ms)").arg(seconds[size_t(i)] * 1000));
    const int window = std::min(s.window, n % 2 ? n : n - 1);
    if (window <= s.order)
        throw refused(QStringLiteral("%1 samples are too few for smoothing of order %2").arg(n).arg(s.order));
    const int half = window / 2;
    std::vector<Fitted> out(columns.size());
    for (auto& f : out) f.value.resize(size_t(n)), f.first.resize(size_t(n)), f.second.resize(size_t(n));
    cv::Mat powers(window, s.order + 1, CV_64F), values(window, int(columns.size()), CV_64F), coefficients;
    for (int i = 0; i < n; ++i) {
        const int from = std::clamp(i - half, 0, n - window);
        for (int r = 0; r < window; ++r) {
            const double dt = seconds[size_t(from + r)] - seconds[size_t(i)];
            double p = 1;
            for (int k = 0; k <= s.order; ++k, p *= dt) powers.at<double>(r, k) = p;
            for (size_t c = 0; c < columns.size(); ++c) values.at<double>(r, int(c)) = columns[c][size_t(from + r)];
        }
        cv::solve(powers, values, coefficients, cv::DECOMP_QR);
        for (size_t c = 0; c < columns.size(); ++c) {
            out[c].value[size_t(i)] = coefficients.at<double>(0, int(c));
            out[c].first[size_t(i)] = coefficients.at<double>(1, int(c));
            out[c].second[size_t(i)] = s.order >= 2 ? 2 * coefficients.at<double>(2, int(c)) : 0.0;
        }
    }
    return out;
}

double angleAt(QPointF a, QPointF v, QPointF c) {
    const QPointF u = a - v, w = c - v;
    return std::atan2(std::abs(u.x() * w.y() - u.y() * w.x()), u.x() * w.x() + u.y() * w.y()) * 180.0 /
           std::numbers::pi;
}

}  // namespace

std::vector<KinematicSample> Kinematics::of(const Track& track, const Calibration& calibration,
                                            const Smoothing& smoothing) {
    std::vector<double> seconds;
    std::vector<std::vector<double>> xy(2);
    for (const TrackSample& s : track.samples) {
        const QPointF real = calibration.toReal(s.position());
        seconds.push_back(s.timeMs / 1000.0);
        xy[0].push_back(real.x());
        xy[1].push_back(real.y());
    }
    const std::vector<Fitted> f = smooth(seconds, xy, smoothing);
    std::vector<KinematicSample> out;
    for (size_t i = 0; i < track.samples.size(); ++i) {
        const TrackSample& s = track.samples[i];
        KinematicSample k{s.frame, s.timeMs, s.x, s.y, s.confidence, f[0].value[i], f[1].value[i]};
        const double vx = f[0].first[i], vy = f[1].first[i];
        k.speed = std::hypot(vx, vy);
        // Along the path: the acceleration's share in the direction of motion.
        k.acceleration = k.speed > 0 ? (vx * f[0].second[i] + vy * f[1].second[i]) / k.speed : 0.0;
        k.velocityX = vx;
        k.velocityY = vy;
        k.accelerationX = f[0].second[i];
        k.accelerationY = f[1].second[i];
        k.distance = i == 0 ? 0.0 : out.back().distance + std::hypot(k.x - out.back().x, k.y - out.back().y);
        out.push_back(k);
    }
    return out;
}

std::vector<AngleSample> Kinematics::jointAngle(const Track& a, const Track& vertex, const Track& c,
                                                const Calibration& calibration, const Smoothing& smoothing) {
    const std::vector<KinematicSample> ka = of(a, calibration, smoothing), kv = of(vertex, calibration, smoothing),
                                       kc = of(c, calibration, smoothing);
    const auto find = [](const std::vector<KinematicSample>& k, int frame) -> const KinematicSample* {
        const auto it = std::lower_bound(k.begin(), k.end(), frame,
                                         [](const KinematicSample& s, int f) { return s.frame < f; });
        return it != k.end() && it->frame == frame ? &*it : nullptr;
    };
    std::vector<AngleSample> out;
    std::vector<double> seconds;
    std::vector<std::vector<double>> degrees(1);
    for (const KinematicSample& v : kv) {
        const KinematicSample* pa = find(ka, v.frame);
        const KinematicSample* pc = find(kc, v.frame);
        if (!pa || !pc) continue;
        out.push_back({v.frame, v.timeMs, angleAt({pa->x, pa->y}, {v.x, v.y}, {pc->x, pc->y}), 0.0});
        seconds.push_back(v.timeMs / 1000.0);
        degrees[0].push_back(out.back().degrees);
    }
    if (out.empty()) throw refused(QStringLiteral("the three tracks have no frame in common"));
    // The angle is already smoothed through its points; a first-order fit of the
    // same window gives its rate without a second round of smoothing.
    const std::vector<Fitted> rate = smooth(seconds, degrees, {smoothing.window, 1});
    for (size_t i = 0; i < out.size(); ++i) out[i].degreesPerSecond = rate[0].first[i];
    return out;
}

}  // namespace tvn::motion
