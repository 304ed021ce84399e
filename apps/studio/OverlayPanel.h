#pragma once

#include "StudioContext.h"

#include <QPoint>
#include <QWidget>

class QCheckBox;
class QSlider;
class QSpinBox;

namespace studio {

// The second-clip overlay: open, opacity, mirror, position and frame steps of the
// second clip, close; the main clip is moved by dragging it and scaled with the
// wheel while the overlay shows. And the bitmap overlay: an image laid over the
// video with a transparent colour and an alpha.
class OverlayPanel : public QWidget {
    Q_OBJECT
public:
    OverlayPanel(StudioContext context, QWidget* parent);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void openSecondClip();
    void closeOverlay();
    void adjust();
    void seekSecond(int frame);
    void chooseBitmap();

    StudioContext ctx_;
    QSlider* opacity_;
    QSlider* position_;
    QSpinBox* alpha_;
    QCheckBox* mirror_;
    bool active_ = false;
    double secondDurationMs_ = 0;
    int secondFrames_ = 0;
    int secondFrame_ = 0;
    QPoint offset_;
    double scale_ = 1.0;
    QPoint dragStart_;
    QPoint offsetAtDrag_;
    bool dragging_ = false;
};

}  // namespace studio
