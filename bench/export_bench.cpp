// Video export speed and memory, through the control's export companion with
// drawings that change on every frame (the clock, a tracking trail) and a line.
//
// BM_Export/1080 and /720: a 10-second 30 fps clip with sound exported at the
// clip's size, x264 preset ultrafast (the export's default, H.264 High with
// the 8x8 transform; TVN_BENCH_PRESET names another), crf 20. Reported: realtime, the clip's
// length over the export's wall time (2 = twice real time); vsDecode, the
// export's time over the time of decoding the same clip alone with a
// FrameSource in the same run (the yardstick: what any export must pay).
// BM_ExportTenMinutesMemory: a 10-minute clip (320 x 180) exported whole;
// reported: resident memory at 10 %, 50 % and 90 % of the export, and the last two's
// ratio (1 = flat: nothing grows with the clip's length).
// uiStallOverFrame: the longest the UI thread went without running its events
// during the export, over the clip's frame period (below 1: the UI never
// waited a frame).
// cpuPerClipSecond: the whole process's CPU seconds (every thread) per second of
// clip exported, which other programs on a shared machine do not change: on two
// cores of its own the export runs at about 2 / cpuPerClipSecond times real time.
// The clips are made once by the ffmpeg tool and kept in the temp folder.

#include "control/Trelvan.h"
#include "export/VideoExport.h"
#include "media/Components.h"
#include "media/FrameSource.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QMouseEvent>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <benchmark/benchmark.h>
#include <fstream>
#include <sys/resource.h>
#include <stdexcept>
#include <string>

namespace {

QString clipPath(const QString& name, const QStringList& recipe) {
    const QString dir = QDir::temp().filePath(QStringLiteral("trelvan-bench-export"));
    QDir().mkpath(dir);
    const QString path = QDir(dir).filePath(name);
    if (QFileInfo::exists(path)) return path;
    const QString part = path + ".part.mp4";
    const QStringList args = QStringList{"-v", "error", "-y", "-nostdin"} + recipe + QStringList{part};
    if (QProcess::execute("ffmpeg", args) != 0 || !QFile::rename(part, path))
        throw std::runtime_error("ffmpeg could not make " + name.toStdString());
    return path;
}

QString tenSeconds(int height) {
    const int width = height * 16 / 9;
    return clipPath(QStringLiteral("sport%1.mp4").arg(height),
                    {"-f", "lavfi", "-i", QStringLiteral("testsrc2=s=%1x%2:r=30").arg(width).arg(height), "-f", "lavfi",
                     "-i", "sine=frequency=440", "-t", "10", "-c:v", "libx264", "-preset", "veryfast", "-b:v", "8M",
                     "-pix_fmt", "yuv420p", "-c:a", "aac"});
}

QString tenMinutes() {
    return clipPath(QStringLiteral("long180.mp4"),
                    {"-f", "lavfi", "-i", "testsrc2=s=320x180:r=30", "-f", "lavfi", "-i", "sine=frequency=440", "-t",
                     "600", "-c:v", "libx264", "-preset", "ultrafast", "-crf", "32", "-pix_fmt", "yuv420p", "-c:a",
                     "aac"});
}

void send(QWidget* w, QEvent::Type type, QPointF pos, Qt::MouseButton button, Qt::MouseButtons buttons) {
    QMouseEvent event(type, pos, w->mapToGlobal(pos), button, buttons, Qt::NoModifier);
    QCoreApplication::sendEvent(w, &event);
}

// The control with the clip and drawings that change on every frame.
std::unique_ptr<tvn::Trelvan> controlWithDrawings(const QString& clip) {
    auto control = std::make_unique<tvn::Trelvan>(tvn::Components::defaults());
    control->resize(640, 360);
    control->show();
    QString name = clip;
    if (control->TVN_OpenFile(name) <= 0) throw std::runtime_error("cannot open the clip");
    QWidget* display = control->visibleVideoWidget();
    control->TVN_drawingColor = 0x00FFFF;
    control->TVN_drawingWidth = 3;
    control->TVN_drawingTool = QStringLiteral("line");
    send(display, QEvent::MouseButtonPress, {40, 300}, Qt::LeftButton, Qt::LeftButton);
    send(display, QEvent::MouseMove, {600, 280}, Qt::NoButton, Qt::LeftButton);
    send(display, QEvent::MouseButtonRelease, {600, 280}, Qt::LeftButton, Qt::NoButton);
    bool on = true;
    control->TVN_SetTracking(on);
    for (int i = 0; i < 20; ++i) {
        send(display, QEvent::MouseButtonPress, QPointF(100 + 20 * i, 200 - 5 * i), Qt::LeftButton, Qt::LeftButton);
        send(display, QEvent::MouseButtonRelease, QPointF(100 + 20 * i, 200 - 5 * i), Qt::LeftButton, Qt::NoButton);
    }
    control->TVN_DisplayClock = true;
    control->TVN_FontSize = 24;
    return control;
}

// Runs one export to its end on the event loop; onProgress sees the percentages.
// Returns the longest the UI thread went without running its events (ms),
// from a timer that ticks every millisecond meanwhile.
double runExport(tvn::VideoExport& exporter, const QString& file, const std::function<void(int)>& onProgress = {}) {
    QEventLoop loop;
    QElapsedTimer sinceTick;
    double longestGap = 0;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        longestGap = std::max(longestGap, sinceTick.nsecsElapsed() / 1e6);
        sinceTick.restart();
    });
    bool ok = false;
    auto a = QObject::connect(&exporter, &tvn::VideoExport::finished, &loop, [&](const QString&, bool cancelled) {
        ok = !cancelled;
        loop.quit();
    });
    auto b = QObject::connect(&exporter, &tvn::VideoExport::failed, &loop, [&](int, const QString& text) {
        qWarning("%s", qPrintable(text));
        loop.quit();
    });
    auto c = QObject::connect(&exporter, &tvn::VideoExport::progress, &loop, [&](int percent, qint64, qint64) {
        if (onProgress) onProgress(percent);
    });
    sinceTick.start();
    ticker.start(1);
    exporter.start(file);
    loop.exec();
    ticker.stop();
    QObject::disconnect(a);
    QObject::disconnect(b);
    QObject::disconnect(c);
    if (!ok) throw std::runtime_error("the export did not complete");
    return longestGap;
}

double decodeSeconds(const QString& clip) {
    QElapsedTimer t;
    t.start();
    tvn::FrameSource::Options o;
    o.keepFramesAround = false;
    auto source = tvn::FrameSource::open(clip, o);
    const int frames = int(source->info().frameCount);
    source->seek(1);
    for (int i = 1; i < frames; ++i) source->stepForward();
    return t.nsecsElapsed() / 1e9;
}

// The x264 preset measured; TVN_BENCH_PRESET names another, to compare.
QString preset() {
    const QString p = qEnvironmentVariable("TVN_BENCH_PRESET");
    return p.isEmpty() ? QStringLiteral("ultrafast") : p;
}

double processCpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_utime.tv_usec / 1e6 + u.ru_stime.tv_sec + u.ru_stime.tv_usec / 1e6;
}

void BM_Export(benchmark::State& state) {
    const QString clip = tenSeconds(int(state.range(0)));
    auto control = controlWithDrawings(clip);
    control->videoExport()->setPreset(preset());
    QTemporaryDir dir;
    double exportSeconds = 0, decode = 0, cpu = 0, stall = 0;
    for (auto _ : state) {
        decode += decodeSeconds(clip);
        QElapsedTimer t;
        t.start();
        const double cpuBefore = processCpuSeconds();
        stall = std::max(stall, runExport(*control->videoExport(), dir.filePath("out.mp4")));
        cpu += processCpuSeconds() - cpuBefore;
        exportSeconds += t.nsecsElapsed() / 1e9;
    }
    state.counters["cpuPerClipSecond"] = cpu / (10.0 * double(state.iterations()));
    const double runs = double(state.iterations());
    state.counters["realtime"] = 10.0 * runs / exportSeconds;
    state.counters["vsDecode"] = exportSeconds / decode;
    // The UI thread's longest wait over the clip's frame period (33.3 ms): below 1, never a frame blocked.
    state.counters["uiStallOverFrame"] = stall / (1000.0 / 30);
    state.SetLabel(QStringLiteral("x264 %1 crf 20, AAC, drawings on every frame").arg(preset()).toStdString());
}
BENCHMARK(BM_Export)->Arg(1080)->Arg(720)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

double residentMegabytes() {
    std::ifstream status("/proc/self/status");
    std::string key;
    while (status >> key) {
        if (key == "VmRSS:") {
            double kb = 0;
            status >> kb;
            return kb / 1024;
        }
        std::getline(status, key);
    }
    return 0;
}

void BM_ExportTenMinutesMemory(benchmark::State& state) {
    const QString clip = tenMinutes();
    auto control = controlWithDrawings(clip);
    QTemporaryDir dir;
    double early = 0, middle = 0, late = 0, seconds = 0;
    for (auto _ : state) {
        QElapsedTimer t;
        t.start();
        runExport(*control->videoExport(), dir.filePath("long.mp4"), [&](int percent) {
            if (percent >= 10 && early == 0) early = residentMegabytes();
            if (percent >= 50 && middle == 0) middle = residentMegabytes();
            if (percent >= 90 && late == 0) late = residentMegabytes();
        });
        seconds += t.nsecsElapsed() / 1e9;
    }
    state.counters["rssAt10pcMB"] = early;
    state.counters["rssAt50pcMB"] = middle;
    state.counters["rssAt90pcMB"] = late;
    state.counters["lateOverEarly"] = early > 0 ? late / early : 0;
    state.counters["realtime"] = 600.0 * double(state.iterations()) / seconds;
}
BENCHMARK(BM_ExportTenMinutesMemory)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

}  // namespace
