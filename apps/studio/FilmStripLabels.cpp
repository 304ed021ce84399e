#include "FilmStripLabels.h"

#include "TimeText.h"
#include "control/Trelvan.h"

#include <QMouseEvent>
#include <QPainter>

namespace studio {

namespace {
constexpr int kColumns = 3;
constexpr int kThumbnails = 9;
}  // namespace

FilmStripLabels::FilmStripLabels(tvn::Trelvan* control, QWidget* parent) : QWidget(parent), control_(control) {
    setAttribute(Qt::WA_TranslucentBackground);
    setCursor(Qt::PointingHandCursor);
    hide();
}

void FilmStripLabels::follow(QRect controlGeometry) {
    setGeometry(controlGeometry);
    raise();
}

int FilmStripLabels::frameAt(QPoint point) const {
    if (!rect().contains(point)) return -1;
    const int column = point.x() * kColumns / width();
    const int row = point.y() * kColumns / height();
    const int frame = control_->TVN_CurrentFrame + row * kColumns + column;
    return frame < control_->TVN_NumFrames ? frame : -1;
}

void FilmStripLabels::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    QFont font = painter.font();
    font.setBold(true);
    painter.setFont(font);
    const double frameMs = control_->TVN_FrameLenMS;
    for (int i = 0; i < kThumbnails; ++i) {
        const int frame = control_->TVN_CurrentFrame + i;
        if (frame >= control_->TVN_NumFrames) break;
        const QRect cell(i % kColumns * width() / kColumns, i / kColumns * height() / kColumns, width() / kColumns,
                         height() / kColumns);
        const QString label = tr("frame %1  %2").arg(frame).arg(TimeText::clock(frame * frameMs));
        QRect box = painter.fontMetrics().boundingRect(label).adjusted(-4, -2, 4, 2);
        box.moveTopLeft(cell.topLeft() + QPoint(4, 4));
        painter.fillRect(box, QColor(0, 0, 0, 170));
        painter.setPen(Qt::white);
        painter.drawText(box, Qt::AlignCenter, label);
        painter.setPen(QColor(255, 255, 255, 90));
        painter.drawRect(cell.adjusted(0, 0, -1, -1));
    }
}

void FilmStripLabels::mousePressEvent(QMouseEvent* event) {
    const int frame = frameAt(event->position().toPoint());
    if (event->button() == Qt::LeftButton && frame >= 0) {
        hide();
        emit frameChosen(frame);
    }
}

}  // namespace studio
