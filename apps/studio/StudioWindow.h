#pragma once

#include "StudioContext.h"

#include <QElapsedTimer>
#include <QMainWindow>

class QComboBox;
class QLabel;
class QSlider;
class QTimer;

namespace tvn {
class Trelvan;
}

namespace studio {

// The reference host: one control in a main window with the transport, frame
// export, the drawing tools, lessons and the overlay around it.
class StudioWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit StudioWindow(QWidget* parent = nullptr);

    tvn::Trelvan& control() { return *control_; }
    // Opens a clip as File > Open does; false (with a message) when it fails.
    bool openClip(const QString& fileName);

private:
    void buildMenus();
    void buildTransport();
    void buildShortcuts();
    void updatePosition();
    void playPause();
    void stepBack();
    void stepForward();
    void setFrame(int frame);
    void saveFrame();
    void uploadFrame();

    tvn::Trelvan* control_;
    StudioContext ctx_;
    QSlider* slider_ = nullptr;
    QLabel* time_ = nullptr;
    QComboBox* rate_ = nullptr;
    QTimer* poll_ = nullptr;
    bool filmStrip_ = false;
    bool mirrored_ = false;
    QElapsedTimer failureShown_;  // since the last failure was put on the status bar
};

}  // namespace studio
