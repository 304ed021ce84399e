#pragma once

#include "core/Picture.h"

#include <QString>
#include <QVariant>
#include <cstdint>

namespace tvn {

class AnnotationEditor;
class ControlEvents;
struct ControlParts;
struct ControlState;

// Hands the current frame to the host (JPEG, bitmap handle, picture, upload) and mirrors the video.
//
// TVN_SaveFrameJpg and TVN_UploadFrame can only answer False; why is kept for
// the host as the control's lastNotificationError() and signalled by failed():
// the engine reports its own reasons, and an empty file name (the engine is not
// asked) is reported here.
class FrameExport {
public:
    FrameExport(ControlParts& parts, ControlState& state, ControlEvents& events, AnnotationEditor& editor)
        : parts_(parts), state_(state), events_(events), editor_(editor) {}

    bool TVN_SaveFrameJpg(QString& FileName, int32_t& quality);
    int32_t TVN_GetFrameAsBitmap();
    Picture TVN_GetFrameAsIPic();
    QVariant TVN_SetSecondIPic(Picture& zz);
    int32_t TVN_UploadFrame(const QString& server, const QString& username, const QString& password, const QString& path, const QString& FileName, int32_t Port, int32_t quality);
    void TVN_FlipVideo(int16_t flipIt);
    QVariant TVN_DisplayLaunchMonitor(bool onOrOff);

private:
    ControlParts& parts_;
    ControlState& state_;
    ControlEvents& events_;
    AnnotationEditor& editor_;
};

}  // namespace tvn
