#pragma once

#include <memory>

class QWidget;

namespace tvn {

class AudioRecorder;
struct Components;
class Platform;
class Surface;
class SurfaceView;
class Timer;
class VideoEngine;
class VideoMixer;

// The control's children, owned by its private implementation, named for what
// they are. The private implementation creates them before the subsystems (the
// engines, the mixer and the views are the control's QObject children; the rest
// is owned here) and hands each subsystem the few it drives, by reference. The
// documented names (VideoCapX1, Picture1, Timer2 ...) appear only where the
// documented interface or a host's log needs them.
struct ControlParts {
    // The control itself as a widget: its size and its screen's twips per pixel.
    QWidget* control = nullptr;
    std::shared_ptr<Platform> platform;

    VideoEngine* display = nullptr;          // VideoCapX1: the clip the user sees
    VideoEngine* recordingEngine = nullptr;  // VideoCapX4: lesson AVI and compression, never shown
    VideoMixer* mixer = nullptr;             // VideoMixerX1: shown instead of the display while a second clip is overlaid

    // The work surfaces (the documented Picture1 to Picture6, by role):
    std::unique_ptr<Surface> annotationLayer;   // Picture1: the drawings; the renderer hands its bitmap to the
                                                // display, which lays it over the video; hidden; the clip's size in twips
    std::unique_ptr<Surface> freeHandLayer;     // Picture2: white where nothing is drawn, combined into the annotation layer
    std::unique_ptr<Surface> lessonFrame;       // Picture3: the picture each lesson tick composes and appends
    std::unique_ptr<Surface> logoPicture;       // Picture4: the lesson logo TVN_SetLogo loads, painted by the renderer
    std::unique_ptr<Surface> filmStripPicture;  // Picture5: shown in the film-strip panel; lesson recording paints it
    std::unique_ptr<Surface> secondPicture;     // Picture6: the picture TVN_SetSecondIPic hands in, read by lessons
    SurfaceView* filmStripPanel = nullptr;      // the film-strip panel showing filmStripPicture
    std::unique_ptr<Surface> loupePicture;      // the zoom loupe's surface
    SurfaceView* loupeView = nullptr;           // the loupe window showing loupePicture

    std::unique_ptr<Timer> clipTimer;           // Timer1: advances timer-driven (.mov) clips while they play
    std::unique_ptr<Timer> gestureRedrawTimer;  // Timer2: redraws the annotations during a gesture
    std::unique_ptr<Timer> lessonTimer;         // the lesson's frame loop
    std::unique_ptr<AudioRecorder> audioRecorder;

    ControlParts();
    ~ControlParts();
    // Creates the children of control from the components, in their stacking order
    // (the video, the mixer over it, the strip over both, the loupe on top).
    void create(QWidget& control, const Components& components);
    ControlParts(const ControlParts&) = delete;
    ControlParts& operator=(const ControlParts&) = delete;
};

}  // namespace tvn
