#pragma once

#include "StudioContext.h"

#include <QToolBar>

class QComboBox;
class QLabel;
class QSlider;

namespace studio {

class TimelineSlider;

// The transport toolbar: play/pause and the steps, the frame slider, the time
// read-out, the playing speed and the sound volume. The speed goes to the control
// as it is chosen; the volume is kept between runs and handed to the control at
// start and on every open (applyVolume), since the control starts silent.
class TransportBar : public QToolBar {
    Q_OBJECT
public:
    TransportBar(StudioContext context, QWidget* parent);

    TimelineSlider& slider() { return *slider_; }
    void showReadout(const QString& readout);
    void applyVolume();

signals:
    void playPauseAsked();
    void stepBackAsked();
    void stepForwardAsked();
    // A frame the slider asks for: each move of a drag, a click on the track, and the release.
    void frameWanted(int frame);

private:
    StudioContext ctx_;
    TimelineSlider* slider_;
    QLabel* time_;
    QComboBox* rate_;
    QSlider* volume_;
};

}  // namespace studio
