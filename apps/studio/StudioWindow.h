#pragma once

#include "StudioContext.h"

#include <QMainWindow>

class QLabel;

namespace tvn {
class Trelvan;
}

namespace studio {

class AnalysisFiles;
class DrawingPanel;
class DrawingWatch;
class FailureReporter;
class FilmStripLabels;
class FrameSharing;
class FullScreenReadout;
class KeyMomentsPanel;
class LessonPanel;
class MotionPanel;
class OverlayPanel;
class PanelDocks;
class Playhead;
class RecordingMark;
class StudioMenus;
class TransportBar;
class VideoArea;

// The reference host: one control in a main window with the transport, frame
// export, the drawing tools, lessons and the overlay around it. The control is
// kept at the clip's proportions (VideoArea). Space, the arrow keys and F11 work
// everywhere in the studio and in full screen, through an application event
// filter, except while the coach types (a text on the video, a text field).
class StudioWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit StudioWindow(QWidget* parent = nullptr);

    tvn::Trelvan& control() { return *control_; }
    // Opens a clip as File > Open does. The file is read first: one that cannot be
    // opened leaves the clip being studied as it was. False (with a message) when it fails.
    bool openClip(const QString& fileName);
    MotionPanel& motionPanel() { return *motion_; }
    LessonPanel& lessonPanel() { return *lesson_; }
    KeyMomentsPanel& keyMomentsPanel() { return *moments_; }
    AnalysisFiles& analysisFiles() { return *analysisFiles_; }
    // The recording mark in the status bar (hidden while no lesson records).
    QLabel& recordingMark();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void buildDocks();
    void connectMenus();
    bool handleKey(int key);
    bool typing() const;
    void toggleFullScreen();
    void chooseClip();
    void showClip(const QString& fileName, int frames);
    void closeClip();
    bool mayClearDrawings();

    tvn::Trelvan* control_;
    VideoArea* area_;
    FailureReporter* failures_;
    StudioContext ctx_;
    DrawingPanel* drawing_ = nullptr;
    OverlayPanel* overlay_ = nullptr;
    FilmStripLabels* stripLabels_ = nullptr;
    LessonPanel* lesson_ = nullptr;
    MotionPanel* motion_ = nullptr;
    KeyMomentsPanel* moments_ = nullptr;
    AnalysisFiles* analysisFiles_ = nullptr;
    PanelDocks* docks_ = nullptr;
    TransportBar* transport_ = nullptr;
    StudioMenus* menus_ = nullptr;
    RecordingMark* recordMark_ = nullptr;
    FullScreenReadout* fullScreenReadout_ = nullptr;
    DrawingWatch* drawings_ = nullptr;
    FrameSharing* frames_ = nullptr;
    Playhead* playhead_ = nullptr;
    bool fullScreen_ = false;
};

}  // namespace studio
