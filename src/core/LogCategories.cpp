#include "core/LogCategories.h"

namespace tvn {

Q_LOGGING_CATEGORY(lcControl, "trelvan.control", QtInfoMsg)
Q_LOGGING_CATEGORY(lcMedia, "trelvan.media", QtInfoMsg)
Q_LOGGING_CATEGORY(lcFfmpeg, "trelvan.ffmpeg", QtFatalMsg)
Q_LOGGING_CATEGORY(lcAlsa, "trelvan.alsa", QtInfoMsg)
Q_LOGGING_CATEGORY(lcLesson, "trelvan.lesson", QtInfoMsg)
Q_LOGGING_CATEGORY(lcUpload, "trelvan.upload", QtInfoMsg)

}  // namespace tvn
