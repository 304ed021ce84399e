#pragma once

#include <memory>

class QWidget;

namespace tvn {

class AudioRecorder;
class Platform;
class Surface;
class SurfaceView;
class Timer;
class VideoEngine;
class VideoMixer;

// The control's children: what the subsystems drive. The control fills it once
// at construction (the engines and views are its QObject children; the rest is
// owned here) and hands each subsystem a reference, so a subsystem reads the
// pointers when it runs, never before the children exist.
struct ControlParts {
    // The control itself as a widget: its size and its screen's twips per pixel.
    QWidget* widget = nullptr;
    std::shared_ptr<Platform> platform;

    VideoEngine* VideoCapX1 = nullptr;   // the display engine: the clip the user sees
    VideoEngine* VideoCapX4 = nullptr;   // the recording engine: lesson AVI and compression, never shown
    VideoMixer* VideoMixerX1 = nullptr;  // shown instead of the display while a second clip is overlaid

    // The work surfaces, by the roles their numbered names hold:
    // Picture1  the annotation surface: the renderer paints the drawings on it and hands its
    //           bitmap to the engine, which lays it over the video; hidden; the clip's size in twips.
    // Picture2  the free-hand layer, white where nothing is drawn, combined into Picture1; sized with it.
    // Picture3  the lesson's frame: the picture each lesson tick composes and appends.
    // Picture4  the lesson logo TVN_SetLogo loads, painted by the renderer.
    // Picture5  the film strip's picture (shown in FilmStripPanel); lesson recording paints it into its frame.
    // Picture6  the second picture TVN_SetSecondIPic hands in, read by lesson recording.
    std::unique_ptr<Surface> Picture1, Picture2, Picture3, Picture4, Picture5, Picture6;
    SurfaceView* FilmStripPanel = nullptr;  // the film-strip panel showing Picture5
    std::unique_ptr<Surface> ZoomPicture;   // the zoom loupe's surface
    SurfaceView* ZoomView = nullptr;        // the loupe window showing ZoomPicture

    std::unique_ptr<Timer> Timer1;       // advances timer-driven (.mov) clips while they play
    std::unique_ptr<Timer> Timer2;       // redraws the annotations during a gesture
    std::unique_ptr<Timer> LessonTimer;  // the lesson's frame loop
    std::unique_ptr<AudioRecorder> audioRecorder;

    ControlParts();
    ~ControlParts();
    ControlParts(const ControlParts&) = delete;
    ControlParts& operator=(const ControlParts&) = delete;
};

}  // namespace tvn
