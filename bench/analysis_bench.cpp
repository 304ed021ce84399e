// Analysis documents at the size of a long coaching session: every pool of the
// drawings full and the hand-built trail filled to 1 000 drawings in all, a
// free-hand stroke, 20 tracked points of 3 000 samples each and 200 key moments.
// Reports per operation (real time, ms): save (snapshot, JSON, atomic write),
// open (read, full check, apply to the control showing the clip) and the UI
// thread's part of an autosave after one change (snapshot and hand-over; the
// worker's encoding and writing are left out by flushing outside the timing).
// Goals: save_ms and open_ms under 50; autosave_ui_ms under one frame period (40).

#include "analysis/Analysis.h"
#include "annotate/AnnotationStore.h"
#include "control/Trelvan.h"
#include "media/Components.h"
#include "motion/MotionAnalysis.h"
#include "support/MarkerClip.h"
#include "../tests/fakes/ControlProbe.h"

#include <QDir>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>

using namespace tvn;

namespace {

struct Session {
    Session() {
        bench::MarkerClip clip;
        clip.width = 320, clip.height = 240, clip.frames = 240;
        QString file = clip.make(dir.filePath(QStringLiteral("session.mp4")));
        control.resize(320, 240);
        analysis().setRecoveryDirectory(dir.filePath(QStringLiteral("recovery")));
        control.TVN_OpenFile(file);
        AnnotationStore& st = ControlProbe(control).store();
        int drawings = 0;
        for (int i = 0; i < AnnotationStore::kPoolSize; ++i, drawings += 4) {
            const float x = 300.0f + i * 150, y = 300.0f + i * 100;
            st.Lines[i] = LineObject{x, y, x + 1500, y + 900, 0x00FFFF, true};
            st.Shape1[i] = ShapeObject{int16_t(i % 2 ? ShapeObject::Oval : ShapeObject::Rectangle), x, y, 900, 600, 0xFF00FF, true};
            st.angleNotes[i] = AngleAnnotation{int32_t(x), int32_t(y), int32_t(x) + 900, int32_t(y), int32_t(x), int32_t(y),
                                               int32_t(x), int32_t(y) + 900, 1, QStringLiteral("90"), 0xFFFF00,
                                               QStringLiteral("Arial"), 10, true};
            st.textNotes[i] = TextAnnotation{QStringLiteral("note %1").arg(i), int32_t(x), int32_t(y), 0xFFFFFF,
                                             QStringLiteral("Arial"), 12};
            st.recordHistory(HistoryLine);
        }
        for (; drawings < 1000; ++drawings)
            st.trackTrail.append(KiteTail{drawings % 240, 0x0000FF, 3, 100 + drawings * 4, 200 + drawings * 3});
        st.trackTrailCreated = true;
        std::vector<motion::Track> tracks(20);
        for (int p = 0; p < 20; ++p)
            for (int n = 0; n < 3000; ++n)
                tracks[p].samples.push_back({n, n * 40.0, 10 + p + n * 0.01, 20 + p + n * 0.02, 0.9});
        control.motion()->restore(false, {}, std::move(tracks));
        for (int k = 0; k < 200; ++k)
            analysis().markKeyMomentAt(k, QStringLiteral("moment %1").arg(k), QStringLiteral("a note"), 0x00FF00);
        control.TVN_ReDraw();
        document = dir.filePath(QStringLiteral("session.tvna.json"));
        analysis().save(document);
    }
    Analysis& analysis() { return *control.analysis(); }

    QTemporaryDir dir;
    Trelvan control{Components::defaults()};
    QString document;
};

Session& session() {
    static Session s;
    return s;
}

template <class Body>
void timed(benchmark::State& state, const char* counter, Body&& body) {
    double totalMs = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        body(state);
        const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        state.SetIterationTime(ms / 1000);
        totalMs += ms;
    }
    state.counters[counter] = totalMs / double(state.iterations());
}

void BM_Save(benchmark::State& state) {
    Session& s = session();
    timed(state, "save_ms", [&](benchmark::State&) { s.analysis().save(s.document); });
    state.counters["bytes"] = double(QFileInfo(s.document).size());
}

void BM_Open(benchmark::State& state) {
    Session& s = session();
    timed(state, "open_ms", [&](benchmark::State&) { s.analysis().open(s.document); });
}

void BM_AutosaveUiPart(benchmark::State& state) {
    Session& s = session();
    int n = 0;
    double worstMs = 0;
    for (auto _ : state) {
        s.analysis().renameKeyMoment(0, QStringLiteral("renamed %1").arg(++n));  // a change
        const auto start = std::chrono::steady_clock::now();
        s.analysis().autosaveNow();
        const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        state.SetIterationTime(ms / 1000);
        worstMs = std::max(worstMs, ms);
        s.analysis().flushAutosave();  // the worker's part, outside the timing
    }
    state.counters["autosave_ui_worst_ms"] = worstMs;
}

}  // namespace

BENCHMARK(BM_Save)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(BM_Open)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(BM_AutosaveUiPart)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(30);
