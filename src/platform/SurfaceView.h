#pragma once

#include <QWidget>

namespace tvn {

class Surface;

// A window onto a work surface: paints the surface's current bitmap stretched
// over the whole widget. Used for the panels that show a surface directly
// (the film strip, the zoom loupe). Call update() after drawing on the surface.
class SurfaceView : public QWidget {
    Q_OBJECT
public:
    SurfaceView(const Surface& surface, QWidget* parent);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    const Surface& surface_;
};

}  // namespace tvn
