#pragma once

#include "StudioContext.h"

#include <QWidget>

class QCheckBox;
class QComboBox;
class QFontComboBox;
class QSpinBox;

namespace studio {

// The drawing tools: a palette of the tools by the names a coach uses, style
// pickers, editing commands, grid, cross-hair, clock, caption and the tracking
// trail. The coach's drawing settings are kept between runs (QSettings, group
// "drawing") and can be reset; the text size follows the clip's resolution
// unless the coach picked one.
class DrawingPanel : public QWidget {
    Q_OBJECT
public:
    DrawingPanel(StudioContext context, QWidget* parent);

    // Each tool: the control's keyword and the name the coach reads, in palette order.
    static const QList<QPair<QString, QString>>& tools();
    // A text size (points) that reads on screen when the clip is shown at shownScale
    // screen pixels per clip pixel: letters about 16 pixels tall.
    static int textSizeFor(double shownScale);

    // A new clip: the automatic text size and the grid spacing follow its size on screen.
    void clipOpened();
    // Back to the studio's defaults, forgetting what was kept.
    void resetSettings();
    // The editing commands, as the panel's buttons and the Edit menu run them.
    // Erasing everything cannot be undone: eraseAll asks first.
    void undo();
    void redo();
    void eraseFreeHand();
    void eraseAll();

signals:
    void drawingsCleared();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void load();
    void applyTextSize();
    void applyGrid();
    void placeCrossHairInMiddle();
    void redraw();
    void pickColour(int32_t& target, const QString& key, const QString& title);

    StudioContext ctx_;
    QComboBox* tool_;
    QSpinBox* width_;
    QFontComboBox* font_;
    QSpinBox* fontSize_;
    QCheckBox* grid_;
    QSpinBox* spacing_;
    QComboBox* spacingUnit_;
    QSpinBox* trail_;
    QCheckBox* readable_;
};

}  // namespace studio
