#pragma once

#include <QImage>
#include <QWidget>
#include <cstdint>

namespace tvn {

// The display engine's picture: paints the picture the pipeline composed,
// stretched over the whole widget (so pointer positions map linearly onto the
// clip), and turns pointer and key input into the engine's terms: positions in
// twips from the widget's top-left, Button 1 left / 2 right / 4 middle, Shift 1
// shift / 2 ctrl / 4 alt, and typed characters as their character code.
// It never decodes or converts while painting.
class EngineDisplayWidget : public QWidget {
    Q_OBJECT
public:
    enum class Pointer { Down, Move, Up };

    explicit EngineDisplayWidget(QWidget* parent);

    void setPicture(const QImage& picture);
    const QImage& picture() const { return picture_; }
    void setBackground(const QColor& colour);
    // Paints the picture at its own proportions, centred on the background, instead
    // of stretched: for the full-screen window, which takes no pointer input.
    void setKeepAspect(bool keep) { keepAspect_ = keep; }

signals:
    void pointer(tvn::EngineDisplayWidget::Pointer kind, int16_t button, int16_t shift, float x, float y);
    void keyTyped(int16_t keyAscii);
    void escapePressed();
    void doubleClicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void report(Pointer kind, QMouseEvent* event, Qt::MouseButtons buttons);

    QImage picture_;
    QColor background_ = Qt::black;
    bool keepAspect_ = false;
};

}  // namespace tvn
