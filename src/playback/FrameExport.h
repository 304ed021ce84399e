#pragma once

#include "core/Picture.h"

#include <QString>
#include <QVariant>
#include <cstdint>

namespace tvn {

class AnnotationEditor;
struct ControlParts;
struct ControlState;

// Hands the current frame to the host (JPEG, bitmap handle, picture, upload) and mirrors the video.
class FrameExport {
public:
    FrameExport(ControlParts& parts, ControlState& state, AnnotationEditor& editor)
        : parts_(parts), state_(state), editor_(editor) {}

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
    AnnotationEditor& editor_;
};

}  // namespace tvn
