#include "MotionPanel.h"

#include "control/Trelvan.h"
#include "core/Twips.h"
#include "core/TvnError.h"
#include "motion/MotionAnalysis.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>

#include <algorithm>
#include <iterator>
#include <cmath>

namespace studio {

namespace {
constexpr int16_t kLeftButton = 1;

// Lets the panel see clicks on the plot without a chart-view class of its own.
class ClickFilter : public QObject {
public:
    ClickFilter(QObject* parent, std::function<void(QPointF)> onClick) : QObject(parent), onClick_(std::move(onClick)) {}
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::MouseButtonPress)
            onClick_(static_cast<QMouseEvent*>(event)->position());
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void(QPointF)> onClick_;
};
}  // namespace

MotionPanel::MotionPanel(StudioContext context, QWidget* parent)
    : QWidget(parent), ctx_(std::move(context)), motion_(ctx_.control->motion()) {
    auto* column = new QVBoxLayout(this);

    auto* calibrationBox = new QGroupBox(tr("Calibration"), this);
    auto* form = new QFormLayout(calibrationBox);
    form->setRowWrapPolicy(QFormLayout::WrapLongRows);
    length_ = new QDoubleSpinBox(this);
    length_->setRange(0.001, 100000);
    length_->setDecimals(3);
    length_->setValue(1.0);
    length_->setToolTip(tr("The real length of the line drawn last"));
    unit_ = new QLineEdit(QStringLiteral("m"), this);
    unit_->setMaximumWidth(60);
    unit_->setToolTip(tr("The unit of that length: m, cm, ft..."));
    auto* lengthRow = new QHBoxLayout;
    lengthRow->addWidget(length_, 1);
    lengthRow->addWidget(unit_);
    form->addRow(tr("Last line is"), lengthRow);
    calibrate_ = new QPushButton(tr("Calibrate from the last line"), this);
    calibrate_->setToolTip(tr("Draw a line with the Line tool along something of known length, give its length, then calibrate"));
    connect(calibrate_, &QPushButton::clicked, this, &MotionPanel::calibrateFromLine);
    calibration_ = new QLabel(tr("Not calibrated (pixels)"), this);
    lineLength_ = new QLabel(this);
    lineLength_->setWordWrap(true);
    form->addRow(calibrate_);
    form->addRow(calibration_);
    form->addRow(lineLength_);
    auto* lengthsOnVideo = new QCheckBox(tr("Real lengths beside the lines"), this);
    lengthsOnVideo->setToolTip(tr("Once calibrated, every line shows its real length on the video"));
    connect(lengthsOnVideo, &QCheckBox::toggled, this, [this](bool on) { motion_->setShowLineLengths(on); });
    form->addRow(lengthsOnVideo);
    column->addWidget(calibrationBox);

    auto* pointsBox = new QGroupBox(tr("Tracking"), this);
    auto* points = new QFormLayout(pointsBox);
    points->setRowWrapPolicy(QFormLayout::WrapLongRows);
    point_ = new QComboBox(this);
    point_->setToolTip(tr("The point that is plotted, exported and corrected"));
    backward_ = new QCheckBox(tr("Backward"), this);
    backward_->setToolTip(tr("Track towards the start of the clip instead of its end"));
    points->addRow(point_, backward_);
    auto* onVideo = new QLabel(tr("Tracked points show on the video while the trail is shown (Drawing)."), this);
    onVideo->setWordWrap(true);
    points->addRow(onVideo);
    auto* buttons = new QGridLayout;
    const struct {
        QString name, tip;
        std::function<void()> run;
    } commands[] = {
        {tr("Mark point"), tr("The next click on the video marks a point and tracks it from this frame"), [this] { arm(Arm::Mark); }},
        {tr("Correct point"), tr("The next click puts the chosen point right on this frame and tracks on from there"),
         [this] { arm(Arm::Correct); }},
        {tr("Cancel tracking"), tr("Stops tracking; what was found so far stays"), [this] { motion_->cancelTracking(); }},
        {tr("Export CSV..."), tr("Saves what is plotted, with every component and its unit"), [this] { exportCsv(); }},
    };
    for (int i = 0; i < int(std::size(commands)); ++i) {
        auto* b = new QPushButton(commands[i].name, this);
        b->setToolTip(commands[i].tip);
        connect(b, &QPushButton::clicked, this, commands[i].run);
        buttons->addWidget(b, i / 2, i % 2);
    }
    points->addRow(buttons);
    progress_ = new QProgressBar(this);
    points->addRow(progress_);
    column->addWidget(pointsBox);

    auto* plotBox = new QGroupBox(tr("Plot"), this);
    auto* plotColumn = new QVBoxLayout(plotBox);
    plotKind_ = new QComboBox(this);
    plotKind_->addItems({tr("Speed"), tr("Acceleration along the path"), tr("Horizontal velocity"),
                         tr("Vertical velocity (up +)"), tr("Horizontal acceleration"),
                         tr("Vertical acceleration (up +)"), tr("Angle at point 1 (points 0, 1, 2)")});
    plotKind_->setToolTip(tr("What the plot shows of the chosen point; a click on the plot goes to that frame"));
    plotKind_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    plotKind_->setMinimumContentsLength(12);
    plotColumn->addWidget(plotKind_);
    chart_ = new QChart;
    chart_->legend()->hide();
    chart_->setMargins(QMargins(2, 2, 2, 2));
    series_ = new QLineSeries(chart_);
    cursor_ = new QLineSeries(chart_);
    cursor_->setColor(Qt::red);
    chart_->addSeries(series_);
    chart_->addSeries(cursor_);
    chart_->createDefaultAxes();
    chartView_ = new QChartView(chart_, this);
    // The plot takes the height the dock has left, down to a size that still reads.
    chartView_->setMinimumSize(200, 180);
    chartView_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    chartView_->setRenderHint(QPainter::Antialiasing);
    chartView_->viewport()->installEventFilter(
        new ClickFilter(this, [this](QPointF p) { jumpTo(chartView_->mapToScene(p.toPoint())); }));
    plotColumn->addWidget(chartView_, 1);
    column->addWidget(plotBox, 1);

    connect(plotKind_, &QComboBox::currentIndexChanged, this, &MotionPanel::replot);
    connect(point_, &QComboBox::currentIndexChanged, this, &MotionPanel::replot);
    connect(motion_, &tvn::MotionAnalysis::calibrationChanged, this, [this] {
        if (!motion_->calibrated()) calibration_->setText(tr("Not calibrated (pixels)"));
        else if (motion_->unitsPerPixel() > 0)
            calibration_->setText(tr("%1 %2 per pixel").arg(motion_->unitsPerPixel(), 0, 'g', 4).arg(motion_->unit()));
        else calibration_->setText(tr("On a plane, in %1").arg(motion_->unit()));
        followLine();
        replot();
    });
    connect(motion_, &tvn::MotionAnalysis::trackingProgress, this, [this](int, int done, int total) {
        progress_->setRange(0, total);
        progress_->setValue(done);
    });
    connect(motion_, &tvn::MotionAnalysis::trackingFinished, this, [this](int point, bool cancelled) {
        refreshPoints();
        point_->setCurrentIndex(point);
        ctx_.showMessage(cancelled ? tr("Tracking of point %1 cancelled").arg(point) : tr("Point %1 tracked").arg(point));
        replot();
    });
    connect(motion_, &tvn::MotionAnalysis::trackingFailed, this, [this] { progress_->reset(); });
    // Another clip drops the points (and, at another picture size, the calibration).
    connect(motion_, &tvn::MotionAnalysis::drawingChanged, this, [this] {
        if (point_->count() == motion_->pointCount()) return;
        refreshPoints();
        progress_->reset();
        replot();
    });
    connect(motion_, &tvn::MotionAnalysis::pointLost, this, [this](int point, int frame, const QString& reason) {
        ctx_.showMessage(tr("Point %1 lost on frame %2: %3. Go there, correct it and tracking goes on.")
                             .arg(point).arg(frame).arg(reason));
    });
    tvn::Trelvan* c = ctx_.control;
    connect(c, &tvn::Trelvan::MouseDown, this,
            [this](int16_t& button, int16_t&, float& x, float& y) { onVideoPress(button, x, y); });
    connect(c, &tvn::Trelvan::MouseUp, this, [this](int16_t& button, int16_t&, float&, float&) { onVideoRelease(button); });
    // The playhead and the drawings change in many ways (play, steps, the slider,
    // undo, erase, another clip, scripts); a light poll follows them all.
    auto* follow = new QTimer(this);
    connect(follow, &QTimer::timeout, this, [this] {
        moveCursor();
        followLine();
    });
    follow->start(100);
    followLine();
}

void MotionPanel::armMarking() { arm(Arm::Mark); }

// The control's pointer events carry picture pixels; the companion takes drawing coordinates (twips).
void MotionPanel::onVideoPress(int16_t button, float xPixels, float yPixels) {
    if (button != kLeftButton || armed_ == Arm::None) return;
    const QPointF at(xPixels * tvn::twipsPerPixelX(ctx_.control), yPixels * tvn::twipsPerPixelY(ctx_.control));
    const Arm what = armed_;
    armed_ = Arm::None;
    clickTaken_ = true;  // the tool stays "none" until this click's release
    const bool started = ctx_.run(tr("Tracking"), [&] {
        if (what == Arm::Mark) {
            const int point = motion_->trackPoint(at.x(), at.y(), backward_->isChecked());
            ctx_.showMessage(tr("Tracking point %1...").arg(point));
        } else {
            motion_->correctPoint(point_->currentIndex(), at.x(), at.y(), backward_->isChecked());
            ctx_.showMessage(tr("Tracking point %1 on from here...").arg(point_->currentIndex()));
        }
    });
    if (started) progress_->setValue(progress_->minimum());
}

void MotionPanel::onVideoRelease(int16_t button) {
    if (button != kLeftButton || !clickTaken_) return;
    clickTaken_ = false;
    ctx_.control->TVN_drawingTool = toolBeforeArming_;
}

// While armed, the click marks a point and draws nothing: the tool is "none"
// from the arming until that click is released.
void MotionPanel::arm(Arm what) {
    if (what != Arm::None && armed_ == Arm::None && !clickTaken_) toolBeforeArming_ = ctx_.control->TVN_drawingTool;
    if (what == Arm::None && armed_ != Arm::None) ctx_.control->TVN_drawingTool = toolBeforeArming_;
    if (what != Arm::None) {
        if (ctx_.control->TVN_videoFileName.isEmpty()) {
            ctx_.showMessage(tr("Open a clip first"));
            return;
        }
        ctx_.control->TVN_drawingTool = QStringLiteral("none");
        ctx_.showMessage(what == Arm::Mark ? tr("Click the point to track on the video")
                                           : tr("Click where point %1 really is").arg(point_->currentIndex()));
    }
    armed_ = what;
}

// The length of the line on the video drawn last, in the calibration's unit;
// no line, no calibration offered.
void MotionPanel::followLine() {
    const std::optional<QLineF> line = motion_->lastLine();
    calibrate_->setEnabled(line.has_value());
    const QString text = line ? tr("Last line: %1 %2")
                                    .arg(motion_->measure(line->x1(), line->y1(), line->x2(), line->y2()), 0, 'f', 3)
                                    .arg(motion_->unit())
                              : tr("No line on the video: draw one along something of known length.");
    if (lineLength_->text() != text) lineLength_->setText(text);
}

void MotionPanel::calibrateFromLine() {
    ctx_.run(tr("Calibration"), [&] { motion_->calibrateFromLastLine(length_->value(), unit_->text()); });
}

void MotionPanel::refreshPoints() {
    const int keep = point_->currentIndex();
    const QSignalBlocker quiet(point_);
    point_->clear();
    for (int i = 0; i < motion_->pointCount(); ++i) point_->addItem(tr("Point %1").arg(i));
    if (motion_->pointCount() > 0) point_->setCurrentIndex(std::clamp(keep, 0, motion_->pointCount() - 1));
}

MotionPanel::Plot MotionPanel::plot() const { return Plot(std::max(0, plotKind_->currentIndex())); }

void MotionPanel::replot() {
    series_->clear();
    plotted_.clear();
    QString title;
    try {
        const Plot kind = plot();
        if (kind == Plot::Angle) {
            if (motion_->pointCount() < 3) return;
            for (const auto& s : motion_->jointAngle(0, 1, 2)) plotted_.push_back({s.timeMs / 1000, s.frame}), series_->append(s.timeMs / 1000, s.degrees);
            title = tr("degrees");
        } else {
            if (point_->currentIndex() < 0) return;
            // The picture's y grows downwards; the coach reads vertical motion up.
            const double up = motion_->calibration().isPlane() ? 1.0 : -1.0;
            const QString u = motion_->unit();
            for (const auto& s : motion_->kinematics(point_->currentIndex())) {
                double v = 0;
                switch (kind) {
                    case Plot::Speed: v = s.speed, title = tr("%1/s").arg(u); break;
                    case Plot::Acceleration: v = s.acceleration, title = tr("%1/s²").arg(u); break;
                    case Plot::VelocityX: v = s.velocityX, title = tr("%1/s").arg(u); break;
                    case Plot::VelocityY: v = up * s.velocityY, title = tr("%1/s").arg(u); break;
                    case Plot::AccelerationX: v = s.accelerationX, title = tr("%1/s²").arg(u); break;
                    case Plot::AccelerationY: v = up * s.accelerationY, title = tr("%1/s²").arg(u); break;
                    case Plot::Angle: break;
                }
                plotted_.push_back({s.timeMs / 1000, s.frame});
                series_->append(s.timeMs / 1000, v);
            }
        }
    } catch (const tvn::TvnError& e) {
        ctx_.showMessage(tr("Nothing to plot: %1").arg(e.description()));
        return;
    }
    double lo = 0, hi = 1;
    if (series_->count() > 0) {
        const QList<QPointF> points = series_->points();
        const auto [mn, mx] = std::minmax_element(points.begin(), points.end(),
                                                  [](QPointF p, QPointF q) { return p.y() < q.y(); });
        // Zero stays in view; components go both ways.
        lo = std::min(0.0, mn->y() * 1.05), hi = std::max(lo + 1e-9, std::max(0.0, mx->y() * 1.05));
    }
    auto* x = qobject_cast<QValueAxis*>(chart_->axes(Qt::Horizontal).value(0));
    auto* y = qobject_cast<QValueAxis*>(chart_->axes(Qt::Vertical).value(0));
    if (!plotted_.empty()) x->setRange(plotted_.front().first, std::max(plotted_.back().first, plotted_.front().first + 1e-3));
    y->setRange(lo, hi);
    x->setTitleText(tr("s"));
    y->setTitleText(title);
    moveCursor();
}

void MotionPanel::moveCursor() {
    auto* y = qobject_cast<QValueAxis*>(chart_->axes(Qt::Vertical).value(0));
    const double t = ctx_.control->TVN_CurrentPos / 1000;
    cursor_->replace({QPointF(t, y->min()), QPointF(t, y->max())});
}

void MotionPanel::jumpTo(QPointF scenePosition) {
    if (plotted_.empty()) return;
    const double t = chart_->mapToValue(chart_->mapFromScene(scenePosition), series_).x();
    const auto nearest = std::min_element(plotted_.begin(), plotted_.end(), [t](const auto& a, const auto& b) {
        return std::abs(a.first - t) < std::abs(b.first - t);
    });
    int32_t frame = nearest->second;
    ctx_.run(tr("Go to frame"), [&] { ctx_.control->TVN_SetFrame(frame); });
}

void MotionPanel::exportCsv() {
    const QString path = QFileDialog::getSaveFileName(this, tr("Export motion data"), {}, tr("CSV (*.csv)"));
    if (path.isEmpty()) return;
    if (ctx_.run(tr("Export"), [&] {
            if (plot() == Plot::Angle) motion_->exportAngleCsv(path, 0, 1, 2);
            else motion_->exportCsv(path, point_->currentIndex());
        }))
        ctx_.showMessage(tr("Saved %1").arg(path));
}

}  // namespace studio
