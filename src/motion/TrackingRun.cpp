#include "motion/TrackingRun.h"

#include "core/TvnError.h"
#include "media/FrameSource.h"
#include "motion/PointTracker.h"

#include <algorithm>
#include <cmath>
#include <optional>

namespace tvn::motion {

namespace {

// One point being followed and what it gathered, in the order the frames came.
struct Follower {
    std::optional<PointTracker> tracker;  // empty once lost
    Track track;
};

}  // namespace

TrackingResult TrackingRun::run(const TrackingRequest& request, const Progress& progress,
                                const std::atomic<bool>& cancel) {
    return withPrefix("TrackingRun", [&] {
        if (request.points.empty())
            throw TvnError(err::InvalidCall, QStringLiteral("No points to track in '%1'").arg(request.clip),
                           QStringLiteral("TrackingRun"));
        FrameSource::Options options;
        options.grayscale = true;
        // Forward, nothing is looked at twice; backward, the frames of a keyframe
        // interval are decoded together and handed out one by one from the cache.
        options.keepFramesAround = request.backward;
        const std::unique_ptr<FrameSource> source = FrameSource::open(request.clip, options);
        VideoFrame frame = source->seek(request.startMs);
        if (frame.isNull())
            throw TvnError(err::ClipOpenFailed, QStringLiteral("Cannot decode the start frame of '%1'").arg(request.clip),
                           QStringLiteral("TrackingRun"));

        std::vector<Follower> followers(request.points.size());
        for (size_t i = 0; i < followers.size(); ++i) {
            followers[i].tracker.emplace(frame.image, request.points[i]);
            followers[i].track.samples.push_back(
                {request.startFrame, frame.positionMs, request.points[i].x(), request.points[i].y(), 1.0});
        }
        const int step = request.backward ? -1 : 1;
        const int available = request.backward
                                  ? request.startFrame
                                  : std::max(0, int(std::llround(source->info().frameCount)) - 1 - request.startFrame);
        const int total = request.maxFrames >= 0 ? std::min(request.maxFrames, available) : available;

        TrackingResult result;
        int done = 0, active = int(followers.size());
        while (done < total && active > 0) {
            if (cancel.load()) {
                result.cancelled = true;
                break;
            }
            const double before = frame.positionMs;
            frame = request.backward ? source->stepBackward() : source->stepForward();
            // The decoder stays on the first or last frame at the clip's ends
            // (a frame count from the container's table may be off by one).
            if (frame.isNull() || frame.positionMs == before) break;
            ++done;
            const int number = request.startFrame + step * done;
            for (Follower& f : followers) {
                if (!f.tracker) continue;
                const PointTracker::Step s = f.tracker->next(frame.image);
                if (s.found) {
                    f.track.samples.push_back({number, frame.positionMs, s.position.x(), s.position.y(), s.confidence});
                } else {
                    f.track.loss = TrackLoss{number, frame.positionMs, s.lostReason};
                    f.tracker.reset();
                    --active;
                }
            }
            if (progress) progress(done, total);
        }
        for (Follower& f : followers) {
            if (request.backward) std::reverse(f.track.samples.begin(), f.track.samples.end());
            result.tracks.push_back(std::move(f.track));
        }
        return result;
    });
}

}  // namespace tvn::motion
