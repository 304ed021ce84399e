#include "annotate/ToolBehaviours.h"

#include "annotate/AnnotationStore.h"

namespace tvn {

ToolBehaviours::ToolBehaviours()
    : lightMouse_(false), lightMouseLeft_(true), square_(ShapeObject::Rectangle), circle_(ShapeObject::Oval) {}

const ToolBehaviour& ToolBehaviours::of(DrawingTool tool) const {
    switch (tool) {
    case DrawingTool::None: return none_;
    case DrawingTool::Step: return step_;
    case DrawingTool::Zoom: return zoom_;
    case DrawingTool::Text: return text_;
    case DrawingTool::Tracker: return tracker_;
    case DrawingTool::Target: return target_;
    case DrawingTool::Free: return free_;
    case DrawingTool::Line: return line_;
    case DrawingTool::Angle: return angle_;
    case DrawingTool::QuickAngle: return quickAngle_;
    case DrawingTool::AngleSecondArm: return angleSecondArm_;
    case DrawingTool::LightMouse: return lightMouse_;
    case DrawingTool::LightMouseLeft: return lightMouseLeft_;
    case DrawingTool::Square: return square_;
    case DrawingTool::Circle: return circle_;
    case DrawingTool::Circline: return circline_;
    case DrawingTool::CirclineGuide: return circlineGuide_;
    case DrawingTool::KiteTail: return kiteTail_;
    case DrawingTool::Unknown: break;
    }
    return unlisted_;
}

}  // namespace tvn
