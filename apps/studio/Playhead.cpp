#include "Playhead.h"

#include "FilmStripLabels.h"
#include "OverlayPanel.h"
#include "TimeText.h"
#include "TimelineSlider.h"
#include "TransportBar.h"
#include "control/Trelvan.h"
#include "core/TvnError.h"

#include <QApplication>
#include <QTimer>
#include <cmath>

namespace studio {

Playhead::Playhead(StudioContext context, TransportBar* transport, OverlayPanel* overlay, FilmStripLabels* filmStrip,
                   QObject* parent)
    : QObject(parent), ctx_(std::move(context)), control_(ctx_.control), transport_(transport), overlay_(overlay), filmStrip_(filmStrip),
      poll_(new QTimer(this)) {
    connect(transport_, &TransportBar::playPauseAsked, this, &Playhead::playPause);
    connect(transport_, &TransportBar::stepBackAsked, this, &Playhead::stepBack);
    connect(transport_, &TransportBar::stepForwardAsked, this, &Playhead::stepForward);
    connect(transport_, &TransportBar::frameWanted, this, &Playhead::requestFrame);
    connect(filmStrip_, &FilmStripLabels::frameChosen, this, &Playhead::requestFrame);
    qApp->installEventFilter(this);  // the mixer's first painted frame starts the overlay's clock
    poll_->setInterval(50);  // the read-out follows play closely
    connect(poll_, &QTimer::timeout, this, &Playhead::update);
    poll_->start();
}

bool Playhead::eventFilter(QObject* watched, QEvent* event) {
    if (overlayClockWaits_ && event->type() == QEvent::Paint && watched == control_->visibleVideoWidget()) {
        overlayPlay_.restart();  // the mixer's first frame of the play is on screen: its clock starts now
        overlayClockWaits_ = false;
    }
    return QObject::eventFilter(watched, event);
}

void Playhead::update() {
    double pos = control_->TVN_CurrentPos;
    int frame = control_->TVN_CurrentFrame;
    if (overlay_->isActive() && overlayPlay_.isValid()) {
        // The overlay plays in the mixer, at normal speed, from where play started.
        pos = std::min(overlayPlayFromMs_ + double(overlayPlay_.elapsed()), control_->TVN_TotalLenMS);
        overlay_->followPlay(double(overlayPlay_.elapsed()));
        frame = control_->TVN_FrameLenMS > 0 ? int(std::floor(pos / control_->TVN_FrameLenMS)) : 0;
        frame = std::min(frame, std::max(0, control_->TVN_NumFrames - 1));
    } else {
        overlayPlay_.invalidate();
        overlay_->followPlay(-1);
        if (control_->TVN_IsPlaying) {
            tvn::ignoringErrors([this] { control_->TVN_GetPosLive(); });
            pos = control_->TVN_CurrentPos;
            frame = control_->TVN_CurrentFrame;
        }
    }
    if (filmStrip_->isVisible()) filmStrip_->update();
    const QString readout = tr("%1  %2").arg(TimeText::clock(pos), TimeText::frame(frame, control_->TVN_NumFrames));
    transport_->showReadout(readout);
    emit shown(readout);
    if (!transport_->slider().isSliderDown() && requestedFrame_ < 0) {
        const QSignalBlocker quiet(&transport_->slider());
        transport_->slider().setValue(frame);
    }
}

void Playhead::playPause() {
    if (overlay_->isActive()) {
        if (overlayPlay_.isValid()) {
            const int frame = control_->TVN_FrameLenMS > 0 ? int(std::min(overlayPlayFromMs_ + double(overlayPlay_.elapsed()),
                                                                      control_->TVN_TotalLenMS) / control_->TVN_FrameLenMS)
                                                       : 0;
            ctx_.run(tr("Pause"), [this] { control_->TVN_Pause(); });
            overlayPlay_.invalidate();
            // The main clip stays on the frame the read-out shows.
            setFrame(std::min(frame, std::max(0, control_->TVN_NumFrames - 1)));
        } else if (ctx_.run(tr("Play"), [this] { control_->TVN_Play(); })) {
            overlayPlayFromMs_ = control_->TVN_CurrentPos;
            overlayPlay_.start();
            overlayClockWaits_ = true;
        }
    } else if (control_->TVN_IsPlaying) {
        ctx_.run(tr("Pause"), [this] { control_->TVN_Pause(); });
    } else {
        ctx_.run(tr("Play"), [this] { control_->TVN_Play(); });
    }
    update();
}

void Playhead::stepForward() {
    if (overlayPlay_.isValid()) playPause();  // both clips stop first, where the read-out says
    ctx_.run(tr("Step"), [this] { control_->TVN_StepOneFrame(); });
    update();
}

void Playhead::stepBack() {
    if (overlayPlay_.isValid()) playPause();
    setFrame(std::max(0, control_->TVN_CurrentFrame - 1));
}

void Playhead::goTo(int frame) {
    if (overlayPlay_.isValid()) playPause();
    setFrame(frame);
}

void Playhead::setFrame(int frame) {
    int32_t f = frame;
    overlayPlay_.invalidate();
    ctx_.run(tr("Go to frame"), [&] { control_->TVN_SetFrame(f); });
    update();
}

void Playhead::requestFrame(int frame) {
    // Coalesced: while a jump is being shown, later requests only replace the
    // target; the next jump is asked when the event loop is back, after the last
    // one was painted, so the picture follows the hand instead of lagging behind.
    const bool scheduled = requestedFrame_ >= 0;
    requestedFrame_ = frame;
    if (!scheduled) QTimer::singleShot(0, this, &Playhead::showRequestedFrame);
}

void Playhead::showRequestedFrame() {
    const int frame = requestedFrame_;
    if (frame < 0) return;
    if (transport_->slider().isSliderDown()) {
        // While the handle is dragged, the quick picture nearest the frame; the exact one on release.
        overlayPlay_.invalidate();
        ctx_.run(tr("Go to frame"), [&] { control_->scrubToFrame(frame); });
        update();
    } else {
        setFrame(frame);
    }
    control_->visibleVideoWidget()->repaint();
    requestedFrame_ = -1;
}

}  // namespace studio
