// Full redraw of the annotation surface on a 1920 x 1080 clip with every pool
// full, against a redraw of the empty store (clear, free-hand combine and
// hand-over to the engine included) measured in the same run. The full run
// reports `x_empty`: its CPU time per redraw divided by the empty redraw's,
// from the two interleaved.
// Goal: x_empty <= 3.

#include "../tests/fakes/ControlProbe.h"
#include "control/Trelvan.h"
#include "media/BasicVideoEngine.h"
#include "media/BasicVideoMixer.h"
#include "media/Components.h"
#include "media/NoDeviceAudioRecorder.h"
#include "platform/DesktopPlatform.h"

#include <QApplication>
#include <benchmark/benchmark.h>

#include <ctime>
#include <memory>

using namespace tvn;

namespace {

constexpr int kWidth = 1920, kHeight = 1080, kTwips = 15;

std::unique_ptr<Trelvan> makeControl() {
    Components c;
    VideoEngine* display = nullptr;
    c.createEngine = [&display](EngineRole role, QWidget* parent) -> VideoEngine* {
        auto* engine = new BasicVideoEngine(parent);
        if (role == EngineRole::Display) display = engine;
        return engine;
    };
    c.createMixer = [](QWidget* parent) -> VideoMixer* { return new BasicVideoMixer(parent); };
    c.createAudioRecorder = [] { return std::make_unique<NoDeviceAudioRecorder>(); };
    c.platform = std::make_shared<DesktopPlatform>();
    auto control = std::make_unique<Trelvan>(std::move(c));
    ControlProbe probe(*control);
    // A clip open as opening one leaves it.
    control->TVN_videoFileName = QStringLiteral("bench.mp4");
    control->TVN_VideoWidth = kWidth;
    control->TVN_VideoHeight = kHeight;
    probe.picture(1).setSize(kWidth * kTwips, kHeight * kTwips);
    probe.picture(2).setSize(kWidth * kTwips, kHeight * kTwips);
    probe.state().pointerScale.pointerScaleX = probe.state().pointerScale.pointerScaleY = 1;
    display->SetOption43(1);  // not raw player mode
    return control;
}

// Every pool full, every mark shown, a free-hand stroke, caption, clock and grid.
bool fillEverything(Trelvan& c) {
    ControlProbe probe(c);
    AnnotationStore& st = probe.store();
    for (int i = 0; i < AnnotationStore::kPoolSize; ++i) {
        const float x = 1000.0f + i * 1200.0f, y = 1000.0f + i * 600.0f;
        st.Lines[i] = LineObject{x, y, x + 4000, y + 2500, 0x00FFFF, true};
        st.Shape1[i] = ShapeObject{static_cast<int16_t>(i % 2 ? ShapeObject::Oval : ShapeObject::Rectangle),
                                   x, y, 3000, 2000, 0xFF00FF, true};
        st.angleNotes[i] = AngleAnnotation{static_cast<int32_t>(x), static_cast<int32_t>(y),
                                           static_cast<int32_t>(x + 2000), static_cast<int32_t>(y),
                                           static_cast<int32_t>(x + 2000), static_cast<int32_t>(y),
                                           static_cast<int32_t>(x + 3000), static_cast<int32_t>(y - 2000),
                                           1, QStringLiteral("117°"), 0x00FF00, QStringLiteral("Arial Black"), 8,
                                           true};
        st.textNotes[i] = TextAnnotation{QStringLiteral("Elbow %1 high").arg(i), static_cast<int32_t>(x),
                                         static_cast<int32_t>(y + 3000), 0x0000FF, QStringLiteral("Arial"), 12};
    }
    st.Angle1 = LineObject{5000, 5000, 9000, 5000, 0x00FFFF, true};
    st.Angle2 = LineObject{9000, 5000, 11000, 2000, 0x00FFFF, true};
    c.TVN_AngleText = QStringLiteral("56°");
    st.lightMouseShown = true;
    st.lightMouseX = 14000;
    st.lightMouseY = 8000;
    st.lightMouseColor = 0x00FFFF;
    st.targetX = 14400;
    st.targetY = 8100;
    c.TVN_DisplayTarget = true;
    st.circlineShape = 1;
    st.circlineCenterX = 3700;
    st.circlineCenterY = 2600;
    st.circlineSpread = 3500;
    st.circlineDrop = 3500;
    st.circlineColor = 0x00FFFF;
    c.TVN_Text = QStringLiteral("Serve, second attempt");
    c.TVN_DisplayClock = true;
    c.TVN_CurrentPos = 12345;
    c.TVN_DisplayGrid = true;
    c.TVN_GridSpacing = 1440;
    c.TVN_GridColor = 0xC0C0C0;
    probe.picture(2).setDrawWidth(5);
    for (int i = 0; i < 200; ++i) probe.picture(2).line(i * 100, 9000 + (i % 7) * 80, i * 100 + 100, 9000, 0xFF0000);
    // A trail of 300 points, 30 of them in the window, when the frame position is available.
    c.TVN_FrameLenMS = 40;
    c.TVN_NumFrames = 1000;
    c.TVN_TotalLenMS = 40000;
    c.TVN_CurrentFrame = 300;
    for (int f = 0; f < 300; ++f) st.trackTrail.append(KiteTail{f + 1, 0x00FFFF, 5, 2000 + f * 90, 12000 - f * 20});
    c.TVN_TrackingLength = 30;
    c.TVN_TrackingActive = -1;
    try {
        c.TVN_GetFrame();
        return true;
    } catch (...) {
        c.TVN_TrackingActive = 0;  // frame position not available: trail left out
        return false;
    }
}

double threadCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec + ts.tv_nsec * 1e-9;
}

// Full and empty redraws interleaved, timed in this thread's CPU time so that
// other processes on a loaded machine do not tilt the ratio.
double fullToEmptyRatio(Trelvan& full, Trelvan& empty, int rounds) {
    ControlProbe fullProbe(full), emptyProbe(empty);
    double fullSeconds = 0, emptySeconds = 0;
    for (int i = 0; i < rounds; ++i) {
        double t = threadCpuSeconds();
        fullProbe.RedrawAnnotations();
        fullSeconds += threadCpuSeconds() - t;
        t = threadCpuSeconds();
        emptyProbe.RedrawAnnotations();
        emptySeconds += threadCpuSeconds() - t;
    }
    return fullSeconds / emptySeconds;
}

void BM_RedrawEmptyStore(benchmark::State& state) {
    auto control = makeControl();
    ControlProbe probe(*control);
    for (auto _ : state) probe.RedrawAnnotations();
}
BENCHMARK(BM_RedrawEmptyStore)->Unit(benchmark::kMillisecond);

void BM_RedrawEverythingFull(benchmark::State& state) {
    auto empty = makeControl();
    auto full = makeControl();
    const bool trail = fillEverything(*full);
    ControlProbe probe(*full);
    for (auto _ : state) probe.RedrawAnnotations();
    // Baseline in the same run, same process, interleaved with the full redraw.
    state.counters["x_empty"] = fullToEmptyRatio(*full, *empty, 200);
    state.SetLabel(trail ? "trail on" : "trail off (frame position not available)");
}
BENCHMARK(BM_RedrawEverythingFull)->Unit(benchmark::kMillisecond);

}  // namespace
