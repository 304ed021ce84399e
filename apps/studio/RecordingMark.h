#pragma once

#include <QLabel>

namespace tvn {
class Trelvan;
}

namespace studio {

class LessonPanel;

// The status bar's mark while a lesson records: a red dot, REC and the time
// recorded, or that the lesson is paused; hidden while no lesson records.
class RecordingMark : public QLabel {
    Q_OBJECT
public:
    RecordingMark(tvn::Trelvan* control, LessonPanel* lesson, QWidget* parent);

    void refresh();

private:
    tvn::Trelvan* control_;
    LessonPanel* lesson_;
};

}  // namespace studio
