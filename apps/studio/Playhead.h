#pragma once

#include "StudioContext.h"

#include <QElapsedTimer>
#include <QObject>

class QTimer;

namespace studio {

class FilmStripLabels;
class OverlayPanel;
class TransportBar;

// Where the clip is and how the coach moves it: play and pause, the steps, the
// jumps the slider asks for (coalesced, so the picture follows the hand), and the
// read-out that follows play. While a second clip is laid over the first, the
// mixer plays both on its own clock, which starts when it paints the play's first
// frame; the read-out and the main clip follow that clock.
class Playhead : public QObject {
    Q_OBJECT
public:
    Playhead(StudioContext context, TransportBar* transport, OverlayPanel* overlay, FilmStripLabels* filmStrip, QObject* parent);

    void playPause();
    void stepBack();
    void stepForward();
    // Shows the exact frame now.
    void setFrame(int frame);
    // As setFrame, a second clip playing over the first stopping first, where the read-out says.
    void goTo(int frame);
    // Asks for a frame: shown when the event loop is back, the latest ask winning.
    void requestFrame(int frame);
    // Brings the read-out, the slider and the film strip's labels up to the control's position.
    void update();

signals:
    // The read-out was brought up to date (time and frame, as the transport shows it).
    void shown(const QString& readout);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void showRequestedFrame();

    StudioContext ctx_;
    tvn::Trelvan* control_;
    TransportBar* transport_;
    OverlayPanel* overlay_;
    FilmStripLabels* filmStrip_;
    QTimer* poll_;
    int requestedFrame_ = -1;  // the latest frame the slider asked for, not yet shown
    QElapsedTimer overlayPlay_;
    double overlayPlayFromMs_ = 0;
    bool overlayClockWaits_ = false;  // until the mixer paints the play's first frame
};

}  // namespace studio
