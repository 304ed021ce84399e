#pragma once

#include "core/TrelvanExport.h"

#include "core/Collection.h"

#include <QString>
#include <cstdint>

namespace tvn {

// The control's public properties, as a host sees them: plain variables that the
// host reads and writes at any time and the procedures read when they run.
// Trelvan derives from this struct, so hosts keep writing `control->TVN_Text`
// and the meta-object's MEMBER properties keep pointing at these fields; a
// subsystem is handed this struct alone, never the whole control.
struct TVN_EXPORT ControlProperties {
    QString TVN_videoFileName;
    int16_t TVN_VideoWidth = 0;
    int16_t TVN_VideoHeight = 0;
    QString TVN_drawingTool;
    bool TVN_DisplayGrid = false;
    int32_t TVN_GridColor = 0;
    int32_t TVN_drawingColor = 0;
    int16_t TVN_drawingWidth = 0;
    int32_t TVN_NumFrames = 0;
    bool TVN_IsPlaying = false;
    int32_t TVN_VolumeLevel = 0;
    double TVN_FrameLenMS = 0;
    double TVN_CurrentPos = 0;
    double TVN_TotalLenMS = 0;
    bool TVN_DoDeinterlace = false;
    QString TVN_AngleText;
    int32_t TVN_TextColor = 0;
    QString TVN_Text;
    int16_t TVN_FontSize = 0;
    int32_t TVN_CurrentFrame = 0;
    QString TVN_Version;
    bool TVN_RawPlayerMode = false;
    bool TVN_UseVMR9 = false;
    int32_t TVN_OverlayImage = 0;
    double TVN_PlayRate = 0;
    int16_t TVN_GridSpacing = 0;
    bool TVN_LessonInProgress = false;
    int32_t TVN_LessonCompressionProgress = 0;
    int32_t TVN_TrackingActive = 0;
    int32_t TVN_TrackingLength = 0;
    bool TVN_DisplayClock = false;
    int32_t tvn_ClockStartTimeMS = 0;
    QString TVN_LessonProfile;
    bool TVN_DisplayTarget = false;
    QString TVN_FontName;
    int32_t TVN_TransparentColor = 0;
    tvn::Collection TVN_AudioDevices;
    tvn::Collection TVN_AudioLineInputs;
    int16_t TVN_SelectedAudioDevice = 0;
    int16_t TVN_SelectedLineInput = 0;
    int32_t TVN_AlphaLevel = 0;
};

}  // namespace tvn
