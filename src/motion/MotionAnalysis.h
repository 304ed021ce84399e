#pragma once

#include "core/TrelvanExport.h"

#include "control/KiteTail.h"
#include "motion/Calibration.h"
#include "motion/Kinematics.h"
#include "motion/Track.h"

#include <QLineF>
#include <QList>
#include <QObject>
#include <functional>
#include <QSize>
#include <QString>
#include <cstdint>
#include <optional>
#include <map>
#include <memory>
#include <vector>

namespace tvn {

class Trelvan;
class TvnError;

namespace motion {
class TrackingWorker;
struct TrackingResult;
}  // namespace motion

// The control's motion companion: calibration, assisted point tracking and
// kinematics for the clip the control shows, reached by a host through
// Trelvan::motion() and by tvnsh as "motion.NAME". It lives beside the
// documented interface, so that interface stays exactly as documented.
//
// Coordinates a host passes in and gets back are the control's drawing
// coordinates: twips of the picture, as the annotations use them. They are
// turned into picture pixels as the control sizes its drawing surfaces (twips
// per pixel of the control's screen), and results are handed back the same way.
// Tracks, kinematics and CSV files are in picture pixels and calibrated units.
//
// Points are numbered from 0 in the order they were marked. Tracking runs on a
// worker (one job at a time behind a queue); the UI thread only turns the calls
// into jobs and the answers into signals. Calls that cannot be carried out (no
// clip, a point off the picture, a point number that does not exist, a degenerate
// calibration) throw TvnError; a job that fails on the worker (the clip cannot be
// decoded, the point has no detail to follow) is reported through the control's
// failed() signal. Uses only the control's public members, and takes the
// control itself rather than ports of its own: like a host, it reads only the
// documented interface (the clip's name and picture size, TVN_GetPos and
// TVN_GetFrame, the screen's twips per pixel), and its constructor is part of
// the installed interface, where ports would be exported types with a single
// implementation. What it reports (failures) and draws (lines, trails) goes
// through the callbacks the control sets.
//
// Tracks belong to the clip they were made on: when the control opens another
// clip or closes it, running jobs are cancelled (each still ends with
// trackingFinished(point, true)) and the points are dropped. The calibration
// stays while the clips keep their picture size (the same camera set-up, as a
// session filmed from a tripod; a close between them changes nothing) and is
// cleared when a clip of another size opens.
//
// On the video: while the control's tracking trail is on, every tracked point
// is drawn by the trail's own rules (segments between neighbouring frames in the
// point's colour, over the last TVN_TrackingLength frames, a black dot on each),
// beside the coach's hand-built trail. With showLineLengths on and a calibration
// set, each line of the line tool shows its real length beside its middle; off,
// as by default, the drawing is the control's own.
class TVN_EXPORT MotionAnalysis : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString unit READ unit NOTIFY calibrationChanged)
    Q_PROPERTY(bool calibrated READ calibrated NOTIFY calibrationChanged)
    Q_PROPERTY(double unitsPerPixel READ unitsPerPixel NOTIFY calibrationChanged)
    Q_PROPERTY(bool busy READ busy)
    Q_PROPERTY(int pointCount READ pointCount)
    Q_PROPERTY(int smoothingWindow READ smoothingWindow WRITE setSmoothingWindow)
    Q_PROPERTY(int smoothingOrder READ smoothingOrder WRITE setSmoothingOrder)
    Q_PROPERTY(bool showLineLengths READ showLineLengths WRITE setShowLineLengths NOTIFY drawingChanged)
    Q_PROPERTY(bool hasLine READ hasLine)

public:
    // reportFailure keeps a job's failure for the host as the control's other
    // asynchronous failures are kept (lastNotificationError and failed()).
    MotionAnalysis(Trelvan& control, std::function<void(const TvnError&)> reportFailure);
    ~MotionAnalysis() override;

    QString unit() const { return calibration_.unit(); }
    bool calibrated() const { return calibrated_; }
    // Real units per picture pixel of the scale reference; 0 with a plane.
    double unitsPerPixel() const { return calibration_.unitsPerCoordinate(); }
    bool busy() const;
    int pointCount() const { return int(tracks_.size()); }
    int smoothingWindow() const { return smoothing_.window; }
    void setSmoothingWindow(int frames) { smoothing_.window = frames; }
    int smoothingOrder() const { return smoothing_.order; }
    void setSmoothingOrder(int order) { smoothing_.order = order; }
    bool showLineLengths() const { return showLineLengths_; }
    void setShowLineLengths(bool on);

    // What the control draws for the companion: each point's track as trail
    // points (drawing coordinates, the point's colour), and the text beside a
    // line from (x1, y1) to (x2, y2): its real length and unit, or nothing when
    // lengths are off or no calibration is set.
    QList<QList<KiteTail>> trails() const;
    QString lineLength(double x1, double y1, double x2, double y2) const;
    // The colour (0x00BBGGRR, as the control's colours) point n is drawn in.
    static int32_t pointColour(int point);

    // The control tells the companion which clip it shows after every open and close.
    void followClip(const QString& clip, QSize pictureSize);
    // How the companion reads the newest line of the control's line tool still
    // on the video (drawing coordinates), set by the control.
    using LineSource = std::function<std::optional<QLineF>()>;
    void setLineSource(LineSource source) { lineSource_ = std::move(source); }
    // That line: none when no line with a length is shown (erased, undone, another clip).
    std::optional<QLineF> lastLine() const { return lineSource_ ? lineSource_() : std::nullopt; }
    bool hasLine() const { return lastLine().has_value(); }

    // Two points a known length apart.
    Q_INVOKABLE void calibrate(double x1, double y1, double x2, double y2, double length, const QString& unit);
    // The corners of a known rectangle, in order around it, the first the origin,
    // the second along the width.
    Q_INVOKABLE void calibratePlane(double x1, double y1, double x2, double y2, double x3, double y3, double x4,
                                    double y4, double width, double height, const QString& unit);
    Q_INVOKABLE void clearCalibration();
    // Calibrates from lastLine(), which is length long; InvalidCall when no line is shown.
    Q_INVOKABLE void calibrateFromLastLine(double length, const QString& unit);
    // The real distance between two points.
    Q_INVOKABLE double measure(double x1, double y1, double x2, double y2) const;

    // Marks a new point on the current frame and tracks it forward (or backward)
    // from there; returns its number.
    Q_INVOKABLE int trackPoint(double x, double y, bool backward);
    // Puts a point right on the current frame and tracks on from there: the new
    // run replaces the point's track from this frame on, in its direction.
    Q_INVOKABLE void correctPoint(int point, double x, double y, bool backward);
    // Stops every queued and running job; each still finishes (cancelled) with what it found.
    Q_INVOKABLE void cancelTracking();
    Q_INVOKABLE void clearPoints();

    // The result, sample by sample (index from 0, in frame order).
    Q_INVOKABLE int sampleCount(int point) const;
    Q_INVOKABLE int sampleFrame(int point, int index) const;
    Q_INVOKABLE double sampleTimeMs(int point, int index) const;
    Q_INVOKABLE double sampleX(int point, int index) const;
    Q_INVOKABLE double sampleY(int point, int index) const;
    Q_INVOKABLE double sampleConfidence(int point, int index) const;
    // Kinematics at a sample, in calibrated units per second (squared).
    Q_INVOKABLE double speedAt(int point, int index) const;
    Q_INVOKABLE double accelerationAt(int point, int index) const;
    // Its components along x and y (see motion::KinematicSample for the axes).
    Q_INVOKABLE double velocityXAt(int point, int index) const;
    Q_INVOKABLE double velocityYAt(int point, int index) const;
    Q_INVOKABLE double accelerationXAt(int point, int index) const;
    Q_INVOKABLE double accelerationYAt(int point, int index) const;
    // The joint angle at vertex on a frame all three points have; -1 when they do not.
    Q_INVOKABLE double angleAt(int a, int vertex, int c, int frame) const;

    Q_INVOKABLE void exportCsv(const QString& path, int point) const;
    Q_INVOKABLE void exportAngleCsv(const QString& path, int a, int vertex, int c) const;

    // For C++ hosts: the whole results.
    const motion::Track& track(int point) const;
    std::vector<motion::KinematicSample> kinematics(int point) const;
    std::vector<motion::AngleSample> jointAngle(int a, int vertex, int c) const;
    const motion::Calibration& calibration() const { return calibration_; }
    const std::vector<motion::Track>& tracks() const { return tracks_; }
    const motion::Smoothing& smoothing() const { return smoothing_; }
    // Puts back a calibration and points kept earlier (an analysis document):
    // the calibration (calibrated false: none) and the tracks, numbered in
    // order, replace the present ones. InvalidCall while tracking runs.
    void restore(bool calibrated, const motion::Calibration& calibration, std::vector<motion::Track> tracks);

signals:
    void calibrationChanged();
    void trackingProgress(int point, int framesDone, int framesTotal);
    // A job ended; the point's track holds what it found (also when cancelled).
    void trackingFinished(int point, bool cancelled);
    // Tracking stopped on frame because the point could not be found there.
    void pointLost(int point, int frame, const QString& reason);
    // A job failed (its error went out through the control's failed()); the point keeps its track.
    void trackingFailed(int point);
    // What the companion draws on the video changed (tracks, calibration, options).
    void drawingChanged();

private:
    // Not exported, as the worker's types they deal in.
    struct TVN_NO_EXPORT Job {
        int point = 0;
        bool correction = false;
        bool backward = false;
    };
    QPointF toPixels(double x, double y) const;
    double toTwipsX(double pixels) const;
    double toTwipsY(double pixels) const;
    void checkPoint(int point) const;
    const motion::TrackSample& sample(int point, int index) const;
    // One value of the kinematics at a sample, for the *At calls.
    double kinematicAt(const char* call, int point, int index, double motion::KinematicSample::*value) const;
    void startJob(int point, QPointF twips, bool backward, bool correction);
    TVN_NO_EXPORT void onFinished(quint64 job, const motion::TrackingResult& result);
    void onFailed(quint64 job, const TvnError& error);

    Trelvan& control_;
    std::function<void(const TvnError&)> reportFailure_;
    std::unique_ptr<motion::TrackingWorker> worker_;
    motion::Calibration calibration_;
    bool calibrated_ = false;
    bool showLineLengths_ = false;
    LineSource lineSource_;
    QString clip_;        // the clip the points were tracked on
    QSize pictureSize_;   // the last clip's picture size (empty before the first)
    motion::Smoothing smoothing_;
    std::vector<motion::Track> tracks_;
    std::map<quint64, Job> jobs_;  // queued and running, by job number
};

}  // namespace tvn
