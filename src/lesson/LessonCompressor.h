#pragma once

#include "core/Picture.h"

#include <QString>
#include <QVariant>
#include <cstdint>

namespace tvn {

class Platform;
class VideoEngine;

class ControlEvents;

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
    // The host's properties it reads (const) and writes.
    struct Properties {
        int32_t& TVN_LessonCompressionProgress;
        const QString& TVN_LessonProfile;
    };

    // What it converts lessons with.
    struct Drives {
        Platform& platform;  // the desktop: ticks, pending events, files
        VideoEngine& recordingEngine;  // the recording engine: lesson AVI and compression, never shown
    };

    LessonCompressor(Properties props, Drives drives, ControlEvents& events)
        : props_(props), drives_(drives), events_(events) {}

    // The engine profile used when TVN_LessonProfile is "" (compared exactly).
    static constexpr const char* BuiltInProfileName = "Video for broadband NTSC (1500 Kbps total)";
    // A profile is a few lines of "key = value".
    static constexpr qint64 MaxProfileBytes = 64 * 1024;

    int32_t TVN_CompressLesson(const QString& AviFileName, const QString& WmvFileName);
    void OnCompressionProgress(int32_t progress);
    void OnCompressionDone();

private:
    Properties props_;
    Drives drives_;
    ControlEvents& events_;
};

}  // namespace tvn
