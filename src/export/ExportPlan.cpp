#include "export/ExportPlan.h"

#include "core/TvnError.h"

#include <cmath>

namespace tvn {

namespace {
[[noreturn]] void refuse(const QString& what) { throw TvnError(err::InvalidCall, what, QStringLiteral("VideoExport")); }
}  // namespace

ExportPlan ExportPlan::make(int32_t first, int32_t last, int32_t frameCount, const std::vector<SpeedRange>& speeds,
                            const std::vector<Pause>& pauses, double frameMs) {
    if (frameCount <= 0 || !(frameMs > 0)) refuse(QStringLiteral("Cannot export: no clip is open"));
    if (first < 0 || last >= frameCount || first > last)
        refuse(QStringLiteral("Cannot export frames %1 to %2: the clip has frames 0 to %3").arg(first).arg(last).arg(frameCount - 1));
    for (const SpeedRange& s : speeds) {
        if (!(s.factor >= MinFactor && s.factor <= MaxFactor))
            refuse(QStringLiteral("Cannot slow frames %1 to %2 by %3: the factor must lie between %4 and %5")
                       .arg(s.first).arg(s.last).arg(s.factor).arg(MinFactor).arg(MaxFactor));
        if (s.first > s.last) refuse(QStringLiteral("Cannot slow frames %1 to %2: the first comes after the last").arg(s.first).arg(s.last));
    }
    for (const Pause& p : pauses) {
        if (p.frame < first || p.frame > last)
            refuse(QStringLiteral("Cannot pause on frame %1: it is outside the exported frames %2 to %3").arg(p.frame).arg(first).arg(last));
        if (!(p.seconds > 0 && p.seconds <= MaxPauseSeconds))
            refuse(QStringLiteral("Cannot pause on frame %1 for %2 s: a pause lasts more than 0 and at most %3 s")
                       .arg(p.frame).arg(p.seconds).arg(MaxPauseSeconds));
    }

    ExportPlan plan;
    plan.frameMs_ = frameMs;
    double shown = 0;  // the exact output length so far, in frames
    for (int32_t f = first; f <= last; ++f) {
        double factor = 1;
        for (const SpeedRange& s : speeds)
            if (s.first <= f && f <= s.last) factor = s.factor;
        const double before = shown;
        shown += factor;
        Step step;
        step.frame = f;
        step.factor = factor;
        step.copies = std::llround(shown) - std::llround(before);
        plan.outputFrames_ += step.copies;
        plan.steps_.push_back(step);
        for (const Pause& p : pauses) {
            if (p.frame != f) continue;
            Step hold;
            hold.frame = f;
            hold.pause = true;
            hold.factor = 0;
            hold.label = p.label;
            hold.copies = std::max<int64_t>(1, std::llround(p.seconds * 1000.0 / frameMs));
            plan.outputFrames_ += hold.copies;
            plan.steps_.push_back(hold);
        }
    }
    if (plan.outputFrames_ == 0) {
        // A single frame at a high speed: it is still shown once.
        plan.steps_.front().copies = 1;
        plan.outputFrames_ = 1;
    }
    return plan;
}

}  // namespace tvn
