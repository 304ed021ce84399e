#include "TwoStrokeAngle.h"

#include "control/Trelvan.h"

#include <QLineF>
#include <cmath>

namespace studio {

TwoStrokeAngle::TwoStrokeAngle(tvn::Trelvan* control, std::function<bool()> needed, QObject* parent)
    : QObject(parent), control_(control), needed_(std::move(needed)) {
    // Each event comes after the control has handled it: a press with the tool
    // "angle" starts the first arm; its release turns the tool to "angle2".
    connect(control_, &tvn::Trelvan::MouseDown, this, [this](int16_t& button, int16_t&, float& x, float& y) {
        if (button == 1 && control_->TVN_drawingTool == QLatin1String("angle")) far_ = {x, y};
    });
    connect(control_, &tvn::Trelvan::MouseUp, this, [this](int16_t& button, int16_t&, float& x, float& y) {
        if (button == 1 && control_->TVN_drawingTool == QLatin1String("angle2")) vertex_ = {x, y};
    });
    connect(control_, &tvn::Trelvan::MouseMove, this, [this](int16_t& button, int16_t&, float& x, float& y) {
        if (button == 1 && control_->TVN_drawingTool == QLatin1String("angle2") && needed_() && QPointF(x, y) != vertex_)
            control_->TVN_AngleText = angleText(far_, vertex_, {x, y});
    });
}

QString TwoStrokeAngle::angleText(QPointF a, QPointF vertex, QPointF b) {
    double degrees = std::abs(QLineF(vertex, a).angleTo(QLineF(vertex, b)));
    if (degrees > 180) degrees = 360 - degrees;
    const double whole = std::nearbyint(degrees);  // the default rounding mode: halves to even
    return (whole == 0 ? QString() : QString::number(qint64(whole))) + QChar(0x00B0);
}

}  // namespace studio
