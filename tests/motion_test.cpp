// Motion analysis: calibration arithmetic, tracking accuracy and loss on small
// synthetic clips with a known truth, kinematics on known paths, CSV round trip.
#include "control/Trelvan.h"
#include "core/Twips.h"
#include "fakes/ControlProbe.h"
#include "fakes/ErrorFrom.h"
#include "fakes/EventLoopWait.h"
#include "fakes/TestClips.h"
#include "motion/Kinematics.h"
#include "motion/MotionAnalysis.h"
#include "motion/MotionCsv.h"
#include "motion/TrackingWorker.h"
#include "platform/Surface.h"
#include "support/MarkerClip.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <gtest/gtest.h>
#include <cmath>
#include <map>
#include <numbers>

using namespace tvn;
using namespace tvn::motion;
using tvn::testing::errorFrom;

namespace {

TEST(Calibration, ScalesMapsPlanesAndRefusesDegenerateReferences) {
    const Calibration scale = Calibration::fromScale({10, 10}, {10, 210}, 2.0, "m");
    EXPECT_DOUBLE_EQ(scale.distance({0, 0}, {30, 40}), 0.5);
    // A 1 x 2 m rectangle seen in perspective: its far side (top) shorter.
    const std::array<QPointF, 4> quad{QPointF(100, 300), {300, 300}, {250, 100}, {150, 100}};
    const Calibration plane = Calibration::fromPlane(quad, 1.0, 2.0, "m");
    for (const auto& [p, real] : {std::pair{quad[0], QPointF(0, 0)}, {quad[1], {1, 0}}, {quad[2], {1, 2}}, {quad[3], {0, 2}}}) {
        EXPECT_NEAR(plane.toReal(p).x(), real.x(), 1e-6);
        EXPECT_NEAR(plane.toReal(p).y(), real.y(), 1e-6);
    }
    EXPECT_NEAR(plane.distance(quad[3], quad[2]), 1.0, 1e-6);  // 100 px far away is as long as 200 px near
    EXPECT_NEAR(plane.toReal({200, 300}).x(), 0.5, 1e-6);
    const std::vector<std::function<void()>> degenerate{
        [] { Calibration::fromScale({5, 5}, {5, 5}, 1.0, "m"); },
        [] { Calibration::fromScale({0, 0}, {5, 5}, 0.0, "m"); },
        [] { Calibration::fromScale({0, 0}, {5, 5}, 1.0, " "); },
        [] { Calibration::fromPlane({QPointF(0, 0), {100, 0}, {200, 0}, {0, 100}}, 1, 1, "m"); },    // collinear
        [] { Calibration::fromPlane({QPointF(0, 0), {100, 100}, {100, 0}, {0, 100}}, 1, 1, "m"); },  // crossing
        [] { Calibration::fromPlane({QPointF(0, 0), {100, 0}, {100, 100}, {0, 100}}, 1, -1, "m"); }};
    for (size_t i = 0; i < degenerate.size(); ++i) {
        const auto e = errorFrom(degenerate[i]);
        EXPECT_EQ(e ? e->number() : 0, err::InvalidCall) << i;
    }
}

bench::MarkerClip smallClip(bool variableRate, bool hidden) {
    bench::MarkerClip c;
    c.width = 160, c.height = 120, c.frames = 60, c.radius = 35, c.noise = 3, c.variableRate = variableRate;
    if (hidden) c.hiddenFrom = 30, c.hiddenFrames = 10;
    return c;
}

QString make(const bench::MarkerClip& c) {
    return c.make(testclips::testFolder().filePath(
        QStringLiteral("marker-%1-%2.mp4").arg(c.variableRate ? "vfr" : "cfr").arg(c.hiddenFrom)));
}

TEST(Tracking, FollowsTheMarkerToAFractionOfAPixelAtExactTimesBothWays) {
    for (const auto [vfr, backward] : {std::pair{false, false}, {true, false}, {true, true}}) {
        const bench::MarkerClip clip = smallClip(vfr, false);
        const int start = backward ? clip.frames - 1 : 0;
        const std::atomic<bool> cancel{false};
        const TrackingResult r = TrackingRun::run(
            {make(clip), clip.seconds(start) * 1000, start, {clip.centre(start)}, backward}, nullptr, cancel);
        const Track& t = r.tracks.at(0);
        ASSERT_EQ(int(t.samples.size()), clip.frames) << vfr << backward << (t.loss ? t.loss->reason.toStdString() : "");
        EXPECT_TRUE(std::is_sorted(t.samples.begin(), t.samples.end(),
                                   [](const TrackSample& a, const TrackSample& b) { return a.frame < b.frame; }));
        std::vector<double> errors;
        for (const TrackSample& s : t.samples) {
            errors.push_back(std::hypot(s.x - clip.centre(s.frame).x(), s.y - clip.centre(s.frame).y()));
            EXPECT_NEAR(s.timeMs, clip.seconds(s.frame) * 1000, 0.01) << s.frame;
        }
        std::sort(errors.begin(), errors.end());
        EXPECT_LE(errors[errors.size() / 2], 0.5) << vfr << backward;
        EXPECT_LE(errors.back(), 2.0) << vfr << backward;
    }
}

TEST(Tracking, AHiddenMarkerIsReportedLostOnTheWorkerNeverFollowedOntoTheBackground) {
    const bench::MarkerClip clip = smallClip(false, true);
    TrackingWorker worker;
    std::map<quint64, TrackingResult> results;
    QObject::connect(&worker, &TrackingWorker::finished, [&](quint64 job, const TrackingResult& r) { results[job] = r; });
    const TrackingRequest request{make(clip), 0, 0, {clip.centre(0)}};
    const uint64_t job = worker.track(request), cancelled = worker.track(request);
    worker.cancel(cancelled);  // a queued job that is cancelled still gets its answer
    ASSERT_TRUE(tvn::testing::waitFor([&] { return results.size() == 2; }, 60000));
    EXPECT_TRUE(results[cancelled].cancelled);
    const Track& t = results[job].tracks.at(0);
    ASSERT_TRUE(t.loss);
    EXPECT_GE(t.loss->frame, clip.hiddenFrom);
    EXPECT_LT(t.loss->frame, clip.hiddenFrom + 3);
    EXPECT_EQ(t.samples.back().frame, t.loss->frame - 1);  // nothing on the hidden frames
}

TEST(Tracking, ACorrectionReplacesTheTrackFromItsFrameOnInItsDirection) {
    const auto run = [](int from, int to, double x, std::optional<int> lostAt) {
        Track t;
        for (int f = from; f <= to; ++f) t.samples.push_back({f, f * 40.0, x + f, 0, 1});
        if (lostAt) t.loss = TrackLoss{*lostAt, *lostAt * 40.0, "occluded"};
        return t;
    };
    const Track old = run(0, 9, 0, 10);
    struct Case { Track continuation; bool backward; int first, last, firstNew, lastNew; std::optional<int> loss; };
    for (const Case& c : {Case{run(5, 12, 100, {}), false, 0, 12, 5, 12, {}}, Case{run(2, 5, 100, 1), true, 2, 9, 2, 5, 1}}) {
        const Track t = old.corrected(c.continuation, c.backward);
        ASSERT_EQ(t.samples.size(), size_t(c.last - c.first + 1)) << c.backward;
        for (const TrackSample& s : t.samples) {
            const bool replaced = s.frame >= c.firstNew && s.frame <= c.lastNew;
            EXPECT_EQ(s.x, (replaced ? 100 : 0) + s.frame) << c.backward << s.frame;
        }
        EXPECT_EQ(t.loss ? std::optional(t.loss->frame) : std::nullopt, c.loss) << c.backward;
    }
}

// A track along x = 3t + 2t^2 (units of 0.5 px), y fixed, at the given times.
Track quadraticPath(const std::vector<double>& seconds) {
    Track t;
    for (size_t i = 0; i < seconds.size(); ++i)
        t.samples.push_back({int(i), seconds[i] * 1000, 2 * (3 * seconds[i] + 2 * seconds[i] * seconds[i]), 10, 1});
    return t;
}

// A ball thrown at 4 m/s across and 3 m/s up the picture (y grows downwards),
// 2 picture pixels to the metre: gravity shows in the vertical components.
Track ballPath(const std::vector<double>& seconds) {
    Track t;
    for (size_t i = 0; i < seconds.size(); ++i) {
        const double s = seconds[i];
        t.samples.push_back({int(i), s * 1000, 2 * (1.5 + 4 * s), 2 * (2 - 3 * s + 4.905 * s * s), 1});
    }
    return t;
}

TEST(Kinematics, SpeedAccelerationAndDistanceOnKnownPathsAtEvenAndUnevenTimes) {
    const Calibration half = Calibration::fromScale({0, 0}, {2, 0}, 1.0, "m");
    for (const bool uneven : {false, true}) {
        std::vector<double> seconds;
        for (int n = 0; n < 40; ++n) seconds.push_back((n + (uneven ? 0.35 * std::sin(1.7 * n) : 0.0)) / 30.0);
        const auto k = Kinematics::of(quadraticPath(seconds), half, {9, 2});
        const auto ball = Kinematics::of(ballPath(seconds), half, {9, 2});
        for (size_t i = 0; i < k.size(); ++i) {
            const double t = seconds[i];
            EXPECT_NEAR(k[i].speed, 3 + 4 * t, 1e-6) << uneven << i;
            EXPECT_NEAR(k[i].acceleration, 4, 1e-6) << uneven << i;
            EXPECT_NEAR(k[i].distance, 3 * t + 2 * t * t, 1e-6) << uneven << i;
            const double vy = -3 + 9.81 * t;
            const KinematicSample& b = ball[i];
            EXPECT_NEAR(b.velocityX, 4, 1e-6) << uneven << i;
            EXPECT_NEAR(b.velocityY, vy, 1e-6) << uneven << i;
            EXPECT_NEAR(b.accelerationX, 0, 1e-6) << uneven << i;
            EXPECT_NEAR(b.accelerationY, 9.81, 1e-6) << uneven << i;
            EXPECT_NEAR(b.speed, std::hypot(4, vy), 1e-6) << uneven << i;
            EXPECT_NEAR(b.acceleration, 9.81 * vy / std::hypot(4, vy), 1e-6) << uneven << i;
        }
    }
    // A knee opening at 20 degrees a second from 30 degrees.
    Track hip, knee, ankle;
    for (int n = 0; n < 30; ++n) {
        const double t = n / 30.0, a = (30 + 20 * t) * std::numbers::pi / 180;
        knee.samples.push_back({n, t * 1000, 100, 100, 1});
        ankle.samples.push_back({n, t * 1000, 200, 100, 1});
        hip.samples.push_back({n, t * 1000, 100 + 100 * std::cos(a), 100 - 100 * std::sin(a), 1});
    }
    const auto angles = Kinematics::jointAngle(hip, knee, ankle, {});
    ASSERT_EQ(angles.size(), 30u);
    for (const AngleSample& a : angles) {
        EXPECT_NEAR(a.degrees, 30 + 20 * a.timeMs / 1000, 0.01) << a.frame;
        EXPECT_NEAR(a.degreesPerSecond, 20, 0.05) << a.frame;
    }
    for (const Smoothing bad : {Smoothing{8, 2}, {3, 3}, {9, 0}}) {
        const auto e = errorFrom([&] { Kinematics::of(hip, {}, bad); });
        EXPECT_EQ(e ? e->number() : 0, err::InvalidCall) << bad.window << bad.order;
    }
}

TEST(MotionCsv, RoundTripsEveryValueAndNamesTheBadLine) {
    const auto k = Kinematics::of(ballPath({0, 0.031, 0.07, 0.1, 0.135}), Calibration(), {3, 2});
    const QString path = testclips::testFolder().filePath("track.csv");
    MotionCsv::write(path, MotionCsv::fromKinematics(k, "px"));
    EXPECT_TRUE(testclips::readFile(path).startsWith("frame,time_ms,x_px,y_px,confidence,x_px,y_px,distance_px,"
                                                     "speed_px_per_s,acceleration_px_per_s2,vx_px_per_s,vy_px_per_s,"
                                                     "ax_px_per_s2,ay_px_per_s2\n"));
    QString unit;
    const auto back = MotionCsv::toKinematics(MotionCsv::read(path), &unit);
    ASSERT_EQ(back.size(), k.size());
    for (size_t i = 0; i < k.size(); ++i)
        EXPECT_EQ(std::tuple(back[i].frame, back[i].timeMs, back[i].x, back[i].speed, back[i].acceleration,
                             back[i].velocityX, back[i].velocityY, back[i].accelerationX, back[i].accelerationY),
                  std::tuple(k[i].frame, k[i].timeMs, k[i].x, k[i].speed, k[i].acceleration, k[i].velocityX,
                             k[i].velocityY, k[i].accelerationX, k[i].accelerationY));
    EXPECT_EQ(unit, "px");
    testclips::writeFile(path, "frame,time_ms\n0,0\n1,x\n");
    const auto e = errorFrom([&] { MotionCsv::read(path); });
    EXPECT_EQ(e ? std::tuple(e->number(), e->description().contains("line 3")) : std::tuple(0, false),
              std::tuple(err::InvalidCall, true));
}

// tvnsh reaches the companion by name: calibrates from drawing coordinates
// (1500 twips are 100 px at 15 twips per pixel), tracks the marker on the
// worker and reads the result back in twips.
TEST(MotionCompanion, TvnshCalibratesInTwipsAndTracksAMarkerByName) {
    const bench::MarkerClip clip = smallClip(false, false);
    const QPointF start = clip.centre(0) * 15, end = clip.centre(clip.frames - 1) * 15;
    QProcess shell;
    shell.start(qEnvironmentVariable("TVNSH"), {});
    shell.write(QStringLiteral("call TVN_OpenFile \"%1\"\ncall motion.calibrate 0 0 1500 0 100 cm\n"
                               "expect motion.unitsPerPixel ~ 1\ncall motion.trackPoint %2 %3 False\n"
                               "await motion.trackingFinished 60000\ncall motion.sampleX 0 %4\ncall motion.sampleY 0 %4\n")
                    .arg(make(clip)).arg(start.x()).arg(start.y()).arg(clip.frames - 1).toUtf8());
    shell.closeWriteChannel();
    ASSERT_TRUE(shell.waitForFinished(90000));
    const QString out = QString::fromUtf8(shell.readAllStandardOutput());
    EXPECT_EQ(shell.exitCode(), 0) << out.toStdString();
    const auto printed = [&](const char* name) {
        return QRegularExpression(QStringLiteral("%1 -> ([-0-9.e]+)").arg(name)).match(out).captured(1).toDouble();
    };
    EXPECT_NEAR(printed("sampleX"), end.x(), 15) << out.toStdString();  // within a pixel
    EXPECT_NEAR(printed("sampleY"), end.y(), 15);
}

// On the video: a tracked point is drawn by the trail's rules, only while the
// trail is on and only over the trail's window; with lengths shown, a line
// carries its calibrated length beside its middle.
TEST(MotionCompanion, TracksShowWithTheTrailAndLinesCarryTheirRealLength) {
    const bench::MarkerClip clip = smallClip(false, false);
    Trelvan control(Components::defaults());
    control.resize(clip.width, clip.height);
    control.show();
    QString file = make(clip);
    ASSERT_EQ(control.TVN_OpenFile(file), clip.frames);
    const double tx = twipsPerPixelX(&control), ty = twipsPerPixelY(&control);
    MotionAnalysis& motion = *control.motion();
    motion.trackPoint(clip.centre(0).x() * tx, clip.centre(0).y() * ty, false);
    ASSERT_TRUE(tvn::testing::waitFor([&] { return !motion.busy(); }, 60000));
    ASSERT_EQ(motion.sampleCount(0), clip.frames);

    // Pixels of the layer in the colour, each with its distance to the marker's path over frames.
    const auto inColour = [&](int32_t colour, int firstFrame, int lastFrame) {
        const QImage layer = ControlProbe(control).picture(1).image();
        const double sx = double(layer.width()) / clip.width, sy = double(layer.height()) / clip.height;
        std::vector<double> distances;
        for (int y = 0; y < layer.height(); ++y)
            for (int x = 0; x < layer.width(); ++x) {
                if (Surface::fromQColor(layer.pixelColor(x, y)) != colour) continue;
                double nearest = 1e9;
                for (int n = firstFrame; n <= lastFrame; ++n)
                    nearest = std::min(nearest, std::hypot(x / sx - clip.centre(n).x(), y / sy - clip.centre(n).y()));
                distances.push_back(nearest);
            }
        return distances;
    };
    const int32_t red = MotionAnalysis::pointColour(0);
    control.TVN_TrackingLength = 10;
    int32_t frame = 40;
    control.TVN_SetFrame(frame);
    EXPECT_TRUE(inColour(red, 0, clip.frames - 1).empty()) << "trail off";
    bool on = true;
    control.TVN_SetTracking(on);
    control.TVN_SetFrame(frame);
    const std::vector<double> drawn = inColour(red, 29, 40);  // the segment into frame 30 starts at 29
    ASSERT_GT(drawn.size(), 10u);
    EXPECT_LT(*std::max_element(drawn.begin(), drawn.end()), 4.0) << "drawn outside the window's path";

    // A green line 100 px long, calibrated as 2 m.
    constexpr int32_t green = 0x00FF00;
    control.TVN_drawingColor = green;
    control.TVN_drawingTool = QStringLiteral("line");
    int16_t left = 1, noKeys = 0;
    float x1 = float(20 * tx), x2 = float(120 * tx), y = float(100 * ty);
    control.TVN_MouseDown(left, noKeys, x1, y);
    control.TVN_MouseMove(left, noKeys, x2, y);
    control.TVN_MouseUp(left, noKeys, x2, y);
    const size_t lineOnly = inColour(green, 0, 0).size();
    // The line the companion calibrates from is the one on the video: gone with an undo, back with a redo.
    EXPECT_EQ(motion.lastLine(), QLineF(x1, y, x2, y));
    control.TVN_Undo();
    EXPECT_FALSE(motion.hasLine());
    const auto none = errorFrom([&] { motion.calibrateFromLastLine(2.0, QStringLiteral("m")); });
    EXPECT_EQ(none ? std::tuple(none->number(), motion.calibrated()) : std::tuple(0, true), std::tuple(err::InvalidCall, false));
    control.TVN_Redo();
    motion.calibrateFromLastLine(2.0, QStringLiteral("m"));
    EXPECT_DOUBLE_EQ(motion.unitsPerPixel(), 0.02);
    EXPECT_EQ(inColour(green, 0, 0).size(), lineOnly) << "lengths are an opt-in";
    motion.setShowLineLengths(true);
    EXPECT_EQ(motion.lineLength(x1, y, x2, y), QStringLiteral("2.00 m"));
    EXPECT_GT(inColour(green, 0, 0).size(), lineOnly + 20) << "no length beside the line";

    // Another clip of the same size: the points go, the calibration stays; one of another size clears it.
    QString other = testclips::clip(testclips::ClipFormat::H264Mp4, {.frames = 30, .width = clip.width, .height = clip.height});
    control.TVN_OpenFile(other);
    EXPECT_EQ(motion.pointCount(), 0);
    EXPECT_TRUE(motion.calibrated());
    control.TVN_SetTracking(on);
    control.TVN_SetFrame(frame = 20);
    EXPECT_TRUE(inColour(red, 0, 0).empty()) << "the last clip's track drawn on this one";
    QString wider = testclips::clip(testclips::ClipFormat::H264Mp4, {.frames = 30, .width = 2 * clip.width, .height = clip.height});
    control.TVN_OpenFile(wider);
    EXPECT_FALSE(motion.calibrated()) << "kept for another picture size";
}

}  // namespace

// A job that cannot read its clip (gone since it was opened) fails on the
// worker: the failure is kept as the control's notification error and signalled.
TEST(MotionCompanion, AJobsFailureIsKeptForTheHost) {
    const bench::MarkerClip clip = smallClip(false, false);
    Trelvan control(Components::defaults());
    control.resize(clip.width, clip.height);
    QString file = make(clip);
    ASSERT_EQ(control.TVN_OpenFile(file), clip.frames);
    ASSERT_TRUE(QFile::remove(file));
    int failures = 0;
    QObject::connect(&control, &Trelvan::failed, [&](const TvnError&) { ++failures; });
    bool failedSignal = false;
    QObject::connect(control.motion(), &MotionAnalysis::trackingFailed, [&] { failedSignal = true; });
    control.motion()->trackPoint(100, 100, false);
    ASSERT_TRUE(tvn::testing::waitFor([&] { return failedSignal; }, 30000));
    ASSERT_NE(control.lastNotificationError(), nullptr);
    EXPECT_EQ(failures, 1);
    EXPECT_TRUE(QString::fromUtf8(control.lastNotificationError()->what()).contains(file))
        << control.lastNotificationError()->what();
}
