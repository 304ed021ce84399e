#pragma once

#include <QSlider>

namespace studio {

// The frame slider: a click on the track jumps there (and the drag goes on from
// there) instead of paging; frameWanted reports each frame the hand asks for.
class TimelineSlider : public QSlider {
    Q_OBJECT
public:
    explicit TimelineSlider(QWidget* parent);

signals:
    void frameWanted(int frame);

protected:
    void mousePressEvent(QMouseEvent* event) override;
};

}  // namespace studio
