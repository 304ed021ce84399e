#include "media/ffmpeg/EngineDisplayWidget.h"

#include "core/Twips.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

namespace tvn {

namespace {
int16_t buttonCode(Qt::MouseButtons b) {
    int16_t code = 0;
    if (b & Qt::LeftButton) code |= 1;
    if (b & Qt::RightButton) code |= 2;
    if (b & Qt::MiddleButton) code |= 4;
    return code;
}

int16_t shiftCode(Qt::KeyboardModifiers m) {
    int16_t code = 0;
    if (m & Qt::ShiftModifier) code |= 1;
    if (m & Qt::ControlModifier) code |= 2;
    if (m & Qt::AltModifier) code |= 4;
    return code;
}
}  // namespace

EngineDisplayWidget::EngineDisplayWidget(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
}

void EngineDisplayWidget::setPicture(const QImage& picture) {
    picture_ = picture;
    update();
}

void EngineDisplayWidget::setBackground(const QColor& colour) {
    background_ = colour;
    update();
}

void EngineDisplayWidget::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (picture_.isNull()) {
        painter.fillRect(rect(), background_);
        return;
    }
    QRect target = rect();
    if (keepAspect_) {
        target.setSize(picture_.size().scaled(size(), Qt::KeepAspectRatio));
        target.moveCenter(rect().center());
        painter.fillRect(rect(), background_);
    }
    if (picture_.size() != target.size()) painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(target, picture_);
}

void EngineDisplayWidget::report(Pointer kind, QMouseEvent* event, Qt::MouseButtons buttons) {
    const QPointF p = event->position();
    emit pointer(kind, buttonCode(buttons), shiftCode(event->modifiers()), float(p.x() * twipsPerPixelX(this)),
                 float(p.y() * twipsPerPixelY(this)));
}

void EngineDisplayWidget::mousePressEvent(QMouseEvent* event) {
    setFocus(Qt::MouseFocusReason);
    report(Pointer::Down, event, event->button());
}

void EngineDisplayWidget::mouseMoveEvent(QMouseEvent* event) { report(Pointer::Move, event, event->buttons()); }

void EngineDisplayWidget::mouseReleaseEvent(QMouseEvent* event) { report(Pointer::Up, event, event->button()); }

void EngineDisplayWidget::mouseDoubleClickEvent(QMouseEvent* event) {
    emit doubleClicked();
    report(Pointer::Down, event, event->button());
}

void EngineDisplayWidget::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) emit escapePressed();
    const QString text = event->text();
    // Typed characters only (as a host's KeyPress sees them): letters, digits,
    // Enter (13), Backspace (8), Escape (27); keys without a character are not reported.
    if (text.isEmpty() || text.at(0).unicode() > 255) {
        QWidget::keyPressEvent(event);
        return;
    }
    emit keyTyped(int16_t(text.at(0).unicode()));
}

}  // namespace tvn
