#pragma once

#include "StudioContext.h"

#include <QElapsedTimer>
#include <QWidget>

class QComboBox;
class QLabel;
class QProgressBar;
class QSpinBox;
class QTimer;

namespace studio {

// Lesson recording: start with a file and a frame rate, pause, resume, stop, a
// running-time read-out, the audio device and line-input pickers, and
// compression with a profile choice and a progress bar.
class LessonPanel : public QWidget {
    Q_OBJECT
public:
    LessonPanel(StudioContext context, QWidget* parent);

private:
    void start();
    void refreshDevices();
    void compress();
    void updateClock();

    StudioContext ctx_;
    QSpinBox* fps_;
    QComboBox* device_;
    QComboBox* lineInput_;
    QComboBox* profile_;
    QLabel* time_;
    QProgressBar* progress_;
    QTimer* clock_;
    QElapsedTimer running_;
    qint64 recordedMs_ = 0;
    bool paused_ = false;
    QString lessonFile_;
};

}  // namespace studio
