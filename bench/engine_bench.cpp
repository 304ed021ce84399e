// The display engine against a minimal FFmpeg player measured in the same run,
// on a 1920x1080 H.264 clip (B-frames, a keyframe every 250 frames, 500 frames
// at 25 fps) made at start-up. Each iteration times the baseline and the engine
// on the same operation back to back, so a busy machine slows both alike.
//
// Counters: base_ms and engine_ms (mean per operation) and x_base, their ratio.
// Goals: OpenFirstFrame x_base <= 1.2; RandomSeek x_base <= 1.1;
// StepForward x_base <= 1.5 (baseline: decode one frame and convert it to
// RGB32); StepBack engine_ms <= 10 once the frames around are cached.
//
// Stepping back across a keyframe (decode-behind), paused as a coach steps:
// StepBackAfterRest: jump to frame 250 (a keyframe), rest 2 s, step to 249;
//   goal step_ms <= 50; ready_ms is how long the worker took to have the
//   interval before 250 decoded (beyond 2 s the step waits for the rest). JumpThenBack: jump to 250 and at once to 249, against
//   the jump alone (x_jump). HoldLeft: jump to 499, rest 2 s, then 300 steps
//   back at 10 a second; goals max_ms <= 100, wrong = 0 (positions checked),
//   over_budget = 0 (cache plus the worker's allowance within the budget).

#include "media/ffmpeg/FfmpegDisplayEngine.h"
#include "support/HdBenchClip.h"
#include "support/BaselinePlayer.h"

#include <QApplication>
#include <QWidget>
#include <benchmark/benchmark.h>
#include <chrono>
#include <random>
#include <thread>

using namespace tvn;

namespace {

constexpr int kFrames = bench::HdBenchClip::kFrames;
constexpr int kFps = bench::HdBenchClip::kFps;
constexpr double kFrameMs = 1000.0 / kFps;

QString benchClip() { return bench::HdBenchClip::path(); }

using bench::BaselinePlayer;
using bench::Clock;
using bench::report;
using bench::timeMs;

// Keyframe interval of the clip, in seconds, for the baseline's seeks.
constexpr double kKeySeconds = double(bench::HdBenchClip::kKeyInterval) / kFps;

void BM_OpenFirstFrame(benchmark::State& state) {
    const QString clip = benchClip();
    QWidget host;
    double base = 0, eng = 0;
    int64_t n = 0;
    for (auto _ : state) {
        base += timeMs([&] {
            BaselinePlayer b;
            b.open(clip);
        });
        FfmpegDisplayEngine engine(&host);
        eng += timeMs([&] { engine.OpenClip(clip); });
        ++n;
    }
    report(state, base, eng, n);
}

void randomSeek(benchmark::State& state, int64_t cacheBudget) {
    const QString clip = benchClip();
    QWidget host;
    FfmpegDisplayEngine engine(&host);
    if (cacheBudget >= 0) engine.setCacheBudgetBytes(cacheBudget);
    engine.OpenClip(clip);
    BaselinePlayer b;
    b.open(clip);
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> frame(0, kFrames - 1);
    // Warm-up: the decoder's buffer pools and the frame cache reach their working size.
    for (int i = 0; i < 4; ++i) {
        const int k = frame(rng);
        b.seekToFrame(k, kFps, kKeySeconds);
        engine.Seek(k * kFrameMs + 1.0);
    }
    double base = 0, eng = 0;
    int64_t n = 0;
    for (auto _ : state) {
        const int k = frame(rng);
        base += timeMs([&] { b.seekToFrame(k, kFps, kKeySeconds); });
        eng += timeMs([&] { engine.Seek(k * kFrameMs + 1.0); });
        ++n;
    }
    report(state, base, eng, n);
}
void BM_RandomSeek(benchmark::State& state) { randomSeek(state, -1); }
void BM_RandomSeekNoCache(benchmark::State& state) { randomSeek(state, 0); }

void BM_StepForward(benchmark::State& state) {
    const QString clip = benchClip();
    QWidget host;
    FfmpegDisplayEngine engine(&host);
    engine.OpenClip(clip);
    BaselinePlayer b;
    b.open(clip);
    // Warm-up: step until the frame cache is at its budget, as in a session that
    // has been stepping for a while; filling it the first time costs fresh memory.
    int k = 0;
    for (; k < 200; ++k) engine.Seek(k * kFrameMs + 1.0);
    b.seekToFrame(k - 1, kFps, kKeySeconds);
    double base = 0, eng = 0;
    int64_t n = 0;
    for (auto _ : state) {
        if (++k >= kFrames) {
            state.PauseTiming();
            k = 1;
            b.seekToFrame(0, kFps, kKeySeconds);
            engine.Seek(0);
            state.ResumeTiming();
        }
        base += timeMs([&] { b.step(); });
        // The control steps by seeking one frame on, 1 ms into the frame.
        eng += timeMs([&] { engine.Seek(k * kFrameMs + 1.0); });
        ++n;
    }
    report(state, base, eng, n);
}

void BM_StepBack(benchmark::State& state) {
    const QString clip = benchClip();
    QWidget host;
    FfmpegDisplayEngine engine(&host);
    engine.OpenClip(clip);
    int k = 240;
    engine.Seek(k * kFrameMs + 1.0);  // decodes 0..240 on the way: the frames before are cached
    double eng = 0;
    int64_t n = 0;
    for (auto _ : state) {
        if (--k < 200) {
            state.PauseTiming();
            k = 239;
            engine.Seek(240 * kFrameMs + 1.0);
            state.ResumeTiming();
        }
        eng += timeMs([&] { engine.Seek(k * kFrameMs + 1.0); });
        ++n;
    }
    state.counters["engine_ms"] = eng / double(n);
}

double frameMs(int n) { return n * kFrameMs + 1.0; }  // the control seeks 1 ms into a frame
bool shows(FfmpegDisplayEngine& engine, int n) { return engine.GetPosition() == std::round(n * kFrameMs); }

void BM_StepBackAfterRest(benchmark::State& state) {
    const QString clip = benchClip();
    QWidget host;
    double step = 0, ready = 0;
    int64_t n = 0, wrong = 0;
    for (auto _ : state) {
        FfmpegDisplayEngine engine(&host);
        engine.OpenClip(clip);
        engine.Seek(frameMs(250));
        // Rest 2 s, noting when the worker has the interval before 250 ready.
        const auto rest = Clock::now();
        double readyAt = -1;
        while (Clock::now() - rest < std::chrono::seconds(2)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            if (readyAt < 0 && engine.decoderStats().framesReadyBehind > 0)
                readyAt = std::chrono::duration<double, std::milli>(Clock::now() - rest).count();
        }
        const double ms = timeMs([&] { engine.Seek(frameMs(249)); });
        step += ms;
        ready += readyAt >= 0 ? readyAt : 2000 + ms;  // not ready: the step waited for the rest of it
        wrong += shows(engine, 249) ? 0 : 1;
        ++n;
    }
    state.counters["step_ms"] = step / double(n);
    state.counters["ready_ms"] = ready / double(n);
    state.counters["wrong"] = double(wrong);
}

void BM_JumpThenBack(benchmark::State& state) {
    const QString clip = benchClip();
    QWidget host;
    double jump = 0, back = 0;
    int64_t n = 0;
    for (auto _ : state) {
        FfmpegDisplayEngine engine(&host);
        engine.OpenClip(clip);
        jump += timeMs([&] { engine.Seek(frameMs(250)); });
        back += timeMs([&] { engine.Seek(frameMs(249)); });
        ++n;
    }
    state.counters["jump_ms"] = jump / double(n);
    state.counters["back_ms"] = back / double(n);
    state.counters["x_jump"] = jump > 0 ? (jump + back) / jump : 0;
}

void BM_HoldLeft(benchmark::State& state) {
    const QString clip = benchClip();
    QWidget host;
    constexpr int kSteps = 300;
    const int64_t budget = ClipDecoder::defaultCacheBudget();
    double total = 0, worst = 0;
    int64_t n = 0, wrong = 0, overBudget = 0, peak = 0;
    for (auto _ : state) {
        FfmpegDisplayEngine engine(&host);
        engine.OpenClip(clip);
        engine.Seek(frameMs(kFrames - 1));
        std::this_thread::sleep_for(std::chrono::seconds(2));
        auto tick = Clock::now();
        for (int k = kFrames - 2; k >= kFrames - 1 - kSteps; --k) {
            std::this_thread::sleep_until(tick += std::chrono::milliseconds(100));
            const double ms = timeMs([&] { engine.Seek(frameMs(k)); });
            total += ms;
            worst = std::max(worst, ms);
            wrong += shows(engine, k) ? 0 : 1;
            const ClipDecoder::Stats s = engine.decoderStats();
            peak = std::max(peak, s.cachedBytes + s.behindBytes);
            overBudget += s.cachedBytes + s.behindBytes > budget ? 1 : 0;
            ++n;
        }
    }
    state.counters["mean_ms"] = total / double(n);
    state.counters["max_ms"] = worst;
    state.counters["wrong"] = double(wrong);
    state.counters["over_budget"] = double(overBudget);
    state.counters["peak_MiB"] = double(peak) / (1024.0 * 1024.0);
    state.counters["budget_MiB"] = double(budget) / (1024.0 * 1024.0);
}

}  // namespace

BENCHMARK(BM_OpenFirstFrame)->Iterations(10)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RandomSeek)->Iterations(20)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RandomSeekNoCache)->Iterations(20)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StepForward)->Iterations(120)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StepBack)->Iterations(80)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StepBackAfterRest)->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JumpThenBack)->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HoldLeft)->Iterations(1)->Unit(benchmark::kMillisecond);
