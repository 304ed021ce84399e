#include "media/ffmpeg/LessonConverter.h"

#include "media/ffmpeg/ConversionError.h"
#include "media/ffmpeg/ConversionOutput.h"
#include "media/ffmpeg/ConversionPictures.h"
#include "media/ffmpeg/ConversionSound.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <memory>

namespace tvn {

QString LessonConverter::temporaryName(const QString& outputFile) {
    const QFileInfo info(outputFile);
    return info.dir().filePath(QStringLiteral(".%1.partial").arg(info.fileName()));
}

void LessonConverter::run(const Job& job, const Progress& progress, const std::atomic<bool>& cancel) {
    if (!(job.toSeconds > job.fromSeconds) || job.fromSeconds < 0)
        conversion::fail(QStringLiteral("Cannot convert '%1': the span %2 to %3 s is empty")
                             .arg(job.videoFile).arg(job.fromSeconds).arg(job.toSeconds));
    const bool mp4 = job.outputFile.endsWith(QLatin1String(".mp4"), Qt::CaseInsensitive);
    int lastPercent = 0;
    if (progress) progress(0);
    ConversionPictures pictures(job);
    std::unique_ptr<ConversionSound> sound;
    if (!job.audioFile.isEmpty() && QFileInfo::exists(job.audioFile)) sound = std::make_unique<ConversionSound>(job);
    const auto soundDone = [&] { return !sound || sound->done(); };
    // Progress follows the reading of the video file; 100 only once the file is complete.
    const auto reportProgress = [&] {
        if (!progress) return;
        int percent = pictures.percentRead();
        if (pictures.done() && soundDone()) percent = 99;
        percent = std::clamp(percent, 0, 99);
        if (percent > lastPercent) {
            lastPercent = percent;
            progress(percent);
        }
    };

    // The output removes its temporary file unless it is finished, so a header that
    // cannot be written, a failure on the way or a cancel leaves nothing behind.
    ConversionOutput output(job.outputFile, temporaryName(job.outputFile), mp4);
    pictures.addEncoder(output, mp4 ? "libx264" : "wmv2");
    if (sound) sound->addEncoder(output, mp4 ? "aac" : "wmav2");
    output.open();
    reportProgress();
    while (!pictures.done() || !soundDone()) {
        if (cancel) conversion::fail(QStringLiteral("Conversion of '%1' was cancelled").arg(job.videoFile));
        // The stream that is behind goes next, so the two interleave by time.
        if (!pictures.done() && (soundDone() || pictures.seconds() <= sound->seconds())) pictures.step();
        else sound->step();
        reportProgress();
    }
    output.finish();
    if (progress) progress(100);
}

}  // namespace tvn
