#include "export/VideoExport.h"

#include "control/Trelvan.h"
#include "core/LogCategories.h"
#include "core/TvnError.h"
#include "export/ExportDrawing.h"
#include "export/ExportPlan.h"
#include "export/ExportWorker.h"

#include <QDir>
#include <QFileInfo>
#include <cmath>

namespace tvn {

namespace {
[[noreturn]] void refuse(int32_t number, const QString& what) { throw TvnError(number, what, QStringLiteral("VideoExport")); }
}  // namespace

struct VideoExport::Timing {
    std::vector<ExportPlan::SpeedRange> speeds;
    std::vector<ExportPlan::Pause> pauses;
};

VideoExport::VideoExport(Trelvan& control, DrawingSnapshot snapshot, KeyMoments keyMoments,
                         std::function<void(const TvnError&)> reportFailure)
    : control_(control),
      snapshot_(std::move(snapshot)),
      keyMoments_(std::move(keyMoments)),
      reportFailure_(std::move(reportFailure)),
      worker_(std::make_unique<ExportWorker>()) {
    connect(worker_.get(), &ExportWorker::progress, this, [this](quint64 job, qint64 done, qint64 total) {
        if (job != job_) return;
        // 100 only once the file is complete and named.
        percent_ = total > 0 ? int(std::min<qint64>(99, done * 100 / total)) : 0;
        emit progress(percent_, done, total);
    });
    connect(worker_.get(), &ExportWorker::finished, this, [this](quint64 job, bool cancelled) {
        if (job != job_) return;
        running_ = false;
        if (!cancelled) percent_ = 100;
        emit finished(file_, cancelled);
    });
    connect(worker_.get(), &ExportWorker::failed, this, [this](quint64 job, const TvnError& error) {
        if (job != job_) return;
        running_ = false;
        const TvnError prefixed = error.prefixed("VideoExport_worker");
        if (reportFailure_) reportFailure_(prefixed);
        emit failed(prefixed.number(), prefixed.description());
    });
}

VideoExport::~VideoExport() = default;

// The export's state as its host sees it: from start until finished or failed
// reaches the UI thread. (The worker's thread is still winding the job up for
// a moment after it posted the end; a start meanwhile queues behind it.)
bool VideoExport::busy() const { return running_; }

void VideoExport::setRange(int first, int last) {
    first_ = first;
    last_ = last;
}

void VideoExport::addSlowMotion(int first, int last, double factor) {
    withPrefix("VideoExport.addSlowMotion", [&] {
        if (!(factor >= ExportPlan::MinFactor && factor <= ExportPlan::MaxFactor) || first > last || first < 0)
            refuse(err::InvalidCall, QStringLiteral("Cannot slow frames %1 to %2 by %3: a factor lies between %4 and %5, "
                                                    "the first frame at or before the last")
                                         .arg(first).arg(last).arg(factor).arg(ExportPlan::MinFactor).arg(ExportPlan::MaxFactor));
        speeds_.push_back({first, last, factor});
    });
}

void VideoExport::addPause(int frame, double seconds, const QString& label) {
    withPrefix("VideoExport.addPause", [&] {
        if (!(seconds > 0 && seconds <= ExportPlan::MaxPauseSeconds) || frame < 0)
            refuse(err::InvalidCall, QStringLiteral("Cannot pause on frame %1 for %2 s: a pause lasts more than 0 and at most %3 s")
                                         .arg(frame).arg(seconds).arg(ExportPlan::MaxPauseSeconds));
        pauses_.push_back({frame, seconds, label});
    });
}

void VideoExport::clearTiming() {
    speeds_.clear();
    pauses_.clear();
}

void VideoExport::setComparison(const QString& layout, const QString& secondClip, int secondFirstFrame,
                                int opacityPercent) {
    withPrefix("VideoExport.setComparison", [&] {
        using Layout = ExportRun::Comparison::Layout;
        const QString name = layout.trimmed().toLower();
        Layout chosen;
        if (name == QLatin1String("none")) chosen = Layout::None;
        else if (name == QLatin1String("sidebyside")) chosen = Layout::SideBySide;
        else if (name == QLatin1String("mixed")) chosen = Layout::Mixed;
        else refuse(err::InvalidCall, QStringLiteral("Cannot compare as '%1': the layouts are none, sideBySide and mixed").arg(layout));
        if (chosen != Layout::None && !QFileInfo(secondClip).isFile())
            refuse(err::FileNotFound, QStringLiteral("Cannot compare with '%1': file not found").arg(secondClip));
        comparisonLayout_ = int(chosen);
        secondClip_ = chosen == Layout::None ? QString() : secondClip;
        secondFirstFrame_ = std::max(0, secondFirstFrame);
        opacityPercent_ = std::clamp(opacityPercent, 0, 100);
    });
}

QString VideoExport::comparison() const {
    switch (ExportRun::Comparison::Layout(comparisonLayout_)) {
    case ExportRun::Comparison::Layout::SideBySide: return QStringLiteral("sideBySide");
    case ExportRun::Comparison::Layout::Mixed: return QStringLiteral("mixed");
    default: return QStringLiteral("none");
    }
}

void VideoExport::pauseOnKeyMoments(double seconds) {
    withPrefix("VideoExport.pauseOnKeyMoments", [&] {
        if (!(seconds >= 0 && seconds <= ExportPlan::MaxPauseSeconds))
            refuse(err::InvalidCall, QStringLiteral("Cannot pause %1 s on the key moments: a pause lasts at most %2 s (0: none)")
                                         .arg(seconds).arg(ExportPlan::MaxPauseSeconds));
        keyMomentSeconds_ = seconds;
    });
}

VideoExport::Timing VideoExport::timing() const {
    Timing t;
    for (const SpeedRange& s : speeds_) t.speeds.push_back({s.first, s.last, s.factor});
    for (const Pause& p : pauses_) t.pauses.push_back({p.frame, p.seconds, p.label});
    if (keyMomentSeconds_ > 0 && keyMoments_) {
        const int32_t frames = control_.TVN_NumFrames;
        const int last = last_ < 0 ? frames - 1 : last_;
        for (const auto& [frame, label] : keyMoments_())
            if (frame >= first_ && frame <= last) t.pauses.push_back({frame, keyMomentSeconds_, label});
    }
    return t;
}

double VideoExport::plannedDurationMs() const {
    return withPrefix("VideoExport.plannedDurationMs", [&] {
        const Timing t = timing();
        const int32_t frames = control_.TVN_NumFrames;
        return ExportPlan::make(first_, last_ < 0 ? frames - 1 : last_, frames, t.speeds, t.pauses, control_.TVN_FrameLenMS)
            .durationMs();
    });
}

void VideoExport::start(const QString& fileName) {
    withPrefix("VideoExport.start", [&] {
        if (busy()) refuse(err::InvalidCall, QStringLiteral("Cannot export to '%1': an export is running").arg(fileName));
        const QString clip = control_.TVN_videoFileName;
        if (clip.isEmpty()) refuse(err::InvalidCall, QStringLiteral("Cannot export to '%1': no clip is open").arg(fileName));
        const QFileInfo target(fileName);
        if (fileName.isEmpty() || target.fileName().isEmpty() || target.isDir())
            refuse(err::PathFileAccess, QStringLiteral("Cannot export to '%1': not a file name").arg(fileName));
        const QFileInfo folder(target.absolutePath());
        if (!folder.isDir())
            refuse(err::PathFileAccess, QStringLiteral("Cannot export to '%1': the folder does not exist").arg(fileName));
        if (!folder.isWritable())
            refuse(err::PathFileAccess, QStringLiteral("Cannot export to '%1': the folder cannot be written").arg(fileName));
        if (target.exists() && QFileInfo(clip).exists() && target.canonicalFilePath() == QFileInfo(clip).canonicalFilePath())
            refuse(err::PathFileAccess, QStringLiteral("Cannot export to '%1': it is the clip being exported").arg(fileName));
        if (width_ < 0 || height_ < 0 || (width_ == 0) != (height_ == 0) || width_ > 7680 || height_ > 4320)
            refuse(err::InvalidCall, QStringLiteral("Cannot export at %1 x %2: give both sides (up to 7680 x 4320), or 0 x 0 for the clip's size")
                                         .arg(width_).arg(height_));
        const Timing t = timing();
        const int32_t frames = control_.TVN_NumFrames;
        ExportRun::Job job{clip, target.absoluteFilePath(),
                           ExportPlan::make(first_, last_ < 0 ? frames - 1 : last_, frames, t.speeds, t.pauses,
                                            control_.TVN_FrameLenMS),
                           snapshot_(), {}, {}};
        job.settings.container = VideoFileWriter::containerFor(fileName);
        job.settings.width = width_;
        job.settings.height = height_;
        job.settings.sound = withSound_;
        job.settings.preset = preset_;
        job.settings.quality = quality_;
        job.comparison.layout = ExportRun::Comparison::Layout(comparisonLayout_);
        job.comparison.clip = secondClip_;
        job.comparison.firstFrame = secondFirstFrame_;
        job.comparison.opacityPercent = opacityPercent_;
        job.interpolateSlowMotion = interpolated_;
        job.deinterlace = job.drawing->deinterlaced();
        file_ = job.file;
        percent_ = 0;
        job_ = worker_->start(std::move(job));
        running_ = true;
    });
}

void VideoExport::cancel() { worker_->cancelAll(); }

}  // namespace tvn
