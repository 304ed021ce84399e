// UI-thread cost of one lesson tick on a 1920 x 1080 clip at 30 fps: compose
// the shown picture into the frame surface and hand it to the recording engine.
//
// BM_LessonTick1080p runs the tick against the real recording engine, paced in
// real time (one tick per 33.3 ms frame period, one frame appended per tick, the
// waiting left out of the timing), so the engine's encoder worker runs beside
// it as in a real lesson. It reports:
//   of_period   the mean tick time as a fraction of the frame period (goal <= 0.30)
//   x_copy      the mean tick time over one deep copy of a 1080p frame (the
//               baseline, BM_CopyFrame1080p, measured in the same run)
//   missing     frames due but not in the AVI after the lesson stopped (goal 0)
// BM_LessonTick1080pNoEncoder is the control's own share: the same tick against
// an engine that accepts frames and does nothing with them.

#include "../tests/fakes/ControlProbe.h"
#include "control/Trelvan.h"
#include "media/BasicVideoEngine.h"
#include "media/BasicVideoMixer.h"
#include "media/Components.h"
#include "media/NoDeviceAudioRecorder.h"
#include "media/ffmpeg/FfmpegRecordingEngine.h"
#include "platform/DesktopPlatform.h"

extern "C" {
#include <libavformat/avformat.h>
}

#include <QApplication>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>
#include <thread>

using namespace tvn;

namespace {

constexpr int kWidth = 1920, kHeight = 1080, kFps = 30;
double gCopySeconds = 0;  // the baseline's time per copy, once it ran

// A display that shows one fixed 1080p picture.
class PictureDisplay : public BasicVideoEngine {
public:
    using BasicVideoEngine::BasicVideoEngine;
    Picture picture;
    int32_t VideoWidth() override { return kWidth; }
    int32_t VideoHeight() override { return kHeight; }
    Picture CurrentFramePicture() override { return picture; }
};

// A recording engine that accepts frames and drops them: the tick's own cost.
class NullRecorder : public BasicVideoEngine {
public:
    using BasicVideoEngine::BasicVideoEngine;
    void StartFileCapture(double) override {}
    void addFrame(const QImage&) override {}
    void StopFileCapture() override {}
};

// Desktop services with a clock the benchmark moves, so each tick is due exactly one frame.
class SteppedClockPlatform : public DesktopPlatform {
public:
    uint32_t now = 0;
    uint32_t tickMs() override { return now; }
};

QImage gradient() {
    QImage image(kWidth, kHeight, QImage::Format_RGB32);
    for (int y = 0; y < kHeight; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < kWidth; ++x) line[x] = qRgb(x * 255 / kWidth, y * 255 / kHeight, (x ^ y) & 0xFF);
    }
    return image;
}

struct Lesson {
    explicit Lesson(bool realEncoder) {
        Components c;
        c.createEngine = [this, realEncoder](EngineRole role, QWidget* parent) -> VideoEngine* {
            if (role == EngineRole::Display) return display = new PictureDisplay(parent);
            if (realEncoder) return recorder = new FfmpegRecordingEngine(parent);
            return new NullRecorder(parent);
        };
        c.createMixer = [](QWidget* parent) -> VideoMixer* { return new BasicVideoMixer(parent); };
        c.createAudioRecorder = [] { return std::make_unique<NoDeviceAudioRecorder>(); };
        platform = std::make_shared<SteppedClockPlatform>();
        c.platform = platform;
        control = std::make_unique<Trelvan>(std::move(c));
        control->TVN_videoFileName = QStringLiteral("bench.mp4");
        display->picture = Picture(gradient());
        avi = dir.filePath(QStringLiteral("bench.avi"));
        control->TVN_StartLesson(avi, kFps);
    }

    QTemporaryDir dir;
    QString avi;
    std::shared_ptr<SteppedClockPlatform> platform;
    PictureDisplay* display = nullptr;
    FfmpegRecordingEngine* recorder = nullptr;
    std::unique_ptr<Trelvan> control;
};

int64_t videoPackets(const QString& path) {
    AVFormatContext* fmt = nullptr;
    if (avformat_open_input(&fmt, path.toUtf8().constData(), nullptr, nullptr) < 0) return -1;
    int64_t packets = 0;
    AVPacket* pkt = av_packet_alloc();
    while (av_read_frame(fmt, pkt) >= 0) {
        if (fmt->streams[pkt->stream_index]->codecpar->codec_type == AVMEDIA_TYPE_VIDEO) ++packets;
        av_packet_unref(pkt);
    }
    av_packet_free(&pkt);
    avformat_close_input(&fmt);
    return packets;
}

void BM_CopyFrame1080p(benchmark::State& state) {
    const QImage frame = gradient();
    auto start = std::chrono::steady_clock::now();
    int64_t n = 0;
    for (auto _ : state) {
        QImage copy = frame.copy();
        benchmark::DoNotOptimize(copy.bits());
        ++n;
    }
    gCopySeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() / n;
}
BENCHMARK(BM_CopyFrame1080p)->Unit(benchmark::kMillisecond);

void runTicks(benchmark::State& state, bool realEncoder) {
    Lesson lesson(realEncoder);
    ControlProbe probe(*lesson.control);
    const auto period = std::chrono::microseconds(1000000 / kFps);
    auto next = std::chrono::steady_clock::now();
    double tickSeconds = 0;
    int64_t ticks = 0;
    for (auto _ : state) {
        ++ticks;
        lesson.platform->now = static_cast<uint32_t>(ticks * 1000 / kFps);  // due grows by one frame
        const auto start = std::chrono::steady_clock::now();
        probe.LessonTimerTick();
        tickSeconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (realEncoder) {
            state.PauseTiming();
            next += period;
            std::this_thread::sleep_until(next);
            state.ResumeTiming();
        }
    }
    const double mean = tickSeconds / static_cast<double>(ticks);
    state.counters["of_period"] = mean * kFps;
    if (gCopySeconds > 0) state.counters["x_copy"] = mean / gCopySeconds;
    const int32_t written = probe.lesson().lessonFramesWritten();
    lesson.control->TVN_StopLesson();
    if (realEncoder) state.counters["missing"] = static_cast<double>(written - videoPackets(lesson.avi));
}

void BM_LessonTick1080p(benchmark::State& state) { runTicks(state, true); }
BENCHMARK(BM_LessonTick1080p)->Iterations(150)->Unit(benchmark::kMillisecond);

void BM_LessonTick1080pNoEncoder(benchmark::State& state) { runTicks(state, false); }
BENCHMARK(BM_LessonTick1080pNoEncoder)->Unit(benchmark::kMillisecond);

}  // namespace
