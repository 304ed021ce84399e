#pragma once

#include <QImage>
#include <QPointF>
#include <QString>
#include <memory>

namespace tvn::motion {

// Follows one point from picture to picture of a clip.
//
// The point is remembered by its appearance: the patch around it on the frame
// where it was marked (its anchor). On each next picture the anchor is searched
// for by normalised cross-correlation (template matching) in a region around
// where the point's last motion predicts it, not in the whole picture; the best
// whole-pixel match is refined to a fraction of a pixel by Lucas-Kanade between
// the anchor and the picture around the match, which follows the intensity
// gradients rather than fitting a curve to the correlation peak, and so does not
// pull positions towards whole pixels.
//
// A point whose appearance has changed a little (turning, light, blur) has its
// anchor renewed from the picture where it was still clearly found, so it can be
// followed through slow changes; the patch it was marked with stays the judge,
// so a renewed anchor cannot wander off onto what covers or surrounds it. When the
// best match is too poor (occluded, blurred beyond recognition) or the point
// leaves the picture, next() reports it lost with the reason, and the caller
// stops following it rather than guess.
//
// Pictures are all of one size, best 8-bit grayscale (QImage::Format_Grayscale8;
// others are converted);
// positions are in pixels with the origin at the top-left corner of the
// top-left pixel. Used from one thread.
class PointTracker {
public:
    struct Options {
        int patchRadius = 12;       // the anchor is (2r+1) pixels square
        int minSearchRadius = 16;   // searched at least this far around the prediction
        int maxSearchRadius = 160;  // and at most this far, however fast the point moved
        double lostBelow = 0.6;     // correlation with the anchor under which the point counts as lost
        double renewBelow = 0.75;   // correlation under which a found point's anchor is renewed
        double markedAtLeast = 0.4; // correlation with the marked patch a renewed anchor must keep
    };
    struct Step {
        bool found = false;
        QPointF position;
        double confidence = 0;  // correlation with the anchor, 0 to 1
        QString lostReason;     // when not found
    };

    // Starts at p on picture. Throws TvnError (InvalidCall) when p lies outside
    // the picture or the patch around it has no detail to follow (a plain wall).
    PointTracker(const QImage& picture, QPointF p, const Options& options);
    PointTracker(const QImage& picture, QPointF p) : PointTracker(picture, p, Options{}) {}
    ~PointTracker();
    PointTracker(PointTracker&&) noexcept;
    PointTracker& operator=(PointTracker&&) noexcept;

    // Finds the point on the next picture (the one after, or before when
    // tracking backward, the picture of the previous call).
    Step next(const QImage& picture);
    QPointF position() const;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

}  // namespace tvn::motion
