#pragma once

#include <QList>
#include <QObject>

class QDockWidget;
class QMainWindow;

namespace studio {

// The panels beside the picture: each in a dock of its own, tabbed on the right,
// scrolling inside it so every control stays reachable in a small window. The
// docks keep the width the coach gave them (by their splitter), as far as the
// picture keeps most of the window: they give up room first when the window
// shrinks and get it back when it grows.
class PanelDocks : public QObject {
    Q_OBJECT
public:
    // Panels narrower than this squeeze their tabs to "D..".
    static constexpr int kMinWidth = 300;

    explicit PanelDocks(QMainWindow* window);

    // Where a dock goes: tabbed behind the ones added before it, or under them,
    // always in view (the tabs of more than four panels would not read whole).
    enum class Place { Tabbed, Below };
    // A dock for panel; name is its object name, which the window's saved state refers to.
    QDockWidget* add(const QString& title, const QString& name, QWidget* panel, Place place = Place::Tabbed);
    // The width the coach gave the panels, the window's resizes aside.
    int width() const { return width_; }
    void setWidth(int width) { width_ = width; }
    // Gives the shown docks the width kept, as far as the picture keeps its share.
    void fit();
    // The window was resized: the docks follow once the resize has settled.
    void windowResized();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QMainWindow* window_;
    QList<QDockWidget*> docks_;
    QDockWidget* lastTabbed_ = nullptr;
    int width_ = kMinWidth + 40;
    bool fitting_ = false;  // the studio itself resizes the docks
};

}  // namespace studio
