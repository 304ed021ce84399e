#pragma once

#include <QLabel>
#include <QPointer>

namespace studio {

// The engine's full-screen window is a top-level of its own: the time read-out
// rides on it, at its bottom left, while it is up.
class FullScreenReadout : public QObject {
    Q_OBJECT
public:
    // studio: the studio's own window, which is never the full-screen one.
    explicit FullScreenReadout(QWidget* studio);

    // Shows the read-out on the full-screen window when fullScreen and one is up; removes it otherwise.
    void follow(bool fullScreen, const QString& readout);

private:
    QWidget* studio_;
    QPointer<QLabel> label_;  // on the engine's full-screen window while it is up
};

}  // namespace studio
