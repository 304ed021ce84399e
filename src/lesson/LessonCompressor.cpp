#include "lesson/LessonCompressor.h"

#include "control/ControlEvents.h"
#include "core/Numeric.h"
#include "core/TvnError.h"
#include "media/VideoEngine.h"
#include "platform/Platform.h"

namespace tvn {

namespace {
// The span handed to the conversion, in seconds: from the start to far beyond any
// real lesson, so nothing is cut.
constexpr double ConvertFromSeconds = 0.0;
constexpr double ConvertToSeconds = 1000000.0;
constexpr int32_t CompressionSetting3 = 95;
}  // namespace

int32_t LessonCompressor::TVN_CompressLesson(const QString& AviFileName, const QString& WmvFileName) {
    VideoEngine& rec = drives_.recordingEngine;
    rec.SetVideoCompressor(-1);
    rec.SetAudioCompressor(-1);
    rec.SetSetting3(CompressionSetting3);

    if (props_.TVN_LessonProfile.isEmpty()) {
        // Indices 0 through N inclusive: the engine answers index N with an empty
        // name. Every match is set in turn, the last one stays; with no match the
        // engine keeps the profile it had.
        const int16_t n = toInt16(rec.ProfileCount());
        const QString builtIn = QString::fromLatin1(BuiltInProfileName);
        for (int32_t i = 0; i <= n; ++i) {
            if (rec.ProfileName(i) == builtIn) rec.SetProfile(i);
        }
    } else {
        // A custom profile: the whole file, passed to the engine unchanged.
        const QString text = drives_.platform.readTextFile(props_.TVN_LessonProfile, MaxProfileBytes);
        rec.SetProfile(-1);
        rec.SetCustomProfile(text);
    }

    // A caption of one blank: no visible text burnt into the compressed lesson.
    rec.SetTextOverlay(0, QStringLiteral(" "), 0, 0, QStringLiteral("Arial"), 12, 255, -1);
    props_.TVN_LessonCompressionProgress = 0;
    rec.ConvertToWmv(AviFileName, AviFileName + QStringLiteral(".wav"), WmvFileName, ConvertFromSeconds,
                     ConvertToSeconds);
    return 0;
}

void LessonCompressor::OnCompressionProgress(int32_t progress) {
    withPrefix("CompressionProgress", [&] {
        props_.TVN_LessonCompressionProgress = progress;
        events_.raiseLessonCompressionProgress();
    });
}

void LessonCompressor::OnCompressionDone() {
    withPrefix("CompressionDone", [&] { events_.raiseLessonCompressionComplete(); });
}

}  // namespace tvn
