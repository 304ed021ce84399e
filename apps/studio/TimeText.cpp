#include "TimeText.h"

#include <QObject>
#include <algorithm>
#include <cmath>

namespace studio {

qint64 TimeText::wholeMs(double ms) {
    if (!std::isfinite(ms)) return 0;
    return qint64(std::nearbyint(std::max(0.0, ms)));  // the default rounding mode: halves to even
}

QString TimeText::clock(double ms) {
    const qint64 whole = wholeMs(ms);
    return QStringLiteral("%1:%2.%3")
        .arg(whole / 60000)
        .arg((whole / 1000) % 60, 2, 10, QLatin1Char('0'))
        .arg(whole % 1000, 3, 10, QLatin1Char('0'));
}

QString TimeText::duration(double ms) {
    const qint64 whole = wholeMs(ms);
    return QStringLiteral("%1:%2").arg(whole / 60000).arg((whole / 1000) % 60, 2, 10, QLatin1Char('0'));
}

QString TimeText::frame(int frame, int frameCount) {
    return QObject::tr("frame %1 / %2").arg(frame).arg(std::max(0, frameCount - 1));
}

}  // namespace studio
