#include "DrawingPanel.h"

#include "control/Trelvan.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QEvent>
#include <QFontComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <cmath>
#include <iterator>

namespace studio {

namespace {
// The studio's defaults (the control's own are set for a small window: size 8 text, width 5).
constexpr int32_t kDrawingColour = 0x00FFFF;  // yellow, 0x00BBGGRR
constexpr int32_t kTextColour = 0x00FFFF;
constexpr int32_t kGridColour = 0xC0C0C0;  // light grey: white is the drawing layer's transparent key
constexpr int kWidth = 3;
constexpr int kAutoTextSize = 3;  // the spin box's lowest value reads "Auto"
constexpr int kGridSpacingPx = 50;
constexpr int kTrailFrames = 10;

QString key(const char* name) { return QStringLiteral("drawing/") + QLatin1String(name); }
}  // namespace

const QList<QPair<QString, QString>>& DrawingPanel::tools() {
    static const QList<QPair<QString, QString>> list = {
        {"none", tr("No tool")},        {"line", tr("Line")},
        {"angle", tr("Angle")},         {"qangle", tr("Quick angle")},
        {"square", tr("Rectangle")},    {"circle", tr("Circle")},
        {"circline", tr("Guide circle")}, {"lightmouse", tr("Pointer")},
        {"lightmouseleft", tr("Pointer (left)")}, {"free", tr("Free hand")},
        {"text", tr("Text")},           {"target", tr("Cross-hair")},
        {"tracker", tr("Trail points (a click a frame)")}, {"zoom", tr("Magnifier")},
        {"step", tr("Click steps a frame")},
    };
    return list;
}

int DrawingPanel::textSizeFor(double shownScale) {
    // A point is 4/3 of a clip pixel in the control's drawing, shown at shownScale screen
    // pixels per clip pixel: size 8 on HD footage in a window is 4 pixels on screen.
    constexpr double kLetterPx = 16;
    return std::clamp(static_cast<int>(std::lround(kLetterPx / (shownScale * 4 / 3))), 8, 72);
}

DrawingPanel::DrawingPanel(StudioContext context, QWidget* parent) : QWidget(parent), ctx_(std::move(context)) {
    auto* form = new QFormLayout(this);
    form->setRowWrapPolicy(QFormLayout::WrapLongRows);  // narrow panel: fields go under their labels
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);

    tool_ = new QComboBox(this);
    for (const auto& [keyword, name] : tools()) tool_->addItem(name, keyword);
    connect(tool_, &QComboBox::currentIndexChanged, this,
            [this] { ctx_.control->TVN_drawingTool = tool_->currentData().toString(); });
    tool_->setToolTip(tr("What a press and drag on the video draws"));
    form->addRow(tr("Tool"), tool_);

    auto* colour = new QPushButton(tr("Colour..."), this);
    colour->setToolTip(tr("The colour of the next drawings"));
    connect(colour, &QPushButton::clicked, this,
            [this] { pickColour(ctx_.control->TVN_drawingColor, key("colour"), tr("Drawing colour")); });
    width_ = new QSpinBox(this);
    width_->setRange(1, 20);
    width_->setSuffix(tr(" px wide"));
    width_->setToolTip(tr("Line width in pixels: on the screen with bold drawings for HD video, of the clip without"));
    connect(width_, &QSpinBox::valueChanged, this, [this](int w) {
        ctx_.control->TVN_drawingWidth = static_cast<int16_t>(w);
        QSettings().setValue(key("width"), w);
        redraw();
    });
    form->addRow(colour, width_);

    font_ = new QFontComboBox(this);
    font_->setMinimumContentsLength(8);
    font_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    font_->setToolTip(tr("The font of the next text typed on the video"));
    connect(font_, &QFontComboBox::currentFontChanged, this, [this](const QFont& f) {
        ctx_.control->TVN_FontName = f.family();
        QSettings().setValue(key("font"), f.family());
    });
    fontSize_ = new QSpinBox(this);
    fontSize_->setRange(kAutoTextSize, 96);
    fontSize_->setSpecialValueText(tr("Auto"));
    fontSize_->setSuffix(tr(" pt"));
    connect(fontSize_, &QSpinBox::valueChanged, this, [this](int s) {
        QSettings().setValue(key("textSize"), s);
        applyTextSize();
    });
    form->addRow(font_, fontSize_);
    fontSize_->setToolTip(tr("Auto: letters about 16 pixels tall on screen, whatever the clip's resolution"));
    auto* textColour = new QPushButton(tr("Text colour..."), this);
    textColour->setToolTip(tr("The colour of the caption and the clock"));
    connect(textColour, &QPushButton::clicked, this,
            [this] { pickColour(ctx_.control->TVN_TextColor, key("textColour"), tr("Text colour")); });
    form->addRow(textColour);

    auto* edits = new QGridLayout;
    const struct {
        QString name, tip;
        void (DrawingPanel::*run)();
    } commands[] = {
        {tr("Undo"), tr("Takes back the last drawing (Ctrl+Z)"), &DrawingPanel::undo},
        {tr("Redo"), tr("Puts back what Undo took (Ctrl+Shift+Z)"), &DrawingPanel::redo},
        {tr("Erase free hand"), tr("Erases the free-hand strokes only"), &DrawingPanel::eraseFreeHand},
        {tr("Erase all..."), tr("Erases every drawing; asks first, as Undo cannot bring them back (Ctrl+Shift+Del)"),
         &DrawingPanel::eraseAll},
    };
    for (int i = 0; i < int(std::size(commands)); ++i) {
        auto* b = new QPushButton(commands[i].name, this);
        b->setToolTip(commands[i].tip);
        connect(b, &QPushButton::clicked, this, commands[i].run);
        edits->addWidget(b, i / 2, i % 2);
    }
    form->addRow(edits);

    grid_ = new QCheckBox(tr("Grid"), this);
    grid_->setToolTip(tr("Lines over the whole picture, spaced on the screen"));
    spacing_ = new QSpinBox(this);
    spacing_->setToolTip(tr("Grid spacing"));
    spacing_->setRange(1, 500);
    spacingUnit_ = new QComboBox(this);
    spacingUnit_->addItem(tr("px on screen"), QStringLiteral("px"));
    spacingUnit_->addItem(tr("cm on screen"), QStringLiteral("cm"));
    auto* spacingRow = new QHBoxLayout;
    spacingRow->addWidget(spacing_);
    spacingRow->addWidget(spacingUnit_);
    connect(grid_, &QCheckBox::toggled, this, [this](bool on) {
        QSettings().setValue(key("grid"), on);
        applyGrid();
    });
    connect(spacing_, &QSpinBox::valueChanged, this, [this](int s) {
        QSettings().setValue(key("gridSpacing"), s);
        applyGrid();
    });
    connect(spacingUnit_, &QComboBox::currentIndexChanged, this, [this] {
        QSettings().setValue(key("gridUnit"), spacingUnit_->currentData());
        applyGrid();
    });
    form->addRow(grid_, spacingRow);
    auto* gridColour = new QPushButton(tr("Grid colour..."), this);
    gridColour->setToolTip(tr("The colour of the grid"));
    connect(gridColour, &QPushButton::clicked, this,
            [this] { pickColour(ctx_.control->TVN_GridColor, key("gridColour"), tr("Grid colour")); });
    form->addRow(gridColour);

    auto* target = new QCheckBox(tr("Cross-hair"), this);
    target->setToolTip(tr("Starts in the middle; move it with the Cross-hair tool"));
    connect(target, &QCheckBox::toggled, this, [this](bool on) {
        ctx_.control->TVN_DisplayTarget = on;
        if (on) placeCrossHairInMiddle();
        redraw();
    });
    form->addRow(target);
    auto* clock = new QCheckBox(tr("Clock"), this);
    clock->setToolTip(tr("The time on the video, from where the clock was zeroed"));
    auto* zero = new QPushButton(tr("Zero clock here"), this);
    zero->setToolTip(tr("The clock reads 0 on this frame"));
    connect(clock, &QCheckBox::toggled, this, [this](bool on) {
        ctx_.control->TVN_DisplayClock = on;
        redraw();
    });
    connect(zero, &QPushButton::clicked, this, [this] {
        ctx_.control->tvn_ClockStartTimeMS = static_cast<int32_t>(ctx_.control->TVN_CurrentPos);
        redraw();
    });
    form->addRow(clock, zero);
    auto* caption = new QLineEdit(this);
    caption->setPlaceholderText(tr("Caption over the video"));
    caption->setToolTip(tr("A line of text at the top left of the video"));
    connect(caption, &QLineEdit::textChanged, this, [this](const QString& t) {
        ctx_.control->TVN_Text = t;
        redraw();
    });
    form->addRow(tr("Caption"), caption);

    // Showing the trail (the clicked points and the tracked ones) is not the tool that adds points to it.
    auto* tracking = new QCheckBox(tr("Show trail"), this);
    tracking->setToolTip(tr("Shows the trail of the points clicked with the Trail points tool, and of the points "
                            "the Motion panel tracked, over the last frames; on, it picks the Trail points tool"));
    trail_ = new QSpinBox(this);
    trail_->setRange(0, 1000);
    trail_->setSuffix(tr(" frames"));
    trail_->setToolTip(tr("How many frames back the trail reaches"));
    connect(tracking, &QCheckBox::toggled, this, [this](bool on) {
        ctx_.control->TVN_TrackingLength = trail_->value();
        bool value = on;
        ctx_.run(tr("Trail"), [&] { ctx_.control->TVN_SetTracking(value); });
        if (on) tool_->setCurrentIndex(tool_->findData(QStringLiteral("tracker")));
    });
    connect(trail_, &QSpinBox::valueChanged, this, [this](int n) {
        ctx_.control->TVN_TrackingLength = n;
        QSettings().setValue(key("trail"), n);
        redraw();
    });
    form->addRow(tracking, trail_);

    // HD footage is shown smaller than its pixels: the control then counts
    // widths on the screen and rings every drawing with an outline.
    readable_ = new QCheckBox(tr("Bold drawings for HD video"), this);
    readable_->setToolTip(tr("Widths count screen pixels whatever the clip's resolution, and every line, trail and "
                             "label has a dark outline, so drawings read on any picture"));
    connect(readable_, &QCheckBox::toggled, this, [this](bool on) {
        QSettings().setValue(key("readable"), on);
        ctx_.control->setReadableDrawing(on);
    });
    form->addRow(readable_);

    auto* reset = new QPushButton(tr("Reset drawing settings"), this);
    reset->setToolTip(tr("Back to the studio's colours, widths and sizes"));
    connect(reset, &QPushButton::clicked, this, &DrawingPanel::resetSettings);
    form->addRow(reset);

    ctx_.control->installEventFilter(this);  // the grid is spaced on screen: it follows the control's size
    load();
}

void DrawingPanel::undo() { ctx_.run(tr("Undo"), [this] { ctx_.control->TVN_Undo(); }); }
void DrawingPanel::redo() { ctx_.run(tr("Redo"), [this] { ctx_.control->TVN_Redo(); }); }
void DrawingPanel::eraseFreeHand() { ctx_.run(tr("Erase free hand"), [this] { ctx_.control->TVN_EraseFreeHand(); }); }

void DrawingPanel::eraseAll() {
    if (QMessageBox::question(this, tr("Erase all drawings"),
                              tr("Erase every drawing on the video? Undo cannot bring them back."),
                              QMessageBox::Yes | QMessageBox::Cancel, QMessageBox::Cancel) != QMessageBox::Yes)
        return;
    if (ctx_.run(tr("Erase all"), [this] { ctx_.control->TVN_EraseAll(); })) emit drawingsCleared();
}

void DrawingPanel::load() {
    QSettings s;
    tvn::Trelvan& c = *ctx_.control;
    c.TVN_drawingColor = s.value(key("colour"), kDrawingColour).toInt();
    c.TVN_TextColor = s.value(key("textColour"), kTextColour).toInt();
    c.TVN_GridColor = s.value(key("gridColour"), kGridColour).toInt();
    width_->setValue(s.value(key("width"), kWidth).toInt());
    font_->setCurrentFont(QFont(s.value(key("font"), c.TVN_FontName).toString()));
    fontSize_->setValue(s.value(key("textSize"), kAutoTextSize).toInt());
    spacingUnit_->setCurrentIndex(std::max(0, spacingUnit_->findData(s.value(key("gridUnit"), QStringLiteral("px")))));
    spacing_->setValue(s.value(key("gridSpacing"), kGridSpacingPx).toInt());
    grid_->setChecked(s.value(key("grid"), false).toBool());
    trail_->setValue(s.value(key("trail"), kTrailFrames).toInt());
    readable_->setChecked(s.value(key("readable"), true).toBool());
    c.setReadableDrawing(readable_->isChecked());
    c.TVN_FontName = font_->currentFont().family();
    c.TVN_drawingWidth = static_cast<int16_t>(width_->value());
    c.TVN_TrackingLength = trail_->value();
    applyTextSize();
    applyGrid();
}

void DrawingPanel::resetSettings() {
    QSettings().remove(QStringLiteral("drawing"));
    load();
    redraw();
}

void DrawingPanel::clipOpened() {
    applyTextSize();
    applyGrid();
}

void DrawingPanel::applyTextSize() {
    tvn::Trelvan& c = *ctx_.control;
    const int chosen = fontSize_->value();
    const double shownScale = c.TVN_VideoWidth > 0 && c.width() > 0 ? double(c.width()) / c.TVN_VideoWidth : 1.0;
    c.TVN_FontSize = static_cast<int16_t>(chosen > kAutoTextSize ? chosen : textSizeFor(shownScale));
}

void DrawingPanel::applyGrid() {
    tvn::Trelvan& c = *ctx_.control;
    c.TVN_DisplayGrid = grid_->isChecked();
    // The control spaces the grid in drawing twips (clip twips once a clip is open);
    // the coach gives it on screen.
    const double twipsPerPixel = 1440.0 / std::max(1, c.logicalDpiX());
    double screenPx = spacing_->value();
    if (spacingUnit_->currentData() == QLatin1String("cm")) screenPx *= c.logicalDpiX() / 2.54;
    const double clipPxPerScreenPx = c.TVN_VideoWidth > 0 && c.width() > 0 ? double(c.TVN_VideoWidth) / c.width() : 1.0;
    c.TVN_GridSpacing = static_cast<int16_t>(std::clamp(std::lround(screenPx * clipPxPerScreenPx * twipsPerPixel), 1L, 32767L));
    if (c.TVN_DisplayGrid || c.TVN_VideoWidth > 0) redraw();
}

void DrawingPanel::placeCrossHairInMiddle() {
    // The control puts the cross-hair where the cross-hair tool is pressed; the
    // studio presses it in the middle of the picture, in control twips.
    tvn::Trelvan& c = *ctx_.control;
    const QString tool = c.TVN_drawingTool;
    c.TVN_drawingTool = QStringLiteral("target");
    const float x = static_cast<float>(c.width() / 2.0 * 1440.0 / std::max(1, c.logicalDpiX()));
    const float y = static_cast<float>(c.height() / 2.0 * 1440.0 / std::max(1, c.logicalDpiY()));
    ctx_.run(tr("Cross-hair"), [&] {
        int16_t button = 1, shift = 0;
        float dx = x, dy = y, ux = x, uy = y;
        c.TVN_MouseDown(button, shift, dx, dy);
        c.TVN_MouseUp(button, shift, ux, uy);
    });
    c.TVN_drawingTool = tool;
}

bool DrawingPanel::eventFilter(QObject* watched, QEvent* event) {
    if (watched == ctx_.control && event->type() == QEvent::Resize) {
        applyTextSize();
        if (grid_->isChecked()) applyGrid();
    }
    return QWidget::eventFilter(watched, event);
}

void DrawingPanel::redraw() {
    if (ctx_.control->TVN_videoFileName.isEmpty()) return;  // nothing to draw on yet
    ctx_.run(tr("Redraw"), [this] { ctx_.control->TVN_ReDraw(); });
}

void DrawingPanel::pickColour(int32_t& target, const QString& settingsKey, const QString& title) {
    const QColor chosen = QColorDialog::getColor(StudioContext::toQColor(target), this, title);
    if (!chosen.isValid()) return;
    target = StudioContext::fromQColor(chosen);
    // The control's drawing layer treats its transparent colour as "nothing drawn".
    if (target == ctx_.control->TVN_TransparentColor) target ^= 0x010101;
    QSettings().setValue(settingsKey, target);
    redraw();
}

}  // namespace studio
