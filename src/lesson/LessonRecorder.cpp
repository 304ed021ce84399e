#include "lesson/LessonRecorder.h"

#include "control/Trelvan.h"
#include "core/TvnError.h"

namespace tvn {

bool LessonRecorder::TVN_StartLesson(const QString& /*AviFileName*/, int32_t /*fps*/) {
    throw TvnError::notImplemented("TVN_StartLesson");
}

void LessonRecorder::ApplyAudioSelection() {
    throw TvnError::notImplemented("ApplyAudioSelection");
}

void LessonRecorder::TVN_SelectAudioDevice(int16_t /*AudioDeviceIndex*/) {
    throw TvnError::notImplemented("TVN_SelectAudioDevice");
}

void LessonRecorder::TVN_SelectAudioLineInput(int16_t /*AudioLineInputIndex*/) {
    throw TvnError::notImplemented("TVN_SelectAudioLineInput");
}

void LessonRecorder::LessonTimerTick() {
    throw TvnError::notImplemented("LessonTimerTick");
}

QVariant LessonRecorder::TVN_PauseLesson() {
    throw TvnError::notImplemented("TVN_PauseLesson");
}

QVariant LessonRecorder::TVN_ResumeLesson() {
    throw TvnError::notImplemented("TVN_ResumeLesson");
}

QVariant LessonRecorder::TVN_StopLesson() {
    throw TvnError::notImplemented("TVN_StopLesson");
}

QVariant LessonRecorder::TVN_SetLogo(const QString& /*LogoFileName*/, int32_t /*Top*/, int32_t /*Left*/) {
    throw TvnError::notImplemented("TVN_SetLogo");
}

}  // namespace tvn
