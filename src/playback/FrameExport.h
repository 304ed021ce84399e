#pragma once

#include "control/ControlState.h"
#include "core/Picture.h"

#include <QString>
#include <QVariant>
#include <cstdint>

namespace tvn {

class Surface;
class VideoEngine;
class VideoMixer;

class AnnotationEditor;
class FailureReport;

// Hands the current frame to the host (JPEG, bitmap handle, picture, upload) and mirrors the video.
//
// TVN_SaveFrameJpg and TVN_UploadFrame can only answer False; why is kept for
// the host as the control's lastNotificationError() and signalled by failed():
// the engine reports its own reasons, and an empty file name (the engine is not
// asked) is reported here.
class FrameExport {
public:
    // What it takes frames from and hands pictures to.
    struct Drives {
        VideoEngine& display;  // the display engine: the clip the user sees
        VideoMixer& mixer;  // shown instead of the display while a second clip is overlaid
        Surface& secondPicture;  // the second picture TVN_SetSecondIPic hands in
    };

    FrameExport(Drives drives, ClipPicture& clipPicture, FailureReport& failures, AnnotationEditor& editor)
        : drives_(drives), clipPicture_(clipPicture), failures_(failures), editor_(editor) {}

    bool TVN_SaveFrameJpg(QString& FileName, int32_t& quality);
    int32_t TVN_GetFrameAsBitmap();
    Picture TVN_GetFrameAsIPic();
    QVariant TVN_SetSecondIPic(Picture& zz);
    int32_t TVN_UploadFrame(const QString& server, const QString& username, const QString& password, const QString& path, const QString& FileName, int32_t Port, int32_t quality);
    void TVN_FlipVideo(int16_t flipIt);
    QVariant TVN_DisplayLaunchMonitor(bool onOrOff);

private:
    Drives drives_;
    ClipPicture& clipPicture_;
    FailureReport& failures_;
    AnnotationEditor& editor_;
};

}  // namespace tvn
