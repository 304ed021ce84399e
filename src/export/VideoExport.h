#pragma once

#include "core/TrelvanExport.h"

#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>
#include <utility>
#include <memory>
#include <vector>

namespace tvn {

class ExportDrawing;
class ExportWorker;
class Trelvan;
class TvnError;

// The control's video-export companion: makes a video file of a range of the
// clip the control shows, with the drawings on every frame as the control shows
// them on that frame (the tracking trail and tracked paths moving with it, the
// clock showing that frame's time, lines with their real lengths), for a coach
// who sends an analysis to an athlete. Reached by a host through
// Trelvan::videoExport() and by tvnsh as "export.NAME"; it lives beside the
// documented interface, which stays exactly as documented.
//
// The file: H.264 High (yuv420p) with AAC sound in an MP4 that starts playing
// while it downloads, or VP9 with Opus for a name ending in ".webm"; at the
// clip's display size or a given one (the picture stretched to it); at the
// clip's frame rate. It is rendered, not recorded: the clip is decoded by a
// reader of its own and each picture drawn off screen, as fast as the machine
// goes, never shown and never waiting for a clock.
//
// Time shaping: slow-motion ranges (a factor per range; each frame repeated:
// 2 is half speed, 0.5 double speed), pauses that hold a frame for some
// seconds with a label across the bottom of the picture, and the clip's sound
// kept in step (slowed with its pitch kept in slow ranges, silent in pauses) or
// left out (withSound false). The drawings are what the control shows when
// start() is called: later changes do not reach a running export.
//
// start() checks what it can at once and throws TvnError (no clip, a range or
// pause outside the clip, an export already running, a missing or unwritable
// folder); the export then runs on the worker thread "tvn-export" and ends with
// exactly one of finished(file, cancelled) or failed(number, description), the
// failure also kept by the control (lastNotificationError, failed()). The file
// exists under its name only when complete: until then it is written as
// ".NAME.partial" beside it, which a failure or a cancel removes.
class TVN_EXPORT VideoExport : public QObject {
    Q_OBJECT
    Q_PROPERTY(int firstFrame READ firstFrame WRITE setFirstFrame)
    Q_PROPERTY(int lastFrame READ lastFrame WRITE setLastFrame)
    Q_PROPERTY(int width READ width WRITE setWidth)
    Q_PROPERTY(int height READ height WRITE setHeight)
    Q_PROPERTY(bool withSound READ withSound WRITE setWithSound)
    Q_PROPERTY(QString preset READ preset WRITE setPreset)
    Q_PROPERTY(int quality READ quality WRITE setQuality)
    Q_PROPERTY(bool interpolatedSlowMotion READ interpolatedSlowMotion WRITE setInterpolatedSlowMotion)
    Q_PROPERTY(bool busy READ busy)
    Q_PROPERTY(int percent READ percent)
    Q_PROPERTY(int speedRangeCount READ speedRangeCount)
    Q_PROPERTY(int pauseCount READ pauseCount)
    Q_PROPERTY(QString comparison READ comparison)

public:
    // What the control hands the companion: its picture's makings, copied.
    using DrawingSnapshot = std::function<std::shared_ptr<ExportDrawing>()>;
    // The key moments of the analysis companion, as (frame, label); none without one.
    using KeyMoments = std::function<std::vector<std::pair<int, QString>>()>;
    // Made by the control (its drawing snapshot is private to the library).
    TVN_NO_EXPORT VideoExport(Trelvan& control, DrawingSnapshot snapshot, KeyMoments keyMoments,
                              std::function<void(const TvnError&)> reportFailure);
    ~VideoExport() override;

    // The frames exported, inclusive; lastFrame -1 (the default) is the clip's last.
    int firstFrame() const { return first_; }
    void setFirstFrame(int frame) { first_ = frame; }
    int lastFrame() const { return last_; }
    void setLastFrame(int frame) { last_ = frame; }
    // The file's picture size; 0 x 0 (the default) is the clip's display size.
    int width() const { return width_; }
    void setWidth(int pixels) { width_ = pixels; }
    int height() const { return height_; }
    void setHeight(int pixels) { height_ = pixels; }
    bool withSound() const { return withSound_; }
    void setWithSound(bool on) { withSound_ = on; }
    // x264's preset and constant rate factor (20: clean; lower is better and
    // bigger). ultrafast by default, with the 8x8 transform that keeps every
    // preset H.264 High: an analysis is exported to be sent now, at several
    // times real time (bench/export_bench); superfast makes a file about a
    // third smaller at about two thirds of the speed, and slower presets
    // smaller still.
    QString preset() const { return preset_; }
    void setPreset(const QString& preset) { preset_ = preset; }
    int quality() const { return quality_; }
    void setQuality(int crf) { quality_ = crf; }
    bool busy() const;
    // The running or last export's progress, 0 to 100 (100 only when complete).
    int percent() const { return percent_; }
    int speedRangeCount() const { return int(speeds_.size()); }
    int pauseCount() const { return int(pauses_.size()); }

    Q_INVOKABLE void setRange(int first, int last);
    // Frames first..last at factor (2: half speed); a later range wins where they overlap.
    Q_INVOKABLE void addSlowMotion(int first, int last, double factor);
    // Holds frame for seconds after it is shown, label drawn across the bottom.
    Q_INVOKABLE void addPause(int frame, double seconds, const QString& label);
    // Drops every speed range and pause.
    Q_INVOKABLE void clearTiming();
    // Slow motion by motion-compensated in-between pictures (FFmpeg's
    // minterpolate) instead of repeated frames: the movement glides, at a few
    // times the export's time for the slow ranges. Off by default. The
    // drawings on an in-between picture are those of the frame before it; a
    // comparison export repeats frames.
    Q_INVOKABLE void setInterpolatedSlowMotion(bool on) { interpolated_ = on; }
    bool interpolatedSlowMotion() const { return interpolated_; }
    // A pause of seconds on every key moment of the analysis companion that lies
    // in the range, labelled with the moment's label, beside the pauses added by
    // hand (0 turns it off). The moments are read when the export starts.
    Q_INVOKABLE void pauseOnKeyMoments(double seconds);
    double keyMomentPauseSeconds() const { return keyMomentSeconds_; }
    // Comparison: a second clip (the overlay's second clip, or any) in step with
    // the first, its frame secondFirstFrame going with the range's first frame,
    // at the same pace by time. layout "sideBySide": the control's picture on the
    // left, the second clip at the same height on the right (the file twice as
    // wide, unless a size is set); "mixed": the second clip stretched over the
    // first at opacityPercent, the drawings on top, as the overlay mixes them;
    // "none" (the default): the control's picture alone. FileNotFound (53) for a
    // second clip that is not there, InvalidCall (5) for another layout name.
    Q_INVOKABLE void setComparison(const QString& layout, const QString& secondClip, int secondFirstFrame,
                                   int opacityPercent);
    QString comparison() const;
    // How long the file will play, in milliseconds, with the range and timing set now.
    Q_INVOKABLE double plannedDurationMs() const;

    Q_INVOKABLE void start(const QString& fileName);
    // Ends the running export; it finishes with cancelled true and leaves no file.
    Q_INVOKABLE void cancel();

signals:
    void progress(int percent, qint64 framesDone, qint64 framesTotal);
    void finished(const QString& fileName, bool cancelled);
    void failed(int number, const QString& description);

private:
    struct Timing;
    Timing timing() const;

    Trelvan& control_;
    DrawingSnapshot snapshot_;
    KeyMoments keyMoments_;
    double keyMomentSeconds_ = 0;
    std::function<void(const TvnError&)> reportFailure_;
    std::unique_ptr<ExportWorker> worker_;
    int first_ = 0;
    int last_ = -1;
    int width_ = 0;
    int height_ = 0;
    bool withSound_ = true;
    bool interpolated_ = false;
    QString preset_ = QStringLiteral("ultrafast");
    int quality_ = 20;
    int percent_ = 0;
    struct SpeedRange {
        int first, last;
        double factor;
    };
    struct Pause {
        int frame;
        double seconds;
        QString label;
    };
    std::vector<SpeedRange> speeds_;
    std::vector<Pause> pauses_;
    int comparisonLayout_ = 0;  // ExportRun::Comparison::Layout
    QString secondClip_;
    int secondFirstFrame_ = 0;
    int opacityPercent_ = 50;
    uint64_t job_ = 0;
    bool running_ = false;
    QString file_;
};

}  // namespace tvn
