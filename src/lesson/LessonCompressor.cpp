#include "lesson/LessonCompressor.h"

#include "control/Trelvan.h"
#include "core/TvnError.h"

namespace tvn {

int32_t LessonCompressor::TVN_CompressLesson(const QString& /*AviFileName*/, const QString& /*WmvFileName*/) {
    throw TvnError::notImplemented("TVN_CompressLesson");
}

void LessonCompressor::OnCompressionProgress(int32_t /*progress*/) {
    throw TvnError::notImplemented("OnCompressionProgress");
}

void LessonCompressor::OnCompressionDone() {
    throw TvnError::notImplemented("OnCompressionDone");
}

}  // namespace tvn
