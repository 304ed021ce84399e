#include "RecordingMark.h"

#include "LessonPanel.h"
#include "TimeText.h"
#include "control/Trelvan.h"

namespace studio {

RecordingMark::RecordingMark(tvn::Trelvan* control, LessonPanel* lesson, QWidget* parent)
    : QLabel(parent), control_(control), lesson_(lesson) {
    setObjectName(QStringLiteral("recordingMark"));
    setToolTip(tr("A lesson is being recorded: F9 pauses and resumes, Shift+F9 stops"));
    hide();
    connect(lesson_, &LessonPanel::stateChanged, this, &RecordingMark::refresh);
}

void RecordingMark::refresh() {
    if (!control_->TVN_LessonInProgress) {
        hide();
        return;
    }
    const QString time = TimeText::duration(double(lesson_->recordedMs()));
    setText(lesson_->paused() ? tr("<span style='color:#c00000'>&#9679;</span> Lesson paused %1 (F9 resumes)").arg(time)
                              : tr("<span style='color:#e00000'>&#9679;</span> <b>REC</b> %1").arg(time));
    show();
}

}  // namespace studio
