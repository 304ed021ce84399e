#include "FullScreenReadout.h"

#include <QApplication>

namespace studio {

FullScreenReadout::FullScreenReadout(QWidget* studio) : QObject(studio), studio_(studio) {}

void FullScreenReadout::follow(bool fullScreen, const QString& readout) {
    QWidget* screen = nullptr;
    if (fullScreen)
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w != studio_ && w->isFullScreen() && !w->parentWidget() && w->isVisible()) screen = w;
    if (!screen) {
        delete label_.data();
        return;
    }
    if (!label_ || label_->parentWidget() != screen) {
        delete label_.data();
        label_ = new QLabel(screen);
        label_->setObjectName(QStringLiteral("fullScreenReadout"));
        label_->setStyleSheet(QStringLiteral("QLabel { background: rgba(0,0,0,160); color: white; "
                                             "font-size: 16px; font-weight: bold; padding: 4px 8px; }"));
        label_->setAttribute(Qt::WA_TransparentForMouseEvents);
        label_->show();
    }
    label_->setText(readout);
    label_->adjustSize();
    label_->move(12, screen->height() - label_->height() - 12);
    label_->raise();
}

}  // namespace studio
