#pragma once

#include <QWidget>

namespace tvn {
class Trelvan;
}

namespace studio {

// Laid over the control while its film strip shows: the control draws nine
// frames from the current one on, three by three over its whole area. This
// labels each with its frame number and time, and a click on one asks for that
// frame (frameChosen).
class FilmStripLabels : public QWidget {
    Q_OBJECT
public:
    FilmStripLabels(tvn::Trelvan* control, QWidget* parent);

    // The frame the thumbnail under a point of this widget shows, or -1.
    int frameAt(QPoint point) const;
    void follow(QRect controlGeometry);

signals:
    void frameChosen(int frame);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    tvn::Trelvan* control_;
};

}  // namespace studio
