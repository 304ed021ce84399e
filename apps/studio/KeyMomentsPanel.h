#pragma once

#include "StudioContext.h"
#include "TimelineSlider.h"

#include <QWidget>

class QListWidget;
class QPushButton;

namespace tvn {
class Analysis;
}

namespace studio {

// The clip's key moments (take-off, contact, release), from the analysis
// companion, in frame order: each with its frame, time, label and colour, its
// note as a tooltip. The coach marks the current frame (label, note, colour),
// renames and removes the selected one, goes to one with a double-click or to
// the next and previous, and exports them as CSV. The list follows the companion,
// so moments a document or a recovery brings show at once, here and on the timeline.
class KeyMomentsPanel : public QWidget {
    Q_OBJECT
public:
    KeyMomentsPanel(StudioContext context, QWidget* parent);

    QListWidget& list() { return *list_; }
    // As the buttons and the Moments menu do; each asks what it needs.
    void markAsked();
    void renameAsked();
    void removeSelected();
    void exportAsked();
    // The moment after (before) the frame shown; stays when there is none.
    void next();
    void previous();
    // Marks the current frame; false (with a message) when it could not.
    bool mark(const QString& label, const QString& note, int32_t colour);
    bool rename(int index, const QString& label);

signals:
    // The coach asked to see a moment's frame.
    void frameChosen(int frame);
    // The control moved to a moment (next, previous).
    void moved();
    // The moments as the timeline shows them.
    void marksChanged(const QList<TimelineSlider::Mark>& marks);

private:
    void refresh();
    int selected() const;

    StudioContext ctx_;
    tvn::Analysis* analysis_;
    QListWidget* list_;
    QPushButton* rename_;
    QPushButton* remove_;
};

}  // namespace studio
