#include "DrawingWatch.h"

#include "control/Trelvan.h"

namespace studio {

namespace {
// Tools with which a press and release leave something drawn.
bool draws(const QString& tool) {
    return !tool.isEmpty() && tool != QLatin1String("none") && tool != QLatin1String("step") &&
           tool != QLatin1String("zoom") && tool != QLatin1String("target") && !tool.startsWith(QLatin1String("lightmouse"));
}
}  // namespace

DrawingWatch::DrawingWatch(tvn::Trelvan* control, QObject* parent) : QObject(parent), control_(control) {
    connect(control_, &tvn::Trelvan::MouseDown, this, [this](int16_t& button, int16_t&, float&, float&) {
        if (button == 1) typingText_ = control_->TVN_drawingTool == QLatin1String("text");
    });
    connect(control_, &tvn::Trelvan::MouseUp, this, [this](int16_t& button, int16_t&, float&, float&) {
        if (button == 1 && draws(control_->TVN_drawingTool)) hasDrawings_ = true;
    });
    connect(control_, &tvn::Trelvan::KeyPress, this, [this](int16_t& key) {
        if (key == 13) typingText_ = false;
    });
}

bool DrawingWatch::typingText() const { return typingText_ && control_->TVN_drawingTool == QLatin1String("text"); }

}  // namespace studio
