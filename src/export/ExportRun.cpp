#include "export/ExportRun.h"

#include "core/TvnError.h"
#include "export/ExportDrawing.h"
#include "media/FrameSource.h"
#include "media/SoundSource.h"

#include <cmath>

namespace tvn {

namespace {
// Where the control's display seeks for a frame: its start and this much (TVN_SetFrame's nudge).
constexpr double kSeekNudgeMs = 1.0;
// Sound goes to the writer in pieces of about this many frames, so it stays
// interleaved with the pictures and the muxer holds little.
constexpr int kSoundFramesPerPiece = 8;
}  // namespace

bool ExportRun::run(const Job& job, const Progress& progress, const std::atomic<bool>& cancel) {
    return withPrefix("ExportRun", [&] {
        const ExportPlan& plan = job.plan;
        FrameSource::Options options;
        options.keepFramesAround = false;  // forward only
        std::unique_ptr<FrameSource> source = FrameSource::open(job.clip, options);
        const ClipInfo info = source->info();
        VideoFileWriter::Settings settings = job.settings;
        if (settings.width <= 0 || settings.height <= 0) {
            settings.width = info.width;
            settings.height = info.height;
        }
        settings.frameRate = 1000.0 / plan.frameMs();
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

        VideoFrame decoded = source->seek(plan.steps().front().frame * frameMs + kSeekNudgeMs);
        int32_t decodedFrame = plan.steps().front().frame;
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
            if (step.copies > 0) {
                QImage picture = job.drawing->picture(decoded.image, step.frame);
                if (step.pause) ExportDrawing::drawLabel(picture, step.label);
                for (int64_t i = 0; i < step.copies; ++i) {
                    if (cancel) return false;
                    writer->writeFrame(picture);
                    ++framesOut;
                }
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
