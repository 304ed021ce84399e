#include "motion/PointTracker.h"

#include "core/TvnError.h"

#include <opencv2/imgproc.hpp>
#include <opencv2/video/tracking.hpp>

#include <algorithm>
#include <cmath>

namespace tvn::motion {

namespace {

// Our positions count from the corner of the first pixel, OpenCV's from its centre.
constexpr float kHalf = 0.5f;

// The picture as 8-bit gray (shared when it is already), and an OpenCV view of
// it that stays valid while gray lives.
cv::Mat wrap(const QImage& picture, QImage& gray) {
    gray = picture.format() == QImage::Format_Grayscale8 ? picture : picture.convertToFormat(QImage::Format_Grayscale8);
    return cv::Mat(gray.height(), gray.width(), CV_8UC1, const_cast<uchar*>(gray.constBits()),
                   size_t(gray.bytesPerLine()));
}

// The patch of size side x side centred on c (OpenCV coordinates), sampled
// bilinearly at a fractional centre; the border is repeated outside the picture.
cv::Mat patchAt(const cv::Mat& picture, cv::Point2f c, int side) {
    cv::Mat patch;
    cv::getRectSubPix(picture, cv::Size(side, side), c, patch);
    return patch;
}

// The vertex of the parabola through three samples, as an offset from the middle one (-0.5 to 0.5).
double parabolaPeak(float left, float mid, float right) {
    const double denom = double(left) - 2.0 * double(mid) + double(right);
    return denom < 0 ? std::clamp(0.5 * (double(left) - double(right)) / denom, -0.5, 0.5) : 0.0;
}

}  // namespace

struct PointTracker::Impl {
    Options options;
    int side = 0;        // anchor patch size
    int margin = 0;      // extra border around the anchor for the sub-pixel refinement
    cv::Mat anchor;      // what the point looks like now (renewed on slow changes)
    cv::Mat anchorWide;  // the same with the margin, for the refinement
    cv::Mat marked;      // what it looked like where it was marked
    cv::Point2f markedOffset;
    // The anchor is cut on whole pixels (interpolating a patch blurs fine
    // texture, which would then match nothing well): its centre is the pixel
    // nearest the point, and the point lies offset from it.
    cv::Point2f offset;
    cv::Point2f position, previous;
    bool moved = false;  // previous is a real earlier position (its motion is known)
    cv::Size pictureSize;

    void takeAnchor(const cv::Mat& picture) {
        const cv::Point2f centre(std::round(position.x), std::round(position.y));
        offset = position - centre;
        anchor = patchAt(picture, centre, side);
        anchorWide = patchAt(picture, centre, side + 2 * margin);
    }

    // The whole-pixel match with a parabola's fraction on top, in picture coordinates,
    // or a negative score when the region around the prediction holds no room for the patch.
    double match(const cv::Mat& picture, cv::Point2f predicted, int radius, cv::Point2f& found) const {
        const int r = options.patchRadius;
        const int cx = int(std::lround(predicted.x)), cy = int(std::lround(predicted.y));
        const cv::Rect region =
            cv::Rect(cx - radius - r, cy - radius - r, 2 * (radius + r) + 1, 2 * (radius + r) + 1) &
            cv::Rect(0, 0, picture.cols, picture.rows);
        if (region.width < side || region.height < side) return -1;
        cv::Mat scores;
        cv::matchTemplate(picture(region), anchor, scores, cv::TM_CCOEFF_NORMED);
        double best = 0;
        cv::Point at;
        cv::minMaxLoc(scores, nullptr, &best, nullptr, &at);
        double fx = 0, fy = 0;
        if (at.x > 0 && at.x + 1 < scores.cols)
            fx = parabolaPeak(scores.at<float>(at.y, at.x - 1), scores.at<float>(at.y, at.x), scores.at<float>(at.y, at.x + 1));
        if (at.y > 0 && at.y + 1 < scores.rows)
            fy = parabolaPeak(scores.at<float>(at.y - 1, at.x), scores.at<float>(at.y, at.x), scores.at<float>(at.y + 1, at.x));
        found = cv::Point2f(float(region.x + at.x + r + fx), float(region.y + at.y + r + fy));
        return best;
    }

    // The best correlation of the marked patch within a pixel of where it lies
    // now (on whole pixels, as the anchor is matched).
    double likenessToMarked(const cv::Mat& picture, cv::Point2f point) const {
        const cv::Point2f centre = point - markedOffset;
        const cv::Mat around = patchAt(picture, cv::Point2f(std::round(centre.x), std::round(centre.y)), side + 2);
        cv::Mat scores;
        cv::matchTemplate(around, marked, scores, cv::TM_CCOEFF_NORMED);
        double best = 0;
        cv::minMaxLoc(scores, nullptr, &best);
        return best;
    }

    // Lucas-Kanade from the anchor to the picture around the match: the
    // fraction of a pixel the correlation's grid cannot give. Keeps the match
    // when the refinement fails or strays (the match is then within a pixel).
    cv::Point2f refine(const cv::Mat& picture, cv::Point2f matched) const {
        const cv::Point2f centre(std::round(matched.x), std::round(matched.y));
        const int wide = side + 2 * margin;
        const cv::Mat around = patchAt(picture, centre, wide);
        const float mid = float(wide / 2);
        std::vector<cv::Point2f> from{{mid, mid}}, to{{mid + matched.x - centre.x, mid + matched.y - centre.y}};
        std::vector<uchar> status;
        std::vector<float> error;
        cv::calcOpticalFlowPyrLK(anchorWide, around, from, to, status, error, cv::Size(side, side), 0,
                                 cv::TermCriteria(cv::TermCriteria::COUNT | cv::TermCriteria::EPS, 30, 0.001),
                                 cv::OPTFLOW_USE_INITIAL_FLOW);
        const cv::Point2f refined = centre + (to[0] - cv::Point2f(mid, mid));
        if (status.empty() || !status[0] || std::hypot(refined.x - matched.x, refined.y - matched.y) > 1.0f) return matched;
        return refined;
    }
};

PointTracker::PointTracker(const QImage& picture, QPointF p, const Options& options) : d(std::make_unique<Impl>()) {
    QImage gray;
    const cv::Mat frame = wrap(picture, gray);
    d->options = options;
    d->side = 2 * options.patchRadius + 1;
    d->margin = 4;  // room for the refinement's window to slide a few pixels
    d->pictureSize = frame.size();
    if (!(p.x() >= 0 && p.y() >= 0 && p.x() <= frame.cols && p.y() <= frame.rows))
        throw TvnError(err::InvalidCall,
                       QStringLiteral("Cannot track the point (%1, %2): it lies outside the %3 x %4 picture")
                           .arg(p.x()).arg(p.y()).arg(frame.cols).arg(frame.rows),
                       QStringLiteral("PointTracker"));
    d->position = d->previous = cv::Point2f(float(p.x()) - kHalf, float(p.y()) - kHalf);
    d->takeAnchor(frame);
    d->marked = d->anchor.clone();
    d->markedOffset = d->offset;
    cv::Scalar mean, deviation;
    cv::meanStdDev(d->anchor, mean, deviation);
    // Correlation needs contrast to tell places apart: a few grey levels is noise.
    if (deviation[0] < 4.0)
        throw TvnError(err::InvalidCall,
                       QStringLiteral("Cannot track the point (%1, %2): the picture around it has no detail to follow")
                           .arg(p.x()).arg(p.y()),
                       QStringLiteral("PointTracker"));
}

PointTracker::~PointTracker() = default;
PointTracker::PointTracker(PointTracker&&) noexcept = default;
PointTracker& PointTracker::operator=(PointTracker&&) noexcept = default;

QPointF PointTracker::position() const { return {d->position.x + kHalf, d->position.y + kHalf}; }

PointTracker::Step PointTracker::next(const QImage& picture) {
    QImage gray;
    const cv::Mat frame = wrap(picture, gray);
    Step step;
    if (frame.size() != d->pictureSize) {
        step.lostReason = QStringLiteral("the picture changed size");
        return step;
    }
    // Constant velocity from the last two positions; the search grows with the
    // speed, and is wide on the first step, whose motion nothing foretells.
    const cv::Point2f velocity = d->position - d->previous;
    const cv::Point2f predicted = d->position + velocity;
    const float speed = std::hypot(velocity.x, velocity.y);
    const int radius = d->moved ? std::clamp(int(std::ceil(float(d->options.minSearchRadius) + speed)),
                                             d->options.minSearchRadius, d->options.maxSearchRadius)
                                : std::max(d->options.minSearchRadius, d->options.maxSearchRadius / 2);
    const cv::Rect inside(0, 0, frame.cols, frame.rows);
    if (!inside.contains(cv::Point(int(std::lround(predicted.x)), int(std::lround(predicted.y)))) &&
        !inside.contains(cv::Point(int(std::lround(d->position.x)), int(std::lround(d->position.y))))) {
        step.lostReason = QStringLiteral("left the picture");
        return step;
    }
    cv::Point2f matched;
    const double score = d->match(frame, predicted - d->offset, radius, matched);
    step.confidence = std::max(0.0, score);
    if (score < 0) {
        step.lostReason = QStringLiteral("left the picture");
        return step;
    }
    if (score < d->options.lostBelow) {
        step.lostReason = QStringLiteral("occluded or changed beyond recognition (match %1)").arg(score, 0, 'f', 2);
        return step;
    }
    const cv::Point2f found = d->refine(frame, matched) + d->offset;
    if (score < d->options.renewBelow && d->likenessToMarked(frame, found) < d->options.markedAtLeast) {
        // Renew the anchor only while the point still resembles what was marked:
        // otherwise a creeping occluder would become the anchor.
        step.lostReason = QStringLiteral("changed beyond recognition since it was marked (match %1)").arg(score, 0, 'f', 2);
        return step;
    }
    d->previous = d->position;
    d->position = found;
    d->moved = true;
    if (score < d->options.renewBelow) d->takeAnchor(frame);
    step.found = true;
    step.position = position();
    return step;
}

}  // namespace tvn::motion
