#pragma once

#include <QLoggingCategory>

// One logging category per subsystem, so a host chooses what it hears with Qt's
// own rules (QT_LOGGING_RULES or QLoggingCategory::setFilterRules), for example
// "trelvan.*.debug=true" or "trelvan.ffmpeg.warning=true". Every category
// reports information, warnings and errors by default and keeps debug output
// quiet, except trelvan.ffmpeg: FFmpeg's own messages about the clips it reads
// (concealed errors, odd timestamps) say nothing to a coach, and a failure
// reaches the host as a TvnError anyway, so that category stays silent until
// the host enables it.
namespace tvn {

Q_DECLARE_LOGGING_CATEGORY(lcControl)  // trelvan.control: the control and its public methods
Q_DECLARE_LOGGING_CATEGORY(lcMedia)    // trelvan.media: the video engine, decoder and mixer
Q_DECLARE_LOGGING_CATEGORY(lcFfmpeg)   // trelvan.ffmpeg: FFmpeg's own log, through MediaRuntime
Q_DECLARE_LOGGING_CATEGORY(lcAlsa)     // trelvan.alsa: sound capture and output
Q_DECLARE_LOGGING_CATEGORY(lcLesson)   // trelvan.lesson: lesson recording and compression
Q_DECLARE_LOGGING_CATEGORY(lcUpload)   // trelvan.upload: frame uploads

}  // namespace tvn
