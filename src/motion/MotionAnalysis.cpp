#include "motion/MotionAnalysis.h"

#include "control/Trelvan.h"
#include "core/TvnError.h"
#include "core/Twips.h"
#include "motion/MotionCsv.h"
#include "motion/TrackingWorker.h"

#include <cmath>
#include <iterator>
#include <utility>

namespace tvn {

namespace {
TvnError invalid(const QString& what) { return TvnError(err::InvalidCall, what, QStringLiteral("MotionAnalysis")); }
}  // namespace

MotionAnalysis::MotionAnalysis(Trelvan& control, std::function<void(const TvnError&)> reportFailure)
    : control_(control),
      reportFailure_(std::move(reportFailure)),
      worker_(std::make_unique<motion::TrackingWorker>()),
      clip_(control.TVN_videoFileName),
      pictureSize_(control.TVN_VideoWidth, control.TVN_VideoHeight) {
    connect(worker_.get(), &motion::TrackingWorker::progress, this, [this](quint64 job, int done, int total) {
        const auto it = jobs_.find(job);
        if (it != jobs_.end()) emit trackingProgress(it->second.point, done, total);
    });
    connect(worker_.get(), &motion::TrackingWorker::finished, this, &MotionAnalysis::onFinished);
    connect(worker_.get(), &motion::TrackingWorker::failed, this, &MotionAnalysis::onFailed);
    connect(this, &MotionAnalysis::calibrationChanged, this, &MotionAnalysis::drawingChanged);
}

MotionAnalysis::~MotionAnalysis() = default;

bool MotionAnalysis::busy() const { return !jobs_.empty(); }

// Drawing coordinates are twips of the picture: the control sizes its drawing
// surfaces as the clip's pixel size times its twips per pixel.
QPointF MotionAnalysis::toPixels(double x, double y) const {
    return {x / twipsPerPixelX(&control_), y / twipsPerPixelY(&control_)};
}
double MotionAnalysis::toTwipsX(double pixels) const { return pixels * twipsPerPixelX(&control_); }
double MotionAnalysis::toTwipsY(double pixels) const { return pixels * twipsPerPixelY(&control_); }

void MotionAnalysis::calibrate(double x1, double y1, double x2, double y2, double length, const QString& unit) {
    withPrefix("MotionAnalysis.calibrate", [&] {
        calibration_ = motion::Calibration::fromScale(toPixels(x1, y1), toPixels(x2, y2), length, unit);
        calibrated_ = true;
    });
    emit calibrationChanged();
}

void MotionAnalysis::calibratePlane(double x1, double y1, double x2, double y2, double x3, double y3, double x4,
                                    double y4, double width, double height, const QString& unit) {
    withPrefix("MotionAnalysis.calibratePlane", [&] {
        calibration_ = motion::Calibration::fromPlane(
            {toPixels(x1, y1), toPixels(x2, y2), toPixels(x3, y3), toPixels(x4, y4)}, width, height, unit);
        calibrated_ = true;
    });
    emit calibrationChanged();
}

void MotionAnalysis::clearCalibration() {
    calibration_ = {};
    calibrated_ = false;
    emit calibrationChanged();
}

void MotionAnalysis::calibrateFromLastLine(double length, const QString& unit) {
    withPrefix("MotionAnalysis.calibrateFromLastLine", [&] {
        const std::optional<QLineF> line = lastLine();
        if (!line) throw invalid(QStringLiteral("No line is drawn to calibrate from: draw one along something of known length"));
        calibrate(line->x1(), line->y1(), line->x2(), line->y2(), length, unit);
    });
}

double MotionAnalysis::measure(double x1, double y1, double x2, double y2) const {
    return calibration_.distance(toPixels(x1, y1), toPixels(x2, y2));
}

void MotionAnalysis::startJob(int point, QPointF twips, bool backward, bool correction) {
    const QString clip = control_.TVN_videoFileName;
    if (clip.isEmpty()) throw invalid(QStringLiteral("No clip is open to track in"));
    const QPointF p = toPixels(twips.x(), twips.y());
    if (p.x() < 0 || p.y() < 0 || p.x() >= control_.TVN_VideoWidth || p.y() >= control_.TVN_VideoHeight)
        throw invalid(QStringLiteral("Point (%1, %2) lies outside the picture of '%3'").arg(twips.x()).arg(twips.y()).arg(clip));
    motion::TrackingRequest request;
    request.clip = clip;
    request.startMs = control_.TVN_GetPos();
    request.startFrame = control_.TVN_GetFrame();
    request.points = {p};
    request.backward = backward;
    jobs_[worker_->track(request)] = Job{point, correction, backward};
}

int MotionAnalysis::trackPoint(double x, double y, bool backward) {
    return withPrefix("MotionAnalysis.trackPoint", [&] {
        const int point = int(tracks_.size());
        startJob(point, {x, y}, backward, false);
        tracks_.emplace_back();
        return point;
    });
}

void MotionAnalysis::correctPoint(int point, double x, double y, bool backward) {
    withPrefix("MotionAnalysis.correctPoint", [&] {
        checkPoint(point);
        startJob(point, {x, y}, backward, true);
    });
}

void MotionAnalysis::cancelTracking() {
    for (const auto& [job, _] : jobs_) worker_->cancel(job);
}

void MotionAnalysis::clearPoints() {
    if (busy()) throw invalid(QStringLiteral("Cannot clear the points while tracking runs: cancel it first"));
    tracks_.clear();
    emit drawingChanged();
}

void MotionAnalysis::restore(bool calibrated, const motion::Calibration& calibration, std::vector<motion::Track> tracks) {
    if (busy()) throw invalid(QStringLiteral("Cannot put back points while tracking runs: cancel it first"));
    calibration_ = calibrated ? calibration : motion::Calibration{};
    calibrated_ = calibrated;
    tracks_ = std::move(tracks);
    emit calibrationChanged();  // also drawingChanged
}

void MotionAnalysis::followClip(const QString& clip, QSize pictureSize) {
    if (clip != clip_) {
        clip_ = clip;
        const std::map<quint64, Job> dropped = std::exchange(jobs_, {});
        for (const auto& [job, j] : dropped) {
            worker_->cancel(job);
            emit trackingFinished(j.point, true);
        }
        if (!tracks_.empty()) {
            tracks_.clear();
            emit drawingChanged();
        }
    }
    // No clip (a close) says nothing of the camera set-up; the next picture's size does.
    if (pictureSize.isEmpty() || pictureSize == pictureSize_) return;
    const bool otherSetUp = !pictureSize_.isEmpty();
    pictureSize_ = pictureSize;
    if (otherSetUp && calibrated_) clearCalibration();  // says so itself
}

void MotionAnalysis::setShowLineLengths(bool on) {
    if (on == showLineLengths_) return;
    showLineLengths_ = on;
    emit drawingChanged();
}

int32_t MotionAnalysis::pointColour(int point) {
    // Neither black (the trail's dots) nor white (the usual key colour).
    static constexpr int32_t kColours[] = {0x0000FF, 0xFF8000, 0x00C000, 0x00A0FF, 0xFF00FF, 0xC0C000};
    return kColours[size_t(point) % std::size(kColours)];
}

QList<QList<KiteTail>> MotionAnalysis::trails() const {
    QList<QList<KiteTail>> trails;
    // The screen's twips per pixel once, not per sample (it asks the screen each time).
    const double tx = toTwipsX(1), ty = toTwipsY(1);
    for (size_t p = 0; p < tracks_.size(); ++p) {
        QList<KiteTail>& trail = trails.emplaceBack();
        trail.reserve(qsizetype(tracks_[p].samples.size()));
        for (const motion::TrackSample& s : tracks_[p].samples)
            trail.append(KiteTail{s.frame, pointColour(int(p)), 0, int32_t(std::lround(s.x * tx)),
                                  int32_t(std::lround(s.y * ty))});
    }
    return trails;
}

QString MotionAnalysis::lineLength(double x1, double y1, double x2, double y2) const {
    if (!showLineLengths_ || !calibrated_) return {};
    return QStringLiteral("%1 %2").arg(measure(x1, y1, x2, y2), 0, 'f', 2).arg(calibration_.unit());
}

void MotionAnalysis::onFinished(quint64 job, const motion::TrackingResult& result) {
    const auto it = jobs_.find(job);
    if (it == jobs_.end()) return;
    const Job j = it->second;
    jobs_.erase(it);
    if (!result.tracks.empty()) {
        motion::Track& t = tracks_.at(size_t(j.point));
        t = j.correction ? t.corrected(result.tracks.front(), j.backward) : result.tracks.front();
        if (const auto& loss = result.tracks.front().loss) emit pointLost(j.point, loss->frame, loss->reason);
    }
    emit drawingChanged();
    emit trackingFinished(j.point, result.cancelled);
}

void MotionAnalysis::onFailed(quint64 job, const TvnError& error) {
    const auto it = jobs_.find(job);
    if (it == jobs_.end()) return;
    const int point = it->second.point;
    jobs_.erase(it);
    // Nobody is inside a call to receive it: it is kept and goes out as the
    // control's other asynchronous failures do.
    reportFailure_(error);
    emit trackingFailed(point);
}

void MotionAnalysis::checkPoint(int point) const {
    if (point < 0 || point >= pointCount())
        throw TvnError(err::SubscriptOutOfRange, QStringLiteral("No point %1 (there are %2)").arg(point).arg(pointCount()),
                       QStringLiteral("MotionAnalysis"));
}

const motion::Track& MotionAnalysis::track(int point) const {
    checkPoint(point);
    return tracks_[size_t(point)];
}

const motion::TrackSample& MotionAnalysis::sample(int point, int index) const {
    const motion::Track& t = track(point);
    if (index < 0 || index >= int(t.samples.size()))
        throw TvnError(err::SubscriptOutOfRange,
                       QStringLiteral("No sample %1 of point %2 (it has %3)").arg(index).arg(point).arg(t.samples.size()),
                       QStringLiteral("MotionAnalysis"));
    return t.samples[size_t(index)];
}

int MotionAnalysis::sampleCount(int point) const { return int(track(point).samples.size()); }
int MotionAnalysis::sampleFrame(int point, int index) const { return sample(point, index).frame; }
double MotionAnalysis::sampleTimeMs(int point, int index) const { return sample(point, index).timeMs; }
double MotionAnalysis::sampleX(int point, int index) const { return toTwipsX(sample(point, index).x); }
double MotionAnalysis::sampleY(int point, int index) const { return toTwipsY(sample(point, index).y); }
double MotionAnalysis::sampleConfidence(int point, int index) const { return sample(point, index).confidence; }

std::vector<motion::KinematicSample> MotionAnalysis::kinematics(int point) const {
    return motion::Kinematics::of(track(point), calibration_, smoothing_);
}

std::vector<motion::AngleSample> MotionAnalysis::jointAngle(int a, int vertex, int c) const {
    return motion::Kinematics::jointAngle(track(a), track(vertex), track(c), calibration_, smoothing_);
}

double MotionAnalysis::kinematicAt(const char* call, int point, int index,
                                   double motion::KinematicSample::*value) const {
    return withPrefix(call, [&] {
        sample(point, index);
        return kinematics(point)[size_t(index)].*value;
    });
}

double MotionAnalysis::speedAt(int point, int index) const {
    return kinematicAt("MotionAnalysis.speedAt", point, index, &motion::KinematicSample::speed);
}
double MotionAnalysis::accelerationAt(int point, int index) const {
    return kinematicAt("MotionAnalysis.accelerationAt", point, index, &motion::KinematicSample::acceleration);
}
double MotionAnalysis::velocityXAt(int point, int index) const {
    return kinematicAt("MotionAnalysis.velocityXAt", point, index, &motion::KinematicSample::velocityX);
}
double MotionAnalysis::velocityYAt(int point, int index) const {
    return kinematicAt("MotionAnalysis.velocityYAt", point, index, &motion::KinematicSample::velocityY);
}
double MotionAnalysis::accelerationXAt(int point, int index) const {
    return kinematicAt("MotionAnalysis.accelerationXAt", point, index, &motion::KinematicSample::accelerationX);
}
double MotionAnalysis::accelerationYAt(int point, int index) const {
    return kinematicAt("MotionAnalysis.accelerationYAt", point, index, &motion::KinematicSample::accelerationY);
}

double MotionAnalysis::angleAt(int a, int vertex, int c, int frame) const {
    return withPrefix("MotionAnalysis.angleAt", [&] {
        for (const motion::AngleSample& s : jointAngle(a, vertex, c))
            if (s.frame == frame) return s.degrees;
        return -1.0;
    });
}

void MotionAnalysis::exportCsv(const QString& path, int point) const {
    withPrefix("MotionAnalysis.exportCsv", [&] {
        motion::MotionCsv::write(path, motion::MotionCsv::fromKinematics(kinematics(point), calibration_.unit()));
    });
}

void MotionAnalysis::exportAngleCsv(const QString& path, int a, int vertex, int c) const {
    withPrefix("MotionAnalysis.exportAngleCsv",
               [&] { motion::MotionCsv::write(path, motion::MotionCsv::fromAngles(jointAngle(a, vertex, c))); });
}

}  // namespace tvn
