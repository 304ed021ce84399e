#include "OverlayPanel.h"

#include "ClipDialog.h"

#include "control/ClipProbe.h"
#include "control/Trelvan.h"
#include "core/BitmapTable.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QImageReader>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QSlider>
#include <QSettings>
#include <QSpinBox>
#include <QWheelEvent>
#include <cmath>

namespace studio {

OverlayPanel::OverlayPanel(StudioContext context, QWidget* parent) : QWidget(parent), ctx_(std::move(context)) {
    auto* form = new QFormLayout(this);
    form->setRowWrapPolicy(QFormLayout::WrapLongRows);  // narrow panel: fields go under their labels
    auto* open = new QPushButton(tr("Open second clip..."), this);
    auto* close = new QPushButton(tr("Close overlay"), this);
    connect(open, &QPushButton::clicked, this, &OverlayPanel::chooseSecondClip);
    connect(close, &QPushButton::clicked, this, &OverlayPanel::closeOverlay);
    form->addRow(open, close);
    auto* hint = new QLabel(tr("Drag on the video to move the second clip over the first; the wheel scales the second clip."), this);
    hint->setWordWrap(true);
    form->addRow(hint);

    opacity_ = new QSlider(Qt::Horizontal, this);
    opacity_->setRange(0, 100);
    opacity_->setValue(50);
    connect(opacity_, &QSlider::valueChanged, this, &OverlayPanel::adjust);
    form->addRow(tr("Opacity"), opacity_);

    opacity_->setToolTip(tr("How much the second clip covers the first"));
    mirror_ = new QCheckBox(tr("Mirror second clip"), this);
    mirror_->setToolTip(tr("Flips the second clip left to right (a left-hander against a right-hander)"));
    connect(mirror_, &QCheckBox::toggled, this, [this](bool on) {
        if (!active_) return;
        ctx_.run(tr("Mirror second clip"), [&] { ctx_.control->TVN_FlipOverlay(on); });
        adjust();  // where the coach put it
    });
    form->addRow(mirror_);

    position_ = new QSlider(Qt::Horizontal, this);
    position_->setToolTip(tr("The second clip's frame; it follows while the two play"));
    connect(position_, &QSlider::valueChanged, this, &OverlayPanel::seekSecond);
    form->addRow(tr("Second clip"), position_);
    auto* steps = new QHBoxLayout;
    auto* back = new QPushButton(tr("< Frame"), this);
    auto* forward = new QPushButton(tr("Frame >"), this);
    connect(back, &QPushButton::clicked, this, [this] { position_->setValue(secondFrame_ - 1); });
    connect(forward, &QPushButton::clicked, this, [this] { position_->setValue(secondFrame_ + 1); });
    steps->addWidget(back);
    steps->addWidget(forward);
    form->addRow(steps);

    auto* bitmap = new QPushButton(tr("Bitmap overlay..."), this);
    auto* key = new QPushButton(tr("Transparent colour..."), this);
    alpha_ = new QSpinBox(this);
    alpha_->setRange(-1, 255);
    alpha_->setValue(-1);
    alpha_->setSpecialValueText(tr("opaque"));
    connect(bitmap, &QPushButton::clicked, this, &OverlayPanel::chooseBitmap);
    connect(key, &QPushButton::clicked, this, [this] {
        const QColor c = QColorDialog::getColor(StudioContext::toQColor(ctx_.control->TVN_TransparentColor), this);
        if (c.isValid()) ctx_.control->TVN_TransparentColor = StudioContext::fromQColor(c);
    });
    connect(alpha_, &QSpinBox::valueChanged, this, [this](int a) { ctx_.control->TVN_AlphaLevel = a; });
    form->addRow(bitmap, key);
    form->addRow(tr("Bitmap alpha"), alpha_);
    auto* clearBitmap = new QPushButton(tr("Remove bitmap overlay"), this);
    connect(clearBitmap, &QPushButton::clicked, this, [this] {
        ctx_.control->TVN_OverlayImage = 0;
        ctx_.run(tr("Redraw"), [this] { ctx_.control->TVN_ReDraw(); });
    });
    form->addRow(clearBitmap);
}

void OverlayPanel::chooseSecondClip() {
    const QString folder = QSettings().value(QStringLiteral("clips/folder")).toString();
    const QString file = ClipDialog::choose(this, tr("Second clip"), folder);
    if (!file.isEmpty()) openSecondClip(file);
}

void OverlayPanel::openSecondClip(const QString& fileName) {
    QString file = fileName;
    if (ctx_.control->TVN_videoFileName.isEmpty()) {
        ctx_.showMessage(tr("Open a clip first: the second clip is laid over it"));
        return;
    }
    // The slider needs the second clip's length and frame count up front.
    const tvn::ClipProbe probe = tvn::probeClip(file);
    if (!ctx_.run(tr("Open second clip"), [&] { if (probe.error) throw *probe.error; })) return;
    secondDurationMs_ = probe.durationMs;
    secondFrames_ = static_cast<int>(probe.frameCount);
    // Laying the second clip over starts the main clip's mixer source at 0; it goes back where it was.
    int32_t mainFrame = ctx_.control->TVN_CurrentFrame;
    if (!ctx_.run(tr("Overlay"), [&] { ctx_.control->TVN_Overlay(file); })) return;
    active_ = true;
    ctx_.run(tr("Go to frame"), [&] { ctx_.control->TVN_SetFrame(mainFrame); });
    offset_ = QPoint();
    scale_ = 1.0;
    secondFrame_ = 0;
    {
        const QSignalBlocker quiet(position_);
        position_->setRange(0, std::max(0, secondFrames_ - 1));
        position_->setValue(0);
    }
    mirror_->setChecked(false);
    ctx_.control->visibleVideoWidget()->installEventFilter(this);
    adjust();
}

void OverlayPanel::clipOpened() { active_ = false; }

void OverlayPanel::followPlay(double elapsedMs) {
    if (!active_ || secondFrames_ <= 0 || elapsedMs < 0) {
        playFromFrame_ = -1;
        return;
    }
    if (playFromFrame_ < 0) playFromFrame_ = secondFrame_;
    // Both play at normal speed on the mixer's one clock.
    const double frameMs = secondDurationMs_ / secondFrames_;
    secondFrame_ = std::min(secondFrames_ - 1, playFromFrame_ + int(std::floor(elapsedMs / frameMs)));
    const QSignalBlocker quiet(position_);  // it plays there already: no seek
    position_->setValue(secondFrame_);
}

void OverlayPanel::closeOverlay() {
    QString none;
    ctx_.run(tr("Close overlay"), [&] { ctx_.control->TVN_Overlay(none); });
    active_ = false;
}

void OverlayPanel::adjust() {
    if (!active_) return;
    const QWidget* video = ctx_.control->visibleVideoWidget();
    const int w = static_cast<int>(std::lround(video->width() * scale_));
    const int h = static_cast<int>(std::lround(video->height() * scale_));
    // Scaled about the display's middle, then moved by the drag; the main clip stays as it is.
    const int left = (video->width() - w) / 2 + offset_.x(), top = (video->height() - h) / 2 + offset_.y();
    ctx_.control->placeSecondClip(left, top, w, h, opacity_->value());
}

void OverlayPanel::seekSecond(int frame) {
    if (!active_ || secondFrames_ <= 0) return;
    secondFrame_ = std::clamp(frame, 0, secondFrames_ - 1);
    ctx_.run(tr("Second clip frame"), [&] { ctx_.control->TVN_SetOverlay2Frame(secondFrame_); });
}

void OverlayPanel::chooseBitmap() {
    const QString file = QFileDialog::getOpenFileName(this, tr("Bitmap to lay over the video"), QString(),
                                                      tr("Images (*.png *.bmp *.jpg *.jpeg *.gif)"));
    if (file.isEmpty()) return;
    QImageReader reader(file);
    const QImage image = reader.read();
    if (image.isNull()) {
        ctx_.showMessage(tr("Cannot read '%1': %2").arg(file, reader.errorString()));
        return;
    }
    int32_t handle = tvn::BitmapTable::instance().add(image.convertToFormat(QImage::Format_RGB32));
    ctx_.run(tr("Bitmap overlay"), [&] { ctx_.control->TVN_SetBitmapOverlay(handle); });
}

bool OverlayPanel::eventFilter(QObject* watched, QEvent* event) {
    if (!active_ || watched != ctx_.control->visibleVideoWidget()) return QWidget::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        auto* e = static_cast<QMouseEvent*>(event);
        dragging_ = e->button() == Qt::LeftButton;
        dragStart_ = e->position().toPoint();
        offsetAtDrag_ = offset_;
        return dragging_;
    }
    case QEvent::MouseMove:
        if (!dragging_) break;
        offset_ = offsetAtDrag_ + static_cast<QMouseEvent*>(event)->position().toPoint() - dragStart_;
        adjust();
        return true;
    case QEvent::MouseButtonRelease:
        if (!dragging_) break;
        dragging_ = false;
        return true;
    case QEvent::Wheel:
        scale_ = std::clamp(scale_ * (static_cast<QWheelEvent*>(event)->angleDelta().y() > 0 ? 1.05 : 1 / 1.05), 0.2, 5.0);
        adjust();
        return true;
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace studio
