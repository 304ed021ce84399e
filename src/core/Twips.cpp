#include "core/Twips.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace tvn {

namespace {
const QScreen* screenOf(const QWidget* widget) {
    if (widget && widget->screen()) return widget->screen();
    return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) ? QGuiApplication::primaryScreen()
                                                                        : nullptr;
}
}  // namespace

double twipsPerPixelX(const QWidget* widget) {
    const QScreen* s = screenOf(widget);
    const double dpi = s ? s->logicalDotsPerInchX() : 96.0;
    return dpi > 0 ? 1440.0 / dpi : 15.0;
}

double twipsPerPixelY(const QWidget* widget) {
    const QScreen* s = screenOf(widget);
    const double dpi = s ? s->logicalDotsPerInchY() : 96.0;
    return dpi > 0 ? 1440.0 / dpi : 15.0;
}

}  // namespace tvn
