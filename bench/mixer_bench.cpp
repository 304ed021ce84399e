// Composing one mixed frame of two 1080p sources, against decoding one 1080p
// frame with the engine's decoder, in the same run. The mixer must compose
// within one frame period at 30 fps (33.3 ms); the decode is the baseline that
// makes the figure comparable across machines.
#include "media/ffmpeg/ClipDecoder.h"
#include "media/ffmpeg/MixerComposer.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <stdexcept>

using namespace tvn;

namespace {

// A 1080p H.264 clip with moving content (FFmpeg's test source), made once per run.
const QString& clip1080() {
    static QTemporaryDir dir;
    static QString file;
    if (!file.isEmpty()) return file;
    file = dir.path() + "/bench1080.mp4";
    QProcess ff;
    ff.start(QStringLiteral("ffmpeg"), {"-v", "error", "-y", "-f", "lavfi", "-i", "testsrc2=s=1920x1080:r=30",
                                        "-frames:v", "120", "-pix_fmt", "yuv420p", "-c:v", "libx264", "-g", "60",
                                        "-preset", "veryfast", file});
    if (!ff.waitForFinished(120000) || ff.exitCode() != 0)
        throw std::runtime_error("ffmpeg failed: " + ff.readAllStandardError().toStdString());
    return file;
}

// Baseline: the decoder produces the next 1080p frame as the mixer's sources do
// (decode plus conversion to RGB32).
void BM_DecodeOne1080pFrame(benchmark::State& state) {
    ClipDecoder decoder;
    decoder.setCacheBudget(0);  // only the current frame: every step really decodes
    decoder.open(clip1080());
    for (auto _ : state) {
        if (decoder.atLastFrame()) {
            state.PauseTiming();
            decoder.seek(0);
            state.ResumeTiming();
        }
        benchmark::DoNotOptimize(decoder.stepForward());
    }
}
BENCHMARK(BM_DecodeOne1080pFrame)->Unit(benchmark::kMillisecond);

// One mixed frame: two decoded 1080p frames laid into a display of the size
// given (1920x1080, or a 960x540 control), the second at the overlay's opacity;
// the third argument mirrors the second source.
void BM_ComposeTwo1080pSources(benchmark::State& state) {
    ClipDecoder decoder;
    decoder.open(clip1080());
    const QImage first = decoder.seek(0).image;
    const QImage second = decoder.seek(1500).image;
    const QSize display(static_cast<int>(state.range(0)), static_cast<int>(state.range(0) * 9 / 16));
    const bool mirrored = state.range(1) != 0;
    const float w = display.width(), h = display.height();
    const std::vector<MixerComposer::Layer> layers = {
        {first, QRectF(0, 0, w, h), 1.0f},
        {second, mirrored ? QRectF(w, 0, -w, h) : QRectF(0, 0, w, h), 0.5f},
    };
    for (auto _ : state) benchmark::DoNotOptimize(MixerComposer::compose(layers, display, Qt::black));
}
BENCHMARK(BM_ComposeTwo1080pSources)
    ->Args({1920, 0})
    ->Args({1920, 1})
    ->Args({960, 0})
    ->Unit(benchmark::kMillisecond);

}  // namespace
