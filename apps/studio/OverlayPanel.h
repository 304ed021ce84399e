#pragma once

#include "StudioContext.h"

#include <QPoint>
#include <QWidget>

class QCheckBox;
class QSlider;
class QSpinBox;

namespace studio {

// The second-clip overlay: open, opacity, mirror, position and frame steps of the
// second clip, close. Dragging on the video aligns the second clip with the
// first: the second follows the hand relative to the main clip (the control
// moves the two by opposite offsets, so each moves half the drag); the wheel
// scales the main clip. The main clip stays on the frame it was on when the
// second clip opens. And the bitmap overlay: an image laid over the video with a
// transparent colour and an alpha.
class OverlayPanel : public QWidget {
    Q_OBJECT
public:
    OverlayPanel(StudioContext context, QWidget* parent);

    bool isActive() const { return active_; }
    // Lays the clip over the open one, as "Open second clip..." does after its dialog.
    void openSecondClip(const QString& file);
    // A clip was opened or closed: any overlay went with the old one.
    void clipOpened();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void chooseSecondClip();
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
