#pragma once

#include "StudioContext.h"

#include <QObject>

class QMainWindow;

namespace studio {

class FailureReporter;
class OverlayPanel;

// The frame on screen leaves the studio: saved as a JPEG (the mixed picture while
// a second clip is laid over it) or uploaded to a server, with the outcome in the
// status bar and a failure told the studio's way.
class FrameSharing : public QObject {
    Q_OBJECT
public:
    FrameSharing(StudioContext context, FailureReporter& failures, OverlayPanel* overlay, QMainWindow* window);

    void saveFrame();
    void uploadFrame();

private:
    StudioContext ctx_;
    FailureReporter& failures_;
    OverlayPanel* overlay_;
    QMainWindow* window_;
};

}  // namespace studio
