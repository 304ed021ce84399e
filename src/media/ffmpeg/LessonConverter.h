#pragma once

#include "media/ffmpeg/EncodingProfile.h"

#include <QString>
#include <atomic>
#include <functional>

namespace tvn {

// Compresses a lesson: its AVI video and its WAVE sound into one file.
//
// The output name chooses the format: a name ending in ".mp4" gives H.264 and
// AAC in MP4 with the index at the front (fast start), which phones and
// browsers play; any other name gives Windows Media: WMV 8 video and WMA 2
// audio in ASF. The picture is scaled down to fit the profile's size keeping
// its aspect; a profile frame rate other than the lesson's drops or repeats
// frames by time. Both streams start at the start of the span, so the sound
// stays where it was recorded relative to the pictures.
//
// The span is in seconds of the lesson: frames and samples before fromSeconds
// and from toSeconds on are left out. A missing WAVE file gives a video-only
// result. The result is written under a temporary name beside the output and
// renamed when complete, so a failed or cancelled conversion never leaves a
// partial file under the output name.
class LessonConverter {
public:
    struct Job {
        QString videoFile;
        QString audioFile;
        QString outputFile;
        double fromSeconds = 0;
        double toSeconds = 1e6;
        EncodingProfile profile = EncodingProfile::broadband();
    };
    // Progress in whole percent, 0 to 100, each value reported at most once and in order.
    using Progress = std::function<void(int percent)>;

    // Runs the conversion on the calling thread. Throws a TvnError
    // (ConversionFailed) naming the file and the cause when it fails or when
    // cancel becomes true.
    static void run(const Job& job, const Progress& progress, const std::atomic<bool>& cancel);

    // The temporary name the output is written under until it is complete.
    static QString temporaryName(const QString& outputFile);
};

}  // namespace tvn
