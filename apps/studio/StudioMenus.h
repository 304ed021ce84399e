#pragma once

#include "StudioContext.h"

#include <QObject>

class QMainWindow;
class QMenu;

namespace studio {

class AnalysisFiles;
class DrawingPanel;
class FilmStripLabels;
class KeyMomentsPanel;
class LessonPanel;
class MotionPanel;

// The studio's menu bar. Actions on a panel go straight to it; what concerns the
// window (clips, frames, full screen) is asked by a signal. Each menu is built in
// a function of its own, in the order the bar shows them: an action joins the
// menu it belongs to there, a new menu gets a function and a line in the constructor.
class StudioMenus : public QObject {
    Q_OBJECT
public:
    struct Panels {
        DrawingPanel* drawing;
        LessonPanel* lesson;
        MotionPanel* motion;
        FilmStripLabels* filmStrip;
        KeyMomentsPanel* moments;
        AnalysisFiles* analysis;  // the analysis documents
    };

    StudioMenus(StudioContext context, Panels panels, QMainWindow* window);

signals:
    void openClipAsked();
    void closeClipAsked();
    void saveFrameAsked();
    void uploadFrameAsked();
    void fullScreenAsked();

private:
    void buildFile();
    void buildEdit();
    void buildLesson();
    void buildMoments();
    void buildView();

    StudioContext ctx_;
    Panels panels_;
    QMainWindow* window_;
};

}  // namespace studio
