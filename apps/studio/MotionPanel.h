#pragma once

#include "StudioContext.h"

#include <QPointF>
#include <QWidget>
#include <optional>
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

namespace tvn {
class MotionAnalysis;
}

namespace studio {

// The motion dock: calibrate from the line the coach drew last (and read the
// real length of each line drawn after calibrating), mark points and
// track them (forward or backward, with progress and cancel), correct a point
// where it was lost and track on, a plot of a point's speed or the joint angle
// at the second of three points against time with a cursor at the playhead (a
// click on the plot goes to that frame), and CSV export of what is plotted.
class MotionPanel : public QWidget {
    Q_OBJECT
public:
    MotionPanel(StudioContext context, QWidget* parent);

private:
    enum class Arm { None, Mark, Correct };  // what the next click on the video does
    void onVideoPress(int16_t button, float xPixels, float yPixels);
    void onVideoRelease(int16_t button, float xPixels, float yPixels);
    void arm(Arm what);
    void calibrateFromLine();
    void exportCsv();
    void refreshPoints();
    void replot();
    void moveCursor();
    void jumpTo(QPointF chartPosition);
    bool plottingAngle() const;

    StudioContext ctx_;
    tvn::MotionAnalysis* motion_;
    Arm armed_ = Arm::None;
    QString toolBeforeArming_;
    QPointF pressAt_;                                       // twips, the last left press on the video
    std::optional<std::pair<QPointF, QPointF>> lastLine_;   // twips, the last press-drag-release
    std::vector<std::pair<double, int>> plotted_;           // (seconds, frame) of each plotted sample

    QDoubleSpinBox* length_;
    QLineEdit* unit_;
    QLabel* calibration_;
    QLabel* lineLength_;  // the real length of the line drawn last
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
