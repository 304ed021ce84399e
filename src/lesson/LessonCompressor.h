#pragma once

#include "core/Picture.h"

#include <QString>
#include <QVariant>
#include <cstdint>

namespace tvn {

class ControlEvents;
struct ControlParts;
struct ControlProperties;

// Compression of a finished lesson (the AVI and its ".wav" sound file) into one
// file through the recording engine, with progress and completion events.
//
// TVN_CompressLesson has no handler: an engine error or an unreadable profile
// file reaches the host unchanged. The profile file (TVN_LessonProfile) must be
// a regular file of at most MaxProfileBytes; a pipe, a device or a folder is
// refused unread (PathFileAccess). Errors of the conversion itself are the
// engine's; it reports them through its own state and still sends its
// completion, which the control passes on as LessonCompressionComplete.
class LessonCompressor {
public:
    LessonCompressor(ControlProperties& props, ControlParts& parts, ControlEvents& events)
        : props_(props), parts_(parts), events_(events) {}

    // The engine profile used when TVN_LessonProfile is "" (compared exactly).
    static constexpr const char* BuiltInProfileName = "Video for broadband NTSC (1500 Kbps total)";
    // A profile is a few lines of "key = value".
    static constexpr qint64 MaxProfileBytes = 64 * 1024;

    int32_t TVN_CompressLesson(const QString& AviFileName, const QString& WmvFileName);
    void OnCompressionProgress(int32_t progress);
    void OnCompressionDone();

private:
    ControlProperties& props_;
    ControlParts& parts_;
    ControlEvents& events_;
};

}  // namespace tvn
