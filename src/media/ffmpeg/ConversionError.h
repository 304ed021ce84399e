#pragma once

// How a lesson conversion fails: one error number (ConversionFailed) and a
// description naming the file and FFmpeg's cause, raised from whichever part
// of the conversion met it.

#include "core/TvnError.h"
#include "media/ffmpeg/FfmpegHandles.h"

#include <QString>

namespace tvn::conversion {

[[noreturn]] inline void fail(const QString& what) {
    throw TvnError(err::ConversionFailed, what, QStringLiteral("FfmpegRecordingEngine"));
}

inline void check(int rc, const QString& what) {
    if (rc < 0) fail(QStringLiteral("%1: %2").arg(what, ff::errorText(rc)));
}

}  // namespace tvn::conversion
