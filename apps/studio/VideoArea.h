#pragma once

#include <QSize>
#include <QWidget>

namespace tvn {
class Trelvan;
}

namespace studio {

// The black area the control sits in. The control stretches the video over its
// whole size, so the area gives it the clip's proportions, centred, on every
// resize. Where it can, it picks a size at which the control's mapping from
// pointer positions to drawing coordinates is whole: the control keeps drawing
// coordinates in clip twips and rounds a released pointer to whole twips, and
// the two-stroke angle only shows its value when the first arm's end (the last
// move) and the second arm's start (the release, rounded) are the same point.
// With clip twips / control pixels a whole number every pointer position maps
// to a whole coordinate, and the rounding changes nothing.
class VideoArea : public QWidget {
    Q_OBJECT
public:
    VideoArea(tvn::Trelvan* control, QWidget* parent);

    // The clip's size in pixels; an empty size lets the control fill the area.
    void setClipSize(QSize clip);

    // Where the control goes in an area of the given size for a clip of the given
    // size, at twipsPerPixel twips per screen pixel: the largest rectangle of the
    // clip's proportions (within 0.5 %) at which clip twips / control pixels is
    // whole on both axes, unless that is under 85 % of the largest exact fit,
    // which is then used. Centred.
    static QRect placeControl(QSize area, QSize clip, double twipsPerPixel);
    // Whether clip twips per control pixel is whole now (the control's own
    // two-stroke angle then shows its value).
    bool wholePointerScale() const;

signals:
    // The control's new place in the area (for what the studio lays over it).
    void controlPlaced(QRect geometry);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void place();

    tvn::Trelvan* control_;
    QSize clip_;
};

}  // namespace studio
