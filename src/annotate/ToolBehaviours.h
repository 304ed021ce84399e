#pragma once

#include "annotate/AngleSecondArmTool.h"
#include "annotate/AngleTool.h"
#include "annotate/CirclineGuideTool.h"
#include "annotate/CirclineTool.h"
#include "annotate/DrawingTool.h"
#include "annotate/FreeHandTool.h"
#include "annotate/IdleTool.h"
#include "annotate/KiteTailTool.h"
#include "annotate/LightMouseTool.h"
#include "annotate/LineTool.h"
#include "annotate/QuickAngleTool.h"
#include "annotate/ShapeTool.h"
#include "annotate/StepTool.h"
#include "annotate/TargetTool.h"
#include "annotate/TextTool.h"
#include "annotate/TrackerTool.h"
#include "annotate/UnlistedTool.h"
#include "annotate/ZoomTool.h"

namespace tvn {

// One behaviour per drawing tool, chosen from the parsed keyword. The
// behaviours keep no state of their own (the gesture lives in the store), so
// one set serves every gesture of a control.
class ToolBehaviours {
public:
    ToolBehaviours();
    const ToolBehaviour& of(DrawingTool tool) const;

private:
    IdleTool none_;
    StepTool step_;
    ZoomTool zoom_;
    TextTool text_;
    TrackerTool tracker_;
    TargetTool target_;
    FreeHandTool free_;
    LineTool line_;
    AngleTool angle_;
    QuickAngleTool quickAngle_;
    AngleSecondArmTool angleSecondArm_;
    LightMouseTool lightMouse_;
    LightMouseTool lightMouseLeft_;
    ShapeTool square_;
    ShapeTool circle_;
    CirclineTool circline_;
    CirclineGuideTool circlineGuide_;
    KiteTailTool kiteTail_;
    UnlistedTool unlisted_;
};

}  // namespace tvn
