#pragma once

#include "StudioContext.h"

#include <QPointF>
#include <QWidget>
#include <vector>

class QCheckBox;
class QChart;
class QChartView;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QLineSeries;
class QProgressBar;
class QPushButton;

namespace tvn {
class MotionAnalysis;
}

namespace studio {

// The motion dock: calibrate from the line on the video drawn last (the dock
// follows the drawings: with no line shown, none is offered) and read its real
// length, mark points and track them (forward or backward, with progress and
// cancel), correct a point where it was lost and track on, a plot of a point's
// speed, acceleration, horizontal or vertical velocity or acceleration, or the
// joint angle at the second of three points against time with a cursor at the
// playhead (a click on the plot goes to that frame), and CSV export of what is
// plotted. Marking takes the click on the video for itself: nothing is drawn.
class MotionPanel : public QWidget {
    Q_OBJECT
public:
    MotionPanel(StudioContext context, QWidget* parent);

    // What the plot shows, in the order of its choices.
    enum class Plot { Speed, Acceleration, VelocityX, VelocityY, AccelerationX, AccelerationY, Angle };
    // Arms marking (the next click on the video marks a point), as "Mark point" does.
    void armMarking();

private:
    enum class Arm { None, Mark, Correct };  // what the next click on the video does
    void onVideoPress(int16_t button, float xPixels, float yPixels);
    void onVideoRelease(int16_t button);
    void arm(Arm what);
    void calibrateFromLine();
    void followLine();
    void exportCsv();
    void refreshPoints();
    void replot();
    void moveCursor();
    void jumpTo(QPointF chartPosition);
    Plot plot() const;

    StudioContext ctx_;
    tvn::MotionAnalysis* motion_;
    Arm armed_ = Arm::None;
    bool clickTaken_ = false;  // the press marked a point: its release goes nowhere else either
    QString toolBeforeArming_;
    std::vector<std::pair<double, int>> plotted_;  // (seconds, frame) of each plotted sample

    QDoubleSpinBox* length_;
    QLineEdit* unit_;
    QPushButton* calibrate_;
    QLabel* calibration_;
    QLabel* lineLength_;  // the real length of the line drawn last, or why there is none
    QComboBox* point_;
    QCheckBox* backward_;
    QProgressBar* progress_;
    QComboBox* plotKind_;
    QChart* chart_;
    QChartView* chartView_;
    QLineSeries* series_;
    QLineSeries* cursor_;
};

}  // namespace studio
