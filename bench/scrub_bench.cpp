// Scrubbing: a frame slider dragged over a 1920x1080 clip at 60 fps with a
// keyframe every 250 frames (H.264, B-frames, 1500 frames, made at start-up),
// the display engine's cheap pictures during the drag (seekApproximate) and the
// exact frame on release (Seek), against a plain FFmpeg player that answers
// every move with an exact seek, measured in the same run.
//
// Drag/<rest ms>: the pointer moves at 60 moves a second from frame 130 to
// frame 1370 in 3 s (400 frames a second, crossing five keyframe intervals),
// rests the given time on frame 1370 and is released. Each move asks for the
// frame under the pointer once the previous picture is shown (moves that came
// meanwhile are coalesced, as the studio does). Counters: pictures_per_s
// (distinct pictures shown during the drag; goal >= 25) and base_pictures_per_s
// with x_base_pictures their ratio; lag_frames (mean distance between the frame
// under the pointer and the frame shown); release_ms (the exact frame shown
// after the release; goal <= 150) against base_release_ms (one exact seek
// there), x_base_release their ratio; wrong (releases that did not land on the
// frame; goal 0).
//
// StepBackAfterRest/<busy cores>: jump to frame 500 (a keyframe), rest 2 s,
// step back to 499, while that many threads spin on the processor beside it.
// Counters: step_ms (goal <= 100 with one core busy) and jump_ms (the same
// frame reached by a jump on a fresh engine, which decodes the whole interval
// before the keyframe), x_jump their ratio, wrong.

#include "media/ffmpeg/FfmpegDisplayEngine.h"
#include "support/BaselinePlayer.h"

#include <QFile>
#include <QProcess>
#include <QWidget>
#include <atomic>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cmath>
#include <thread>
#include <vector>

using namespace tvn;

namespace {

constexpr int kFrames = 1500;
constexpr int kFps = 60;
constexpr int kKeyInterval = 250;
constexpr double kFrameMs = 1000.0 / kFps;
constexpr double kKeySeconds = double(kKeyInterval) / kFps;

QString benchClip() {
    static const QString path = [] {
        const QString p = QStringLiteral("/tmp/trelvan-bench-1080p60-gop250.mp4");
        if (!QFile::exists(p)) {
            QProcess::execute("ffmpeg", {"-v", "error", "-y", "-f", "lavfi", "-i",
                                         QStringLiteral("testsrc2=s=1920x1080:r=%1").arg(kFps), "-frames:v",
                                         QString::number(kFrames), "-c:v", "libx264", "-preset", "veryfast", "-bf",
                                         "3", "-g", QString::number(kKeyInterval), "-keyint_min",
                                         QString::number(kKeyInterval), "-sc_threshold", "0", "-pix_fmt", "yuv420p",
                                         p + ".part.mp4"});
            QFile::rename(p + ".part.mp4", p);
        }
        return p;
    }();
    return path;
}

using bench::BaselinePlayer;
using bench::Clock;
using bench::timeMs;

double msOf(int frame) { return frame * kFrameMs + 1.0; }  // the control asks 1 ms into a frame
int frameOf(double ms) { return int(std::lround(ms / kFrameMs)); }

struct DragResult {
    int pictures = 0;
    double lagFrames = 0;  // summed over the shows
    int shows = 0;
    double seconds = 0;
};

// The pointer at 60 moves a second from `from` to `to` in dragMs; show(frame)
// shows a picture for the frame under the pointer and returns the frame shown.
template <class Show>
DragResult drag(int from, int to, double dragMs, Show&& show) {
    DragResult r;
    const auto start = Clock::now();
    int last = -1;
    auto nextMove = start;
    for (;;) {
        const double t = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        if (t >= dragMs) break;
        const int target = from + int(std::lround((to - from) * t / dragMs));
        const int shown = show(target);
        ++r.shows;
        r.lagFrames += std::abs(target - shown);
        if (shown != last) ++r.pictures;
        last = shown;
        // Waits for the next move when the picture came before it.
        while (nextMove <= Clock::now()) nextMove += std::chrono::microseconds(16667);
        std::this_thread::sleep_until(nextMove);
    }
    r.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    return r;
}

void BM_Drag(benchmark::State& state) {
    const QString clip = benchClip();
    const int restMs = int(state.range(0));
    constexpr int kFrom = 130, kTo = 1370;
    constexpr double kDragMs = 3000;
    QWidget host;
    double pictures = 0, basePictures = 0, lag = 0, release = 0, baseRelease = 0, seconds = 0, baseSeconds = 0;
    int64_t n = 0, wrong = 0, shows = 0;
    for (auto _ : state) {
        FfmpegDisplayEngine engine(&host);
        engine.OpenClip(clip);
        const DragResult e = drag(kFrom, kTo, kDragMs, [&](int frame) { return frameOf(engine.seekApproximate(msOf(frame))); });
        std::this_thread::sleep_for(std::chrono::milliseconds(restMs));
        release += timeMs([&] { engine.Seek(msOf(kTo)); });
        wrong += engine.GetPosition() == std::round(kTo * kFrameMs) ? 0 : 1;
        pictures += e.pictures;
        seconds += e.seconds;
        lag += e.lagFrames;
        shows += e.shows;

        BaselinePlayer b;
        b.open(clip);
        const DragResult base = drag(kFrom, kTo, kDragMs, [&](int frame) {
            return frameOf(b.seekToFrame(frame, kFps, kKeySeconds));
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(restMs));
        baseRelease += timeMs([&] { b.seekToFrame(kTo, kFps, kKeySeconds); });
        basePictures += base.pictures;
        baseSeconds += base.seconds;
        ++n;
    }
    state.counters["pictures_per_s"] = pictures / seconds;
    state.counters["base_pictures_per_s"] = basePictures / baseSeconds;
    state.counters["x_base_pictures"] = (pictures / seconds) / std::max(1e-9, basePictures / baseSeconds);
    state.counters["lag_frames"] = lag / double(std::max<int64_t>(1, shows));
    state.counters["release_ms"] = release / double(n);
    state.counters["base_release_ms"] = baseRelease / double(n);
    state.counters["x_base_release"] = release / std::max(1e-9, baseRelease);
    state.counters["wrong"] = double(wrong);
}

// Threads that keep cores busy while they live.
class BusyCores {
public:
    explicit BusyCores(int count) {
        for (int i = 0; i < count; ++i)
            threads_.emplace_back([this] {
                volatile uint64_t x = 0;
                while (!stop_.load(std::memory_order_relaxed)) x = x + 1;
            });
    }
    ~BusyCores() {
        stop_ = true;
        for (auto& t : threads_) t.join();
    }

private:
    std::atomic<bool> stop_{false};
    std::vector<std::thread> threads_;
};

void BM_StepBackAfterRest(benchmark::State& state) {
    const QString clip = benchClip();
    const BusyCores busy(int(state.range(0)));
    QWidget host;
    constexpr int kKey = 2 * kKeyInterval;
    double step = 0, jump = 0;
    int64_t n = 0, wrong = 0;
    for (auto _ : state) {
        {
            FfmpegDisplayEngine engine(&host);
            engine.OpenClip(clip);
            engine.Seek(msOf(kKey));
            std::this_thread::sleep_for(std::chrono::seconds(2));
            step += timeMs([&] { engine.Seek(msOf(kKey - 1)); });
            wrong += engine.GetPosition() == std::round((kKey - 1) * kFrameMs) ? 0 : 1;
        }
        {
            FfmpegDisplayEngine engine(&host);
            engine.OpenClip(clip);
            std::this_thread::sleep_for(std::chrono::milliseconds(300));  // as after the open above
            jump += timeMs([&] { engine.Seek(msOf(kKey - 1)); });
        }
        ++n;
    }
    state.counters["step_ms"] = step / double(n);
    state.counters["jump_ms"] = jump / double(n);
    state.counters["x_jump"] = step / std::max(1e-9, jump);
    state.counters["wrong"] = double(wrong);
}

}  // namespace

BENCHMARK(BM_Drag)->Arg(0)->Arg(300)->Iterations(2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StepBackAfterRest)->Arg(0)->Arg(1)->Iterations(3)->Unit(benchmark::kMillisecond);
