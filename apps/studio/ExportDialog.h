#pragma once

#include "StudioContext.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QTableWidget;

namespace studio {

// File > Export video...: the analysis as a video file to send to an athlete.
// The coach picks the frames (the whole clip by default), the size, slow-motion
// ranges (a factor each, smooth with in-between pictures if asked), pauses (a
// frame, seconds and a label) and how long to pause on each key moment (2 s
// when the clip has any), whether the clip's sound goes along, how to trade
// the encoding's time for the file's size, and the file (.mp4, or .webm); Export renders it in
// the background with a progress bar, and Cancel stops it without leaving a
// file. The drawings are the ones on the video when Export is pressed. The
// dialog does not block the window: the coach can go on while it exports.
class ExportDialog : public QDialog {
    Q_OBJECT
public:
    ExportDialog(StudioContext context, QWidget* parent);

private:
    void refreshFromClip();
    void browse();
    void startExport();
    void cancelExport();
    void finished(const QString& file, bool cancelled);
    void failed(int number, const QString& description);
    void setRunning(bool running);
    QSize outputSize() const;

    StudioContext ctx_;
    QSpinBox *first_, *last_;
    QComboBox* size_;
    QTableWidget *slow_, *pauses_;
    QCheckBox* sound_;
    QDoubleSpinBox* keyMomentPause_;
    QCheckBox* smooth_;
    QComboBox* speed_;
    QLineEdit* file_;
    QProgressBar* progress_;
    QLabel* status_;
    QPushButton *export_, *cancel_;
};

}  // namespace studio
