#pragma once

#include "core/Picture.h"

#include <QString>
#include <QVariant>
#include <cstdint>

namespace tvn {

class Trelvan;

// Lesson recording: start, audio input selection, the frame loop, pause, resume, stop, logo.
class LessonRecorder {
public:
    explicit LessonRecorder(Trelvan& control) : c_(control) {}

    bool TVN_StartLesson(const QString& AviFileName, int32_t fps);
    void ApplyAudioSelection();
    void TVN_SelectAudioDevice(int16_t AudioDeviceIndex);
    void TVN_SelectAudioLineInput(int16_t AudioLineInputIndex);
    void LessonTimerTick();
    QVariant TVN_PauseLesson();
    QVariant TVN_ResumeLesson();
    QVariant TVN_StopLesson();
    QVariant TVN_SetLogo(const QString& LogoFileName, int32_t Top, int32_t Left);

private:
    Trelvan& c_;
};

}  // namespace tvn
