#include "StudioMenus.h"

#include "AnalysisFiles.h"
#include "DrawingPanel.h"
#include "ExportDialog.h"
#include "FilmStripLabels.h"
#include "KeyMomentsPanel.h"
#include "LessonPanel.h"
#include "MotionPanel.h"
#include "control/Trelvan.h"

#include <QAction>
#include <QMainWindow>
#include <QMenuBar>

namespace studio {

StudioMenus::StudioMenus(StudioContext context, Panels panels, QMainWindow* window)
    : QObject(window), ctx_(std::move(context)), panels_(panels), window_(window) {
    buildFile();
    buildEdit();
    buildLesson();
    buildMoments();
    buildView();
}

void StudioMenus::buildFile() {
    QMenu* file = window_->menuBar()->addMenu(tr("&File"));
    file->addAction(tr("&Open clip..."), QKeySequence::Open, this, &StudioMenus::openClipAsked);
    file->addAction(tr("&Close clip"), this, &StudioMenus::closeClipAsked);
    file->addSeparator();
    AnalysisFiles* analysis = panels_.analysis;
    file->addAction(tr("Open &analysis..."), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O), analysis, &AnalysisFiles::openAsked);
    analysis->attachRecentMenu(file->addMenu(tr("Recent anal&yses")));
    file->addAction(tr("Sa&ve analysis"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S), analysis, &AnalysisFiles::saveAsked);
    file->addAction(tr("Save analysis &as..."), analysis, &AnalysisFiles::saveAsAsked);
    file->addSeparator();
    file->addAction(tr("Save frame as &JPEG..."), QKeySequence::Save, this, &StudioMenus::saveFrameAsked);
    file->addAction(tr("&Upload frame..."), this, &StudioMenus::uploadFrameAsked);
    file->addAction(tr("&Export video..."), this, [this] { (new ExportDialog(ctx_, window_))->show(); });
    file->addSeparator();
    file->addAction(tr("&Quit"), QKeySequence::Quit, window_, &QWidget::close);
}

void StudioMenus::buildEdit() {
    // Undo and Redo are the control's own: they take back drawings one at a time.
    // Erasing everything cannot be undone, so it asks first.
    QMenu* edit = window_->menuBar()->addMenu(tr("&Edit"));
    edit->addAction(tr("&Undo drawing"), QKeySequence::Undo, panels_.drawing, &DrawingPanel::undo);
    QAction* redo = edit->addAction(tr("&Redo drawing"), panels_.drawing, &DrawingPanel::redo);
    redo->setShortcuts({QKeySequence::Redo, QKeySequence(Qt::CTRL | Qt::Key_Y)});
    edit->addSeparator();
    edit->addAction(tr("Erase &free hand"), panels_.drawing, &DrawingPanel::eraseFreeHand);
    edit->addAction(tr("&Erase all drawings..."), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Delete), panels_.drawing,
                    &DrawingPanel::eraseAll);
}

void StudioMenus::buildLesson() {
    LessonPanel* lesson = panels_.lesson;
    QMenu* menu = window_->menuBar()->addMenu(tr("&Lesson"));
    menu->addAction(tr("&Start recording..."), QKeySequence(Qt::CTRL | Qt::Key_R), lesson, &LessonPanel::start);
    menu->addAction(tr("&Pause or resume"), QKeySequence(Qt::Key_F9), lesson, [lesson] {
        if (lesson->paused()) lesson->resume();
        else lesson->pause();
    });
    menu->addAction(tr("S&top"), QKeySequence(Qt::SHIFT | Qt::Key_F9), lesson, &LessonPanel::stop);
    menu->addSeparator();
    menu->addAction(tr("&Mark a point to track"), QKeySequence(Qt::CTRL | Qt::Key_M), panels_.motion, &MotionPanel::armMarking);
}

void StudioMenus::buildMoments() {
    // Ctrl with the arrows: the arrows alone step frames; a text field keeps Ctrl+arrow for its words.
    KeyMomentsPanel* moments = panels_.moments;
    QMenu* menu = window_->menuBar()->addMenu(tr("&Moments"));
    menu->addAction(tr("&Mark key moment..."), QKeySequence(Qt::CTRL | Qt::Key_K), moments, &KeyMomentsPanel::markAsked);
    menu->addAction(tr("&Next key moment"), QKeySequence(Qt::CTRL | Qt::Key_Right), moments, &KeyMomentsPanel::next);
    menu->addAction(tr("&Previous key moment"), QKeySequence(Qt::CTRL | Qt::Key_Left), moments, &KeyMomentsPanel::previous);
    menu->addSeparator();
    menu->addAction(tr("&Rename selected..."), moments, &KeyMomentsPanel::renameAsked);
    menu->addAction(tr("Re&move selected"), moments, &KeyMomentsPanel::removeSelected);
    menu->addAction(tr("&Export as CSV..."), moments, &KeyMomentsPanel::exportAsked);
}

void StudioMenus::buildView() {
    QMenu* view = window_->menuBar()->addMenu(tr("&View"));
    // F11 is handled with the transport keys, so it works in full screen too.
    view->addAction(tr("&Full screen\tF11"), this, &StudioMenus::fullScreenAsked);
    QAction* strip = view->addAction(tr("Film &strip"));
    strip->setCheckable(true);
    connect(strip, &QAction::toggled, this, [this](bool on) {
        ctx_.run(tr("Film strip"), [&] { ctx_.control->TVN_ShowFilmStrip(on); });
        panels_.filmStrip->setVisible(on);
    });
    connect(panels_.filmStrip, &FilmStripLabels::frameChosen, strip, [strip] { strip->setChecked(false); });
    QAction* mirror = view->addAction(tr("&Mirror video"));
    mirror->setCheckable(true);
    connect(mirror, &QAction::toggled, this,
            [this](bool on) { ctx_.run(tr("Mirror"), [&] { ctx_.control->TVN_FlipVideo(on ? 1 : 0); }); });
    view->addSeparator();
    view->addAction(tr("&Reset drawing settings"), panels_.drawing, &DrawingPanel::resetSettings);
}

}  // namespace studio
