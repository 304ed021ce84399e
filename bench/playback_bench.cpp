// Frame stepping on the real display engine against a far frame jump measured
// in the same run. A coach steps through a movement frame by frame, so a step
// must cost much less than a jump, which decodes from a keyframe up to the
// target. Clip: 1280 x 720 H.264, 30 fps, a keyframe every 60 frames, made
// with the ffmpeg tool at start. `x_jump` is the wall time of a step divided
// by that of a jump, the two interleaved.
// Goal: x_jump <= 0.5.

#include "control/Trelvan.h"
#include "media/Components.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <memory>
#include <stdexcept>

using namespace tvn;

namespace {

QString benchClip() {
    static QTemporaryDir dir;
    static const QString path = [] {
        const QString file = dir.filePath("bench.mp4");
        QProcess p;
        p.start("ffmpeg", {"-loglevel", "error", "-y", "-f", "lavfi", "-i", "testsrc2=size=1280x720:rate=30",
                           "-frames:v", "600", "-g", "60", "-c:v", "libx264", "-pix_fmt", "yuv420p", file});
        if (!p.waitForFinished(120000) || p.exitCode() != 0)
            throw std::runtime_error("ffmpeg could not make the benchmark clip: " +
                                     p.readAllStandardError().toStdString());
        return file;
    }();
    return path;
}

std::unique_ptr<Trelvan> openControl() {
    auto control = std::make_unique<Trelvan>(Components::defaults());
    control->resize(640, 360);
    QString name = benchClip();
    if (control->TVN_OpenFile(name) != 600) throw std::runtime_error("benchmark clip did not open with 600 frames");
    return control;
}

// Far jumps: each lands in another keyframe interval, at a frame 45 frames past its keyframe.
void jump(Trelvan& c, int i) {
    int32_t frame = 60 * (1 + (i * 7) % 8) + 45;
    c.TVN_SetFrame(frame);
}

// A step from within a run of steps, started again every 40 steps.
void step(Trelvan& c, int i) {
    if (i % 40 == 0) {
        int32_t frame = 100;
        c.TVN_SetFrame(frame);
    }
    c.TVN_StepOneFrame();
}

void BM_FarJump(benchmark::State& state) {
    auto c = openControl();
    int i = 0;
    for (auto _ : state) jump(*c, i++);
}
BENCHMARK(BM_FarJump)->Unit(benchmark::kMillisecond);

void BM_StepOneFrame(benchmark::State& state) {
    auto c = openControl();
    int i = 0;
    for (auto _ : state) step(*c, i++);
    // Baseline in the same process: a far jump, then a step from where it
    // landed, each timed on its own, interleaved.
    double jumpMs = 0, stepMs = 0;
    constexpr int kRounds = 120;
    QElapsedTimer t;
    for (int k = 1; k <= kRounds; ++k) {
        t.start();
        jump(*c, k);
        jumpMs += t.nsecsElapsed() / 1e6;
        t.start();
        c->TVN_StepOneFrame();
        stepMs += t.nsecsElapsed() / 1e6;
    }
    state.counters["x_jump"] = stepMs / jumpMs;
}
BENCHMARK(BM_StepOneFrame)->Unit(benchmark::kMillisecond);

}  // namespace
