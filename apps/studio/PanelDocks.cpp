#include "PanelDocks.h"

#include <QDockWidget>
#include <QEvent>
#include <QMainWindow>
#include <QScrollArea>
#include <QTimer>
#include <algorithm>

namespace studio {

namespace {
// The picture keeps at least this share of the window's width.
constexpr double kPictureShare = 0.6;
}  // namespace

PanelDocks::PanelDocks(QMainWindow* window) : QObject(window), window_(window) {
    window_->setTabPosition(Qt::RightDockWidgetArea, QTabWidget::North);
}

QDockWidget* PanelDocks::add(const QString& title, const QString& name, QWidget* panel, Place place) {
    auto* scroll = new QScrollArea(window_);
    scroll->setWidget(panel);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);  // panels wrap to the dock's width
    auto* d = new QDockWidget(title, window_);
    d->setObjectName(name);
    d->setWidget(scroll);
    d->setMinimumWidth(kMinWidth);
    d->installEventFilter(this);  // the width the coach gives it is kept
    window_->addDockWidget(Qt::RightDockWidgetArea, d, Qt::Vertical);  // under what is there
    if (place == Place::Tabbed) {
        if (lastTabbed_) window_->tabifyDockWidget(lastTabbed_, d);
        lastTabbed_ = d;
    }
    docks_ << d;
    return d;
}

void PanelDocks::fit() {
    if (docks_.isEmpty() || window_->width() <= 0) return;
    const int most = std::max(kMinWidth, int(window_->width() * (1 - kPictureShare)));
    const int wanted = std::clamp(width_, kMinWidth, most);
    QList<QDockWidget*> shown;
    QList<int> widths;
    for (QDockWidget* d : docks_)
        if (d->isVisible() && !d->isFloating() && window_->dockWidgetArea(d) != Qt::NoDockWidgetArea && d->width() != wanted)
            shown << d, widths << wanted;
    if (shown.isEmpty()) return;
    fitting_ = true;
    window_->resizeDocks(shown, widths, Qt::Horizontal);
    fitting_ = false;
}

void PanelDocks::windowResized() {
    // The picture keeps most of a small window; the panels (they scroll) give up room first and get it back.
    fitting_ = true;
    QTimer::singleShot(0, this, [this] {
        fitting_ = false;
        fit();
    });
}

bool PanelDocks::eventFilter(QObject* watched, QEvent* event) {
    // A dock resized by the coach (its splitter), not by the window's own resize: that width is kept.
    if (event->type() == QEvent::Resize && !fitting_ && window_->isVisible()) {
        if (auto* d = qobject_cast<QDockWidget*>(watched); d && docks_.contains(d) && !d->isFloating() && d->isVisible())
            width_ = std::max(kMinWidth, d->width());
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace studio
