#pragma once

#include <QObject>
#include <QPointF>
#include <functional>

namespace tvn {
class Trelvan;
}

namespace studio {

// Gives the two-stroke angle its value where the control cannot: it compares the
// first arm's end (the last move, unrounded) with the second arm's start (the
// release, rounded to whole twips), so at a pointer scale that is not whole the
// two never meet and the text stays empty. While `needed` says so, this follows
// the two strokes through the control's pointer events (clip pixels), measures
// the angle itself and puts it in the public TVN_AngleText, which the control
// draws and stores with the angle when the second stroke ends.
class TwoStrokeAngle : public QObject {
    Q_OBJECT
public:
    TwoStrokeAngle(tvn::Trelvan* control, std::function<bool()> needed, QObject* parent);

    // The angle at vertex between the arms to a and b, in whole degrees (halves
    // to even) with a degree sign, as the control writes it ("°" alone for 0).
    static QString angleText(QPointF a, QPointF vertex, QPointF b);

private:
    tvn::Trelvan* control_;
    std::function<bool()> needed_;
    QPointF far_;     // where the first stroke started
    QPointF vertex_;  // where it ended
};

}  // namespace studio
