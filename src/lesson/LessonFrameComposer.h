#pragma once

namespace tvn {

class Surface;
class SurfaceView;
class VideoEngine;
class VideoMixer;

// Paints what the control shows into the lesson frame, for a lesson tick: the
// film strip while its panel is shown; else the clip beside the second picture
// (two panes of 2/3 size, the second from the middle on) while the display is
// visible and a second picture is set; else the clip; else the mixed overlay;
// else nothing, leaving the frame as it was cleared. A failing query counts as
// "not this case"; a failing paint leaves its part of the frame black.
class LessonFrameComposer {
public:
    // What it paints from and into.
    struct Drives {
        Surface& lessonFrame;  // the picture each lesson tick composes and appends
        VideoEngine& display;  // the display engine: the clip the user sees
        VideoMixer& mixer;  // shown instead of the display while a second clip is overlaid
        Surface& filmStripPicture;  // the film strip's picture
        Surface& secondPicture;  // the second picture TVN_SetSecondIPic hands in
        SurfaceView& filmStripPanel;  // the panel that shows the film strip's picture
    };

    explicit LessonFrameComposer(Drives drives) : drives_(drives) {}

    // Paints into the lesson frame, w x h pixels.
    void compose(int w, int h);

private:
    Drives drives_;
};

}  // namespace tvn
