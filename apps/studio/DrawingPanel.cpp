#include "DrawingPanel.h"

#include "control/Trelvan.h"
#include "platform/Surface.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QFontComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>

namespace studio {

const QStringList& DrawingPanel::toolKeywords() {
    static const QStringList tools = {"none",   "free",   "line",       "angle",          "qangle",  "square",
                                      "circle", "circline", "text",     "target",         "lightmouse",
                                      "lightmouseleft", "tracker", "kitetail", "zoom", "step"};
    return tools;
}

DrawingPanel::DrawingPanel(StudioContext context, QWidget* parent) : QWidget(parent), ctx_(std::move(context)) {
    tvn::Trelvan& c = *ctx_.control;
    auto* form = new QFormLayout(this);

    tool_ = new QComboBox(this);
    tool_->addItems(toolKeywords());
    connect(tool_, &QComboBox::currentTextChanged, this, [this](const QString& t) { ctx_.control->TVN_drawingTool = t; });
    form->addRow(tr("Tool"), tool_);

    auto* colour = new QPushButton(tr("Colour..."), this);
    connect(colour, &QPushButton::clicked, this, [this] { pickColour(ctx_.control->TVN_drawingColor, tr("Drawing colour")); });
    auto* width = new QSpinBox(this);
    width->setRange(1, 20);
    width->setValue(c.TVN_drawingWidth);
    connect(width, &QSpinBox::valueChanged, this, [this](int w) {
        ctx_.control->TVN_drawingWidth = static_cast<int16_t>(w);
        redraw();
    });
    form->addRow(colour, width);

    auto* font = new QFontComboBox(this);
    font->setCurrentFont(QFont(c.TVN_FontName));
    connect(font, &QFontComboBox::currentFontChanged, this,
            [this](const QFont& f) { ctx_.control->TVN_FontName = f.family(); });
    auto* fontSize = new QSpinBox(this);
    fontSize->setRange(4, 96);
    fontSize->setValue(c.TVN_FontSize);
    connect(fontSize, &QSpinBox::valueChanged, this, [this](int s) { ctx_.control->TVN_FontSize = static_cast<int16_t>(s); });
    form->addRow(font, fontSize);
    auto* textColour = new QPushButton(tr("Text colour..."), this);
    connect(textColour, &QPushButton::clicked, this, [this] { pickColour(ctx_.control->TVN_TextColor, tr("Text colour")); });
    form->addRow(textColour);

    auto* edits = new QGridLayout;
    const QList<QPair<QString, std::function<void()>>> commands = {
        {tr("Undo"), [this] { ctx_.run(tr("Undo"), [this] { ctx_.control->TVN_Undo(); }); }},
        {tr("Redo"), [this] { ctx_.run(tr("Redo"), [this] { ctx_.control->TVN_Redo(); }); }},
        {tr("Erase free-hand"), [this] { ctx_.run(tr("Erase free-hand"), [this] { ctx_.control->TVN_EraseFreeHand(); }); }},
        {tr("Erase all"), [this] { ctx_.run(tr("Erase all"), [this] { ctx_.control->TVN_EraseAll(); }); }},
    };
    for (int i = 0; i < commands.size(); ++i) {
        auto* b = new QPushButton(commands[i].first, this);
        connect(b, &QPushButton::clicked, this, commands[i].second);
        edits->addWidget(b, i / 2, i % 2);
    }
    form->addRow(edits);

    auto* grid = new QCheckBox(tr("Grid"), this);
    auto* spacing = new QSpinBox(this);
    spacing->setRange(0, 32767);
    spacing->setSingleStep(150);
    spacing->setValue(750);
    spacing->setSuffix(tr(" twips"));
    connect(grid, &QCheckBox::toggled, this, [this, spacing](bool on) {
        ctx_.control->TVN_DisplayGrid = on;
        ctx_.control->TVN_GridSpacing = static_cast<int16_t>(spacing->value());
        redraw();
    });
    connect(spacing, &QSpinBox::valueChanged, this, [this](int s) {
        ctx_.control->TVN_GridSpacing = static_cast<int16_t>(s);
        redraw();
    });
    form->addRow(grid, spacing);
    auto* gridColour = new QPushButton(tr("Grid colour..."), this);
    connect(gridColour, &QPushButton::clicked, this, [this] { pickColour(ctx_.control->TVN_GridColor, tr("Grid colour")); });
    form->addRow(gridColour);

    auto* target = new QCheckBox(tr("Target cross-hair"), this);
    connect(target, &QCheckBox::toggled, this, [this](bool on) {
        ctx_.control->TVN_DisplayTarget = on;
        redraw();
    });
    form->addRow(target);
    auto* clock = new QCheckBox(tr("Clock"), this);
    auto* zero = new QPushButton(tr("Zero clock here"), this);
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
    connect(caption, &QLineEdit::textChanged, this, [this](const QString& t) {
        ctx_.control->TVN_Text = t;
        redraw();
    });
    form->addRow(tr("Caption"), caption);

    auto* tracking = new QCheckBox(tr("Tracking trail"), this);
    auto* trail = new QSpinBox(this);
    trail->setRange(0, 1000);
    trail->setValue(10);
    trail->setSuffix(tr(" frames"));
    connect(tracking, &QCheckBox::toggled, this, [this, trail](bool on) {
        ctx_.control->TVN_TrackingLength = trail->value();
        bool value = on;
        ctx_.run(tr("Tracking"), [&] { ctx_.control->TVN_SetTracking(value); });
        if (on) tool_->setCurrentText(QStringLiteral("tracker"));
    });
    connect(trail, &QSpinBox::valueChanged, this, [this](int n) {
        ctx_.control->TVN_TrackingLength = n;
        redraw();
    });
    form->addRow(tracking, trail);
}

void DrawingPanel::redraw() {
    ctx_.run(tr("Redraw"), [this] { ctx_.control->TVN_ReDraw(); });
}

void DrawingPanel::pickColour(int32_t& target, const QString& title) {
    const QColor chosen = QColorDialog::getColor(tvn::Surface::toQColor(target), this, title);
    if (!chosen.isValid()) return;
    target = tvn::Surface::fromQColor(chosen);
    redraw();
}

}  // namespace studio
