#pragma once

#include <QColor>
#include <QList>
#include <QSlider>

namespace studio {

// The frame slider: a click on the track jumps there (and the drag goes on from
// there) instead of paging; frameWanted reports each frame the hand asks for.
// Key moments show on it as marks in their own colours, over the groove, where the
// handle stands on their frame.
class TimelineSlider : public QSlider {
    Q_OBJECT
public:
    struct Mark {
        int frame;
        QColor colour;
    };

    explicit TimelineSlider(QWidget* parent);

    void setMarks(QList<Mark> marks);
    const QList<Mark>& marks() const { return marks_; }
    // The x of the handle's centre when it stands on frame (where its mark is drawn).
    int markX(int frame) const;

signals:
    void frameWanted(int frame);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    QList<Mark> marks_;
};

}  // namespace studio
