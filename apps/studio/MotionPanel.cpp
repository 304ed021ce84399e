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
    auto* form = new QFormLayout(this);

    length_ = new QDoubleSpinBox(this);
    length_->setRange(0.001, 100000);
    length_->setDecimals(3);
    length_->setValue(1.0);
    unit_ = new QLineEdit(QStringLiteral("m"), this);
    unit_->setMaximumWidth(60);
    auto* lengthRow = new QHBoxLayout;
    lengthRow->addWidget(length_);
    lengthRow->addWidget(unit_);
    form->addRow(tr("Last line is"), lengthRow);
    auto* calibrate = new QPushButton(tr("Calibrate from the last drawn line"), this);
    connect(calibrate, &QPushButton::clicked, this, &MotionPanel::calibrateFromLine);
    calibration_ = new QLabel(tr("Not calibrated (pixels)"), this);
    lineLength_ = new QLabel(this);
    form->addRow(calibrate);
    form->addRow(calibration_);
    form->addRow(lineLength_);
    auto* lengthsOnVideo = new QCheckBox(tr("Real lengths beside the lines"), this);
    connect(lengthsOnVideo, &QCheckBox::toggled, this, [this](bool on) { motion_->setShowLineLengths(on); });
    form->addRow(lengthsOnVideo);

    point_ = new QComboBox(this);
    backward_ = new QCheckBox(tr("Backward"), this);
    form->addRow(point_, backward_);
    auto* onVideo = new QLabel(tr("Tracked points show on the video while the Trail is on (Drawing)."), this);
    onVideo->setWordWrap(true);
    form->addRow(onVideo);
    auto* buttons = new QGridLayout;
    const QList<QPair<QString, std::function<void()>>> commands = {
        {tr("Mark point"), [this] { arm(Arm::Mark); }},
        {tr("Correct point"), [this] { arm(Arm::Correct); }},
        {tr("Cancel tracking"), [this] { motion_->cancelTracking(); }},
        {tr("Export CSV..."), [this] { exportCsv(); }},
    };
    for (int i = 0; i < commands.size(); ++i) {
        auto* b = new QPushButton(commands[i].first, this);
        connect(b, &QPushButton::clicked, this, commands[i].second);
        buttons->addWidget(b, i / 2, i % 2);
    }
    form->addRow(buttons);
    progress_ = new QProgressBar(this);
    form->addRow(progress_);

    plotKind_ = new QComboBox(this);
    plotKind_->addItems({tr("Speed of the point"), tr("Angle at point 1 (points 0, 1, 2)")});
    form->addRow(tr("Plot"), plotKind_);
    chart_ = new QChart;
    chart_->legend()->hide();
    series_ = new QLineSeries(chart_);
    cursor_ = new QLineSeries(chart_);
    cursor_->setColor(Qt::red);
    chart_->addSeries(series_);
    chart_->addSeries(cursor_);
    chart_->createDefaultAxes();
    chartView_ = new QChartView(chart_, this);
    chartView_->setMinimumHeight(220);
    chartView_->setRenderHint(QPainter::Antialiasing);
    chartView_->viewport()->installEventFilter(
        new ClickFilter(this, [this](QPointF p) { jumpTo(chartView_->mapToScene(p.toPoint())); }));
    form->addRow(chartView_);

    connect(plotKind_, &QComboBox::currentIndexChanged, this, &MotionPanel::replot);
    connect(point_, &QComboBox::currentIndexChanged, this, &MotionPanel::replot);
    connect(motion_, &tvn::MotionAnalysis::calibrationChanged, this, [this] {
        if (!motion_->calibrated()) calibration_->setText(tr("Not calibrated (pixels)"));
        else if (motion_->unitsPerPixel() > 0)
            calibration_->setText(tr("%1 %2 per pixel").arg(motion_->unitsPerPixel(), 0, 'g', 4).arg(motion_->unit()));
        else calibration_->setText(tr("On a plane, in %1").arg(motion_->unit()));
        replot();
    });
    connect(motion_, &tvn::MotionAnalysis::trackingProgress, this, [this](int, int done, int total) {
        progress_->setRange(0, total);
        progress_->setValue(done);
    });
    connect(motion_, &tvn::MotionAnalysis::trackingFinished, this, [this](int point, bool cancelled) {
        refreshPoints();
        point_->setCurrentIndex(point);
        if (cancelled) ctx_.showMessage(tr("Tracking of point %1 cancelled").arg(point));
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
    connect(c, &tvn::Trelvan::MouseUp, this,
            [this](int16_t& button, int16_t&, float& x, float& y) { onVideoRelease(button, x, y); });
    // The playhead moves in many ways (play, steps, the slider, scripts); a light poll follows them all.
    auto* follow = new QTimer(this);
    connect(follow, &QTimer::timeout, this, &MotionPanel::moveCursor);
    follow->start(100);
}

// The control's pointer events carry picture pixels; the companion takes drawing coordinates (twips).
void MotionPanel::onVideoPress(int16_t button, float xPixels, float yPixels) {
    if (button != kLeftButton) return;
    const QPointF at(xPixels * tvn::twipsPerPixelX(ctx_.control), yPixels * tvn::twipsPerPixelY(ctx_.control));
    pressAt_ = at;
    if (armed_ == Arm::None) return;
    const Arm what = armed_;
    arm(Arm::None);
    ctx_.run(tr("Tracking"), [&] {
        if (what == Arm::Mark) motion_->trackPoint(at.x(), at.y(), backward_->isChecked());
        else motion_->correctPoint(point_->currentIndex(), at.x(), at.y(), backward_->isChecked());
    });
}

void MotionPanel::onVideoRelease(int16_t button, float xPixels, float yPixels) {
    if (button != kLeftButton) return;
    const QPointF at(xPixels * tvn::twipsPerPixelX(ctx_.control), yPixels * tvn::twipsPerPixelY(ctx_.control));
    if (at == pressAt_) return;
    lastLine_ = std::pair(pressAt_, at);
    lineLength_->setText(tr("Last line: %1 %2")
                             .arg(motion_->measure(pressAt_.x(), pressAt_.y(), at.x(), at.y()), 0, 'f', 3)
                             .arg(motion_->unit()));
}

// While armed, the click marks a point and draws nothing: the tool is "none" until it lands.
void MotionPanel::arm(Arm what) {
    if (what != Arm::None && armed_ == Arm::None) toolBeforeArming_ = ctx_.control->TVN_drawingTool;
    if (what == Arm::None && armed_ != Arm::None) ctx_.control->TVN_drawingTool = toolBeforeArming_;
    if (what != Arm::None) ctx_.control->TVN_drawingTool = QStringLiteral("none");
    armed_ = what;
    if (what != Arm::None) ctx_.showMessage(tr("Click the point on the video"));
}

void MotionPanel::calibrateFromLine() {
    if (!lastLine_) {
        ctx_.showMessage(tr("Draw a line along something of known length first"));
        return;
    }
    const auto [a, b] = *lastLine_;
    ctx_.run(tr("Calibration"), [&] { motion_->calibrate(a.x(), a.y(), b.x(), b.y(), length_->value(), unit_->text()); });
}

void MotionPanel::refreshPoints() {
    const int keep = point_->currentIndex();
    const QSignalBlocker quiet(point_);
    point_->clear();
    for (int i = 0; i < motion_->pointCount(); ++i) point_->addItem(tr("Point %1").arg(i));
    if (motion_->pointCount() > 0) point_->setCurrentIndex(std::clamp(keep, 0, motion_->pointCount() - 1));
}

bool MotionPanel::plottingAngle() const { return plotKind_->currentIndex() == 1; }

void MotionPanel::replot() {
    series_->clear();
    plotted_.clear();
    QString title;
    try {
        if (plottingAngle()) {
            if (motion_->pointCount() < 3) return;
            for (const auto& s : motion_->jointAngle(0, 1, 2)) plotted_.push_back({s.timeMs / 1000, s.frame}), series_->append(s.timeMs / 1000, s.degrees);
            title = tr("degrees");
        } else {
            if (point_->currentIndex() < 0) return;
            for (const auto& s : motion_->kinematics(point_->currentIndex()))
                plotted_.push_back({s.timeMs / 1000, s.frame}), series_->append(s.timeMs / 1000, s.speed);
            title = tr("%1/s").arg(motion_->unit());
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
        lo = std::min(0.0, mn->y()), hi = std::max(lo + 1e-9, mx->y() * 1.05);
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
            if (plottingAngle()) motion_->exportAngleCsv(path, 0, 1, 2);
            else motion_->exportCsv(path, point_->currentIndex());
        }))
        ctx_.showMessage(tr("Saved %1").arg(path));
}

}  // namespace studio
