#include "export/SlowMotionFrames.h"

#include "core/TvnError.h"

#include <cmath>

namespace tvn {

SlowMotionFrames::SlowMotionFrames(const QString& clip, FrameSource::Options options, int32_t firstFrame,
                                   double frameMs, double factor) {
    options.keepFramesAround = false;
    options.planar = true;
    source_ = FrameSource::open(clip, options);
    pending_ = source_->seek(firstFrame * frameMs + 1.0);
    if (pending_.planar.isNull()) return;
    try {
        interpolator_ = FrameInterpolator::create(pending_.planar.width(), pending_.planar.height(), frameMs, factor);
    } catch (const TvnError&) {
        // A picture the interpolation cannot take (under 32 pixels a side): the range repeats its frames.
        interpolator_.reset();
    }
}

bool SlowMotionFrames::feed() {
    if (sourceDone_) return false;
    interpolator_->push(pending_.planar);
    const VideoFrame next = source_->stepForward();
    // At the clip's last frame a step stays there.
    if (next.planar.isNull() || next.positionMs <= pending_.positionMs) sourceDone_ = true;
    else pending_ = next;
    return true;
}

std::optional<FrameInterpolator::Picture> SlowMotionFrames::pull() {
    for (;;) {
        if (auto p = interpolator_->next()) return p;
        if (feed()) continue;
        if (ended_) return std::nullopt;
        interpolator_->end();
        ended_ = true;
    }
}

PlanarPicture SlowMotionFrames::at(double position) {
    if (!interpolator_) return {};
    while (!after_ || after_->position < position) {
        std::optional<FrameInterpolator::Picture> next = pull();
        if (!next) break;  // past the clip's end: the last picture stays
        before_ = std::move(after_);
        after_ = std::move(next);
    }
    if (before_ && (!after_ || std::abs(before_->position - position) < std::abs(after_->position - position)))
        return before_->picture;
    return after_ ? after_->picture : PlanarPicture();
}

}  // namespace tvn
