#include "TransportBar.h"

#include "TimelineSlider.h"
#include "control/Trelvan.h"

#include <QComboBox>
#include <QLabel>
#include <QSettings>

namespace studio {

TransportBar::TransportBar(StudioContext context, QWidget* parent) : QToolBar(tr("Transport"), parent), ctx_(std::move(context)) {
    setObjectName(QStringLiteral("transport"));
    addAction(tr("Play/Pause"), this, &TransportBar::playPauseAsked)->setToolTip(tr("Play or pause (Space)"));
    addAction(tr("< Step"), this, &TransportBar::stepBackAsked)->setToolTip(tr("One frame back (Left arrow)"));
    addAction(tr("Step >"), this, &TransportBar::stepForwardAsked)->setToolTip(tr("One frame on (Right arrow)"));
    slider_ = new TimelineSlider(this);
    slider_->setRange(0, 0);
    slider_->setMinimumWidth(240);
    slider_->setToolTip(tr("Drag through the clip; the exact frame shows when you let go"));
    connect(slider_, &TimelineSlider::frameWanted, this, &TransportBar::frameWanted);
    // The drag showed quick pictures; letting go shows the exact frame under the handle.
    connect(slider_, &QSlider::sliderReleased, this, [this] { emit frameWanted(slider_->value()); });
    addWidget(slider_);
    time_ = new QLabel(this);
    time_->setMinimumWidth(200);
    time_->setToolTip(tr("Time of the frame shown and its number, counted from 0 as in the motion data, "
                         "beside the number of the clip's last frame"));
    addWidget(time_);
    rate_ = new QComboBox(this);
    for (const char* r : {"0.1", "0.25", "0.5", "1", "2", "4"}) rate_->addItem(QString::fromLatin1(r));
    rate_->setCurrentText(QStringLiteral("1"));
    connect(rate_, &QComboBox::currentTextChanged, this, [this](const QString& t) {
        double rate = t.toDouble();
        ctx_.run(tr("Rate"), [&] { ctx_.control->TVN_SetRate(rate); });
    });
    addWidget(new QLabel(tr(" Speed "), this));
    addWidget(rate_);
    rate_->setToolTip(tr("Playing speed; the sound keeps its pitch"));
    volume_ = new QSlider(Qt::Horizontal, this);
    volume_->setObjectName(QStringLiteral("volume"));
    volume_->setRange(0, 100);
    volume_->setValue(QSettings().value(QStringLiteral("transport/volume"), 85).toInt());
    volume_->setMaximumWidth(100);
    volume_->setToolTip(tr("Sound volume of the clip"));
    connect(volume_, &QSlider::valueChanged, this, [this](int v) {
        QSettings().setValue(QStringLiteral("transport/volume"), v);
        applyVolume();
    });
    addWidget(new QLabel(tr(" Volume "), this));
    addWidget(volume_);
}

void TransportBar::showReadout(const QString& readout) { time_->setText(readout); }

void TransportBar::applyVolume() {
    int32_t level = volume_->value();
    ctx_.run(tr("Volume"), [&] { ctx_.control->TVN_SetVolume(level); });
}

}  // namespace studio
