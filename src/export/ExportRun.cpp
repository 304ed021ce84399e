#include "export/ExportRun.h"

#include "core/TvnError.h"
#include "export/ExportDrawing.h"
#include "export/SlowMotionFrames.h"
#include "media/FrameSource.h"
#include "media/SoundSource.h"

#include <QPainter>
#include <cmath>

namespace tvn {

namespace {
// Where the control's display seeks for a frame: its start and this much (TVN_SetFrame's nudge).
constexpr double kSeekNudgeMs = 1.0;
// Sound goes to the writer in pieces of about this many frames, so it stays
// interleaved with the pictures and the muxer holds little.
constexpr int kSoundFramesPerPiece = 8;
}  // namespace

QImage ExportRun::sideBySide(const QImage& first, const QImage& second) {
    const int h = first.height();
    const int w2 = second.isNull() || second.height() <= 0 ? first.width()
                                                           : int(std::lround(double(second.width()) * h / second.height()));
    QImage out(first.width() + w2, h, QImage::Format_RGB32);
    out.fill(Qt::black);
    QPainter p(&out);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.drawImage(0, 0, first);
    if (!second.isNull()) p.drawImage(QRect(first.width(), 0, w2, h), second);
    return out;
}

QImage ExportRun::mixed(const QImage& first, const QImage& second, int opacityPercent) {
    QImage out = first.convertToFormat(QImage::Format_RGB32);
    if (second.isNull()) return out;
    QPainter p(&out);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.setOpacity(std::clamp(opacityPercent, 0, 100) / 100.0);
    p.drawImage(out.rect(), second);
    return out;
}

bool ExportRun::run(const Job& job, const Progress& progress, const std::atomic<bool>& cancel) {
    return withPrefix("ExportRun", [&] {
        const ExportPlan& plan = job.plan;
        FrameSource::Options options;
        options.keepFramesAround = false;  // forward only
        options.deinterlace = job.deinterlace;
        const Comparison& cmp = job.comparison;
        // A clip alone is drawn on as the decoder gives it (planes), never turned into RGB and back.
        FrameSource::Options firstOptions = options;
        firstOptions.planar = cmp.layout == Comparison::Layout::None;
        std::unique_ptr<FrameSource> source = FrameSource::open(job.clip, firstOptions);
        const ClipInfo info = source->info();
        VideoFrame decoded = source->seek(plan.steps().front().frame * plan.frameMs() + kSeekNudgeMs);
        int32_t decodedFrame = plan.steps().front().frame;
        VideoFileWriter::Settings settings = job.settings;
        if (settings.width <= 0 || settings.height <= 0) {
            settings.width = info.width;
            settings.height = info.height;
            if (job.comparison.layout == Comparison::Layout::SideBySide) {
                // The second clip's frames at the first's height beside it.
                const ClipInfo other = FrameSource::open(job.comparison.clip, options)->info();
                settings.width += other.height > 0 ? int(std::lround(double(other.width) * info.height / other.height))
                                                   : info.width;
            }
        }
        settings.frameRate = 1000.0 / plan.frameMs();
        if (!decoded.planar.isNull()) settings.matrix = decoded.planar.matrix();
        std::unique_ptr<SoundSource> sound;
        if (settings.sound) {
            sound = SoundSource::open(job.clip, info.firstFrameSeconds);
            if (!sound->hasSound()) settings.sound = false;  // no sound stream rather than a silent one
        }
        std::unique_ptr<VideoFileWriter> writer = VideoFileWriter::create(job.file, settings);

        const double frameMs = plan.frameMs();
        const auto samplesAt = [](double ms) { return std::llround(ms * VideoFileWriter::SoundRate / 1000.0); };
        int64_t framesOut = 0, samplesOut = 0;
        // Sound of the run of frames not yet written: [soundFrom, soundTo) at soundFactor.
        double soundFrom = -1, soundTo = -1, soundFactor = 1;
        int soundPieceFrames = 0;
        const auto flushSound = [&] {
            if (!sound || soundFrom < 0 || !(soundTo > soundFrom)) return;
            const std::vector<int16_t> s = sound->read(soundFrom, soundTo, 1.0 / soundFactor);
            writer->writeSound(s.data(), int(s.size() / VideoFileWriter::SoundChannels));
            samplesOut += int64_t(s.size() / VideoFileWriter::SoundChannels);
            soundFrom = soundTo;
            soundPieceFrames = 0;
        };
        // Silence (or a cut) up to the pictures' end, which also takes up any
        // rounding the sound pieces left.
        const auto soundUpToPictures = [&] {
            if (!sound) return;
            const int64_t target = samplesAt(framesOut * frameMs);
            if (target > samplesOut) {
                const std::vector<int16_t> silence(size_t(target - samplesOut) * VideoFileWriter::SoundChannels, 0);
                writer->writeSound(silence.data(), int(target - samplesOut));
                samplesOut = target;
            }
        };

        // The second clip, in step by time from its first frame.
        std::unique_ptr<FrameSource> second;
        VideoFrame secondFrame;
        double secondStartMs = 0;
        if (cmp.layout != Comparison::Layout::None) {
            second = FrameSource::open(cmp.clip, options);
            const double secondFrameMs = second->info().frameCount > 0
                                             ? second->info().durationMs / second->info().frameCount
                                             : second->info().nominalFrameMs;
            secondStartMs = std::max(0, cmp.firstFrame) * secondFrameMs;
            secondFrame = second->seek(secondStartMs + kSeekNudgeMs);
        }
        const auto secondAt = [&](int32_t frame) {
            const double t = secondStartMs + (frame - plan.steps().front().frame) * frameMs + kSeekNudgeMs;
            while (secondFrame.positionMs + secondFrame.durationMs <= t) {
                const VideoFrame next = second->stepForward();
                if (next.positionMs <= secondFrame.positionMs) break;  // its last frame: it stays there
                secondFrame = next;
            }
            return secondFrame.image;
        };
        // The slow range being interpolated: its first frame, factor, and the frame it expects next.
        std::unique_ptr<SlowMotionFrames> slow;
        int32_t slowFirst = 0, slowNext = -1;
        double slowFactor = 0;
        int64_t lastReported = -1;
        for (const ExportPlan::Step& step : plan.steps()) {
            if (cancel) return false;
            while (decodedFrame < step.frame) {
                decoded = source->stepForward();
                ++decodedFrame;
            }
            if (step.pause) {
                flushSound();
                soundFrom = -1;
            } else if (sound) {
                const double from = step.frame * frameMs, to = from + frameMs;
                if (soundFrom < 0 || std::abs(from - soundTo) > 0.01 || step.factor != soundFactor) {
                    flushSound();
                    soundFrom = from;
                    soundFactor = step.factor;
                }
                soundTo = to;
                if (++soundPieceFrames >= kSoundFramesPerPiece) flushSound();
            }
            // Each picture is written as many times as the step says (a slow range, a pause).
            const auto writeCopies = [&](const auto& picture) {
                for (int64_t i = 0; i < step.copies; ++i) {
                    if (cancel) return false;
                    writer->writeFrame(picture);
                    ++framesOut;
                }
                return true;
            };
            const bool interpolated = job.interpolateSlowMotion && step.factor > 1 && !step.pause &&
                                      cmp.layout == Comparison::Layout::None && !decoded.planar.isNull();
            if (step.copies > 0 && interpolated) {
                if (!slow || step.frame != slowNext || step.factor != slowFactor) {
                    slow = std::make_unique<SlowMotionFrames>(job.clip, options, step.frame, frameMs, step.factor);
                    slowFirst = step.frame;
                    slowFactor = step.factor;
                }
                slowNext = step.frame + 1;
                // The step's copies spread over its frame interval, each drawn as the step's frame.
                for (int64_t i = 0; i < step.copies; ++i) {
                    if (cancel) return false;
                    PlanarPicture picture = slow->at(step.frame - slowFirst + double(i) / double(step.copies));
                    if (picture.isNull()) picture = decoded.planar;
                    job.drawing->picture(picture, step.frame);
                    writer->writeFrame(picture);
                    ++framesOut;
                }
            } else if (step.copies > 0 && !decoded.planar.isNull()) {
                PlanarPicture picture = decoded.planar;
                job.drawing->picture(picture, step.frame);
                if (step.pause) ExportDrawing::drawLabel(picture, step.label);
                if (!writeCopies(picture)) return false;
            } else if (step.copies > 0) {
                QImage picture;
                if (cmp.layout == Comparison::Layout::Mixed)
                    picture = job.drawing->picture(mixed(decoded.image, secondAt(step.frame), cmp.opacityPercent), step.frame);
                else picture = job.drawing->picture(decoded.image, step.frame);
                if (cmp.layout == Comparison::Layout::SideBySide) picture = sideBySide(picture, secondAt(step.frame));
                if (step.pause) ExportDrawing::drawLabel(picture, step.label);
                if (!writeCopies(picture)) return false;
            }
            if (step.pause) soundUpToPictures();
            if (progress && framesOut != lastReported) {
                progress(framesOut, plan.outputFrames());
                lastReported = framesOut;
            }
        }
        flushSound();
        soundUpToPictures();
        writer->finish();
        return true;
    });
}

}  // namespace tvn
