#pragma once

#include <QImage>
#include <QWidget>

namespace tvn {

// The mixer's widget: paints the picture the mixer composed for the current
// frames, as it is (it is composed at the widget's size). A paint never
// composes; a resize asks the mixer to compose again at the new size.
class MixerDisplay : public QWidget {
    Q_OBJECT
public:
    explicit MixerDisplay(QWidget* parent);

    void setPicture(const QImage& picture);
    const QImage& picture() const { return picture_; }

signals:
    void resized();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QImage picture_;
};

}  // namespace tvn
