#pragma once

#include <QString>

namespace tvn {

// The drawing tool that TVN_drawingTool names, parsed once where the pointer
// handler reads the property. Keywords are compared exactly (case matters);
// any keyword that begins with "lightmouse" is a light-mouse tool. A name that
// is none of these is Unknown: a press draws nothing with it, and a release
// places a rectangle's corner, as for "square".
enum class DrawingTool {
    None,            // "none"
    Step,            // "step": presses do nothing, releases do not redraw
    Zoom,            // "zoom": the loupe
    Text,            // "text"
    Tracker,         // "tracker": a trail point per press, a frame step per release
    Target,          // "target": the cross-hair
    Free,            // "free": free-hand strokes
    Line,            // "line"
    Angle,           // "angle": the first arm; the release turns it into AngleSecondArm
    QuickAngle,      // "qangle": a horizontal first arm, then the second arm at once
    AngleSecondArm,  // "angle2": set by the handler while the second arm is drawn
    LightMouse,      // "lightmouse..." pointing right
    LightMouseLeft,  // "lightmouseleft"
    Square,          // "square"
    Circle,          // "circle"
    Circline,        // "circline": a circle, then its guide lines
    CirclineGuide,   // "linecirc1": set by the handler while the guide is sized
    KiteTail,        // "kitetail": releases place nothing
    Unknown,
};

DrawingTool parseDrawingTool(const QString& keyword);
// The keyword the handler writes back into TVN_drawingTool when it switches tools.
QString drawingToolKeyword(DrawingTool tool);

}  // namespace tvn
