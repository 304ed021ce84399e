#pragma once

#include "StudioContext.h"

#include <QElapsedTimer>
#include <QMainWindow>
#include <QMessageBox>
#include <QPointer>
#include <optional>

#include "core/TvnError.h"

class QComboBox;
class QDockWidget;
class QLabel;
class QSlider;
class QTimer;

namespace tvn {
class Trelvan;
class TvnError;
}

namespace studio {

class DrawingPanel;
class FilmStripLabels;
class LessonPanel;
class MotionPanel;
class OverlayPanel;
class TimelineSlider;
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
    // The recording mark in the status bar (hidden while no lesson records).
    QLabel& recordingMark() { return *recordMark_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void buildMenus();
    void buildTransport();
    void buildDocks();
    void fitDocks();
    void applyVolume();
    void updateRecordingMark();
    void followFullScreen(const QString& readout);
    void trackDrawing();
    bool handleKey(int key);
    bool typing() const;
    void toggleFullScreen();
    void updatePosition();
    void playPause();
    void stepBack();
    void stepForward();
    void setFrame(int frame);
    void requestFrame(int frame);
    void showRequestedFrame();
    void closeClip();
    bool mayClearDrawings();
    void saveFrame();
    void uploadFrame();
    void reportFailure(const QString& what, const tvn::TvnError& error);

    tvn::Trelvan* control_;
    VideoArea* area_;
    StudioContext ctx_;
    DrawingPanel* drawing_ = nullptr;
    OverlayPanel* overlay_ = nullptr;
    FilmStripLabels* stripLabels_ = nullptr;
    LessonPanel* lesson_ = nullptr;
    MotionPanel* motion_ = nullptr;
    QList<QDockWidget*> docks_;
    int dockWidth_ = 0;           // the width the coach gave the panels (the window's resizes aside)
    bool fittingDocks_ = false;   // the studio itself resizes the docks
    TimelineSlider* slider_ = nullptr;
    QSlider* volume_ = nullptr;
    QLabel* time_ = nullptr;
    QLabel* recordMark_ = nullptr;
    QPointer<QLabel> fullScreenReadout_;  // on the engine's full-screen window while it is up
    QComboBox* rate_ = nullptr;
    QTimer* poll_ = nullptr;
    QElapsedTimer failureShown_;  // since the last failure was reported
    QPointer<QMessageBox> failureBox_;  // the last failure's dialog while it is open
    int requestedFrame_ = -1;     // the latest frame the slider asked for, not yet shown
    bool typingText_ = false;     // a text on the video takes the keys until Enter
    bool hasDrawings_ = false;    // something was drawn since the last clear
    bool fullScreen_ = false;
    std::optional<tvn::TvnError>* heldFailure_ = nullptr;  // where a signalled failure goes instead of a dialog
    // The mixer plays an overlay on its own clock; the read-out follows it from here.
    QElapsedTimer overlayPlay_;
    double overlayPlayFromMs_ = 0;
    bool overlayClockWaits_ = false;  // until the mixer paints the play's first frame
};

}  // namespace studio
