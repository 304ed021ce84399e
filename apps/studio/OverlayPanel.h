#pragma once

#include "StudioContext.h"

#include <QPoint>
#include <QWidget>

class QCheckBox;
class QSlider;
class QSpinBox;

namespace studio {

// The second-clip overlay: open, opacity, mirror, position and frame steps of the
// second clip (its slider follows play), close. Dragging on the video aligns
// the second clip with the first: the second follows the hand while the main
// clip stays whole where it is (the control's placeSecondClip); the wheel scales
// the second clip about its middle. The main clip stays on the frame it was on
// when the second clip opens. And the bitmap overlay: an image laid over the
// video with a transparent colour and an alpha.
class OverlayPanel : public QWidget {
    Q_OBJECT
public:
    OverlayPanel(StudioContext context, QWidget* parent);

    bool isActive() const { return active_; }
    // Lays the clip over the open one, as "Open second clip..." does after its dialog.
    void openSecondClip(const QString& file);
    // A clip was opened or closed: any overlay went with the old one.
    void clipOpened();
    // The two clips play (elapsedMs since play started) or stopped (negative):
    // the second clip's slider follows its frame.
    void followPlay(double elapsedMs);
    int secondFrame() const { return secondFrame_; }

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
    int playFromFrame_ = -1;  // the second clip's frame when play started; -1 while stopped
    QPoint offset_;
    double scale_ = 1.0;
    QPoint dragStart_;
    QPoint offsetAtDrag_;
    bool dragging_ = false;
};

}  // namespace studio
