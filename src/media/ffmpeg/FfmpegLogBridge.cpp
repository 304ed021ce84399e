#include "media/ffmpeg/FfmpegLogBridge.h"

#include "core/LogCategories.h"

#include <QByteArray>

extern "C" {
#include <libavutil/log.h>
}

namespace tvn {

namespace {

// The Qt message type a FFmpeg level is reported as, or nothing for levels
// below FFmpeg's informational ones.
bool qtTypeOf(int level, QtMsgType& type) {
    if (level <= AV_LOG_ERROR) type = QtWarningMsg;
    else if (level <= AV_LOG_WARNING) type = QtInfoMsg;
    else if (level <= AV_LOG_INFO) type = QtDebugMsg;
    else return false;
    return true;
}

void report(QtMsgType type, const QByteArray& line) {
    switch (type) {
    case QtWarningMsg: qCWarning(lcFfmpeg, "%s", line.constData()); break;
    case QtInfoMsg: qCInfo(lcFfmpeg, "%s", line.constData()); break;
    default: qCDebug(lcFfmpeg, "%s", line.constData()); break;
    }
}

void forwardToQt(void* context, int level, const char* format, va_list args) {
    QtMsgType type;
    if (!qtTypeOf(level, type) || !lcFfmpeg().isEnabled(type)) return;
    // FFmpeg builds some lines from several calls; the prefix ("[h264 @ 0x...]")
    // comes only on a line's first piece, which av_log_format_line2 tracks here.
    thread_local int printPrefix = 1;
    thread_local QByteArray pending;
    char piece[1024];
    const int n = av_log_format_line2(context, level, format, args, piece, sizeof piece, &printPrefix);
    if (n < 0) return;
    pending += piece;
    if (!pending.endsWith('\n')) return;
    pending.chop(1);
    report(type, pending);
    pending.clear();
}

}  // namespace

void FfmpegLogBridge::install() { av_log_set_callback(forwardToQt); }

}  // namespace tvn
