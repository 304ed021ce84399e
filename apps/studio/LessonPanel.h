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

    // The lesson's state as the studio shows it beside the picture.
    bool recording() const;
    bool paused() const { return paused_; }
    qint64 recordedMs() const;  // time recorded, pauses left out
    // As the panel's buttons (and the studio's keys) do; start asks for the file.
    void start();
    // Starts recording into file at the panel's frame rate; false when it did not start.
    bool startTo(const QString& file);
    void pause();
    void resume();
    void stop();

signals:
    // A lesson started, paused, resumed or stopped.
    void stateChanged();

private:
    // Where lesson dialogs open: the folder of the last lesson, else the open clip's, else the videos folder.
    QString lessonFolder() const;
    // The file name with the extension of the chosen filter, unless it has one of them.
    static QString withExtension(QString file, const QString& selectedFilter);
    // Names the finished file in the status bar and in a message that offers to open its folder.
    void announceFile(const QString& what, const QString& file);
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
    QString compressedFile_;
};

}  // namespace studio
