#include "media/ffmpeg/FfmpegRecordingEngine.h"

#include "core/LogCategories.h"
#include "core/TvnError.h"
#include "media/ffmpeg/AviFrameWriter.h"
#include "media/ffmpeg/EncodingProfile.h"
#include "media/ffmpeg/EngineValues.h"
#include "media/ffmpeg/LessonConverter.h"

#include <QFileInfo>
#include <QMetaObject>
#include <QtGlobal>
#include <optional>

namespace tvn {

namespace {

TvnError engineError(int32_t number, const QString& what) {
    return TvnError(number, what, QStringLiteral("FfmpegRecordingEngine"));
}

constexpr int DefaultWidth = 640;
constexpr double kMaxCaptureFps = 1000;
constexpr int DefaultHeight = 480;

}  // namespace

FfmpegRecordingEngine::FfmpegRecordingEngine(QWidget* parent) : BasicVideoEngine(parent) {}

FfmpegRecordingEngine::~FfmpegRecordingEngine() {
    cancel_ = true;
    if (conversion_.joinable()) conversion_.join();
    if (writer_) ignoringErrors([this] { writer_->finish(); });
}

int32_t FfmpegRecordingEngine::VideoCompressorCount() {
    return static_cast<int32_t>(AviFrameWriter::offeredEncoders().size());
}

QString FfmpegRecordingEngine::VideoCompressorName(int32_t index) {
    const auto& encoders = AviFrameWriter::offeredEncoders();
    if (index < 0 || index >= static_cast<int32_t>(encoders.size()))
        throw engineError(err::SubscriptOutOfRange, QStringLiteral("No video encoder %1 (there are %2)").arg(index).arg(encoders.size()));
    return encoders[index].displayName;
}

void FfmpegRecordingEngine::checkFileCapture(double fps) {
    if (writer_)
        throw engineError(err::InvalidCall, QStringLiteral("A file capture to '%1' is already running").arg(writer_->fileName()));
    const QString fileName = CaptureFileName();
    if (fileName.isEmpty()) throw engineError(err::PathFileAccess, QStringLiteral("No capture file name is set"));
    if (!(fps > 0) || fps > kMaxCaptureFps)
        throw engineError(err::InvalidCall, QStringLiteral("Cannot record '%1' at %2 frames per second (above 0, at most %3)")
                                                .arg(fileName)
                                                .arg(fps)
                                                .arg(kMaxCaptureFps));
    const int32_t compressor = VideoCompressor();
    if (compressor >= VideoCompressorCount() || compressor < engine::kDefaultCompressor)
        throw engineError(err::SubscriptOutOfRange, QStringLiteral("No video encoder %1").arg(compressor));
    const QFileInfo file(fileName);
    const QFileInfo folder(file.absolutePath());
    if (!folder.isDir())
        throw engineError(err::PathFileAccess,
                          QStringLiteral("Cannot record '%1': the folder '%2' does not exist").arg(fileName, folder.filePath()));
    if (!folder.isWritable())
        throw engineError(err::PathFileAccess,
                          QStringLiteral("Cannot record '%1': the folder '%2' is not writable").arg(fileName, folder.filePath()));
    if (file.exists() && !file.isFile())
        throw engineError(err::PathFileAccess,
                          QStringLiteral("Cannot record '%1': it is not a regular file (a folder, a pipe or a device)").arg(fileName));
}

void FfmpegRecordingEngine::StartFileCapture(double fps) {
    checkFileCapture(fps);
    AviFrameWriter::Settings s;
    s.fileName = CaptureFileName();
    s.fps = fps;
    if (frameWidth() > 0 && frameHeight() > 0) {
        s.width = frameWidth();
        s.height = frameHeight();
    } else {
        s.width = DefaultWidth;
        s.height = DefaultHeight;
        s.keepAspect = true;
    }
    const int32_t compressor = VideoCompressor();
    s.codecName = compressor == engine::kDefaultCompressor ? QStringLiteral("mjpeg") : AviFrameWriter::offeredEncoders()[compressor].codecName;
    writer_ = std::make_unique<AviFrameWriter>(s);
    capturedFrames_ = 0;
}

void FfmpegRecordingEngine::addFrame(const QImage& frame) {
    if (!writer_) throw engineError(err::InvalidCall, QStringLiteral("AddFrame: no file capture is running"));
    writer_->addFrame(frame);
    capturedFrames_ = writer_->framesAdded();
}

void FfmpegRecordingEngine::StopFileCapture() {
    if (!writer_) return;
    // The writer is gone after this whatever happens: a failed file is not reopened.
    std::unique_ptr<AviFrameWriter> writer = std::move(writer_);
    capturedFrames_ = writer->framesAdded();
    writer->finish();
}

int32_t FfmpegRecordingEngine::ProfileCount() {
    return static_cast<int32_t>(EncodingProfile::builtIns().size());
}

QString FfmpegRecordingEngine::ProfileName(int32_t index) {
    const int32_t count = ProfileCount();
    if (index == count) return {};  // the end of the list answers an empty name
    if (index < 0 || index > count)
        throw engineError(err::SubscriptOutOfRange, QStringLiteral("No encoding profile %1 (there are %2)").arg(index).arg(count));
    return EncodingProfile::builtIns()[index].name;
}

void FfmpegRecordingEngine::SetCustomProfile(const QString& text) {
    if (!text.trimmed().isEmpty()) EncodingProfile::parse(text);  // rejects a malformed text before storing it
    BasicVideoEngine::SetCustomProfile(text);
}

void FfmpegRecordingEngine::ConvertToWmv(const QString& videoFile, const QString& audioFile, const QString& outputFile,
                                         double fromSeconds, double toSeconds) {
    if (converting_)
        throw engineError(err::InvalidCall, QStringLiteral("Cannot convert to '%1': a conversion is already running").arg(outputFile));
    if (conversion_.joinable()) conversion_.join();

    LessonConverter::Job job;
    job.videoFile = videoFile;
    job.audioFile = audioFile;
    job.outputFile = outputFile;
    job.fromSeconds = fromSeconds;
    job.toSeconds = toSeconds;
    const int32_t profile = Profile();
    if (profile >= 0 && profile < ProfileCount()) job.profile = EncodingProfile::builtIns()[profile];
    else if (!customProfile().trimmed().isEmpty()) job.profile = EncodingProfile::parse(customProfile());

    {
        std::scoped_lock lock(errorMutex_);
        conversionError_.clear();
    }
    cancel_ = false;
    converting_ = true;
    conversion_ = std::thread([this, job] {
        std::optional<TvnError> failure;
        try {
            LessonConverter::run(
                job,
                [this](int percent) {
                    QMetaObject::invokeMethod(this, [this, percent] { emit CompressionProgress(percent, 0); },
                                              Qt::QueuedConnection);
                },
                cancel_);
        } catch (const TvnError& e) {
            failure = e.prefixed("ConvertToWmv");
        } catch (const std::exception& e) {
            failure = engineError(err::ConversionFailed, QStringLiteral("Cannot convert '%1': %2")
                                                             .arg(job.videoFile, QString::fromUtf8(e.what())))
                          .prefixed("ConvertToWmv");
        }
        if (failure) {
            qCWarning(lcLesson, "Lesson compression failed: %s", qPrintable(failure->description()));
            std::scoped_lock lock(errorMutex_);
            conversionError_ = failure->description();
        }
        converting_ = false;
        // The reason first, then the one completion, both in this order on the UI thread.
        if (failure)
            QMetaObject::invokeMethod(this, [this, error = *failure] { emit Failed(error); }, Qt::QueuedConnection);
        QMetaObject::invokeMethod(this, [this] { emit CompressionDone(); }, Qt::QueuedConnection);
    });
}

QString FfmpegRecordingEngine::ConversionError() const {
    std::scoped_lock lock(errorMutex_);
    return conversionError_;
}

}  // namespace tvn
