#include "annotate/DrawingTool.h"

#include <array>
#include <utility>

namespace tvn {

namespace {
constexpr std::array<std::pair<const char*, DrawingTool>, 17> kKeywords{{
    {"none", DrawingTool::None},
    {"step", DrawingTool::Step},
    {"zoom", DrawingTool::Zoom},
    {"text", DrawingTool::Text},
    {"tracker", DrawingTool::Tracker},
    {"target", DrawingTool::Target},
    {"free", DrawingTool::Free},
    {"line", DrawingTool::Line},
    {"angle", DrawingTool::Angle},
    {"qangle", DrawingTool::QuickAngle},
    {"angle2", DrawingTool::AngleSecondArm},
    {"lightmouseleft", DrawingTool::LightMouseLeft},
    {"square", DrawingTool::Square},
    {"circle", DrawingTool::Circle},
    {"circline", DrawingTool::Circline},
    {"linecirc1", DrawingTool::CirclineGuide},
    {"kitetail", DrawingTool::KiteTail},
}};
}  // namespace

DrawingTool parseDrawingTool(const QString& keyword) {
    for (const auto& [name, tool] : kKeywords)
        if (keyword == QLatin1String(name)) return tool;
    if (keyword.startsWith(QLatin1String("lightmouse"))) return DrawingTool::LightMouse;
    return DrawingTool::Unknown;
}

QString drawingToolKeyword(DrawingTool tool) {
    for (const auto& [name, t] : kKeywords)
        if (t == tool) return QLatin1String(name);
    return {};
}

}  // namespace tvn
