#pragma once

#include "StudioContext.h"

#include <QWidget>

class QComboBox;
class QSpinBox;

namespace studio {

// The drawing tools: a palette of every tool keyword, style pickers, editing
// commands, grid, target, clock, caption and the tracking trail.
class DrawingPanel : public QWidget {
    Q_OBJECT
public:
    DrawingPanel(StudioContext context, QWidget* parent);

    // Every tool keyword the control knows, in palette order.
    static const QStringList& toolKeywords();

private:
    void redraw();
    void pickColour(int32_t& target, const QString& title);

    StudioContext ctx_;
    QComboBox* tool_;
};

}  // namespace studio
