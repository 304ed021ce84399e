// Lesson recording and compression speed at 1080p.
//
// BM_Record1080p30: a lesson's UI thread as the frame loop drives it: a tick
// every half frame period composes a new 1920 x 1080 picture and appends the
// frames that fell due, in real time. Reported: frames in the file against
// frames due, frames encoded anew against frames added (1.0 = the encoder
// kept up with every picture), the UI thread's AddFrame cost as a share of
// the frame period, and how long the stop waited for the encoder.
// BM_ComposeBaseline1080p: copying one 1080p picture, the cheapest work a tick
// does anyway, as the same-process yardstick for the AddFrame cost.
// BM_Convert1080pBroadband: a 1080p 30 fps lesson with its sound compressed
// with the built-in broadband profile; reported as a multiple of real time.
// BM_AviPastTwoGigabytes: a lesson file written past 2 GB (OpenDML) and read
// back; reported: write speed, and frames in the file against frames added
// (1.0 = every frame past 2 GB is still there). It writes 2.2 GB, so it runs
// only with TVN_BENCH_LARGE_AVI=1.

#include "media/ffmpeg/AviFrameWriter.h"
#include "media/ffmpeg/EncodingProfile.h"
#include "media/ffmpeg/LessonConverter.h"

#include <QColor>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QThread>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cmath>
#include <sndfile.h>
#include <sys/resource.h>
#include <thread>
#include <vector>

extern "C" {
#include <libavformat/avformat.h>
}

namespace {

constexpr int Width = 1920, Height = 1080, Fps = 30;

// A picture like a lesson's: a clip-like gradient, an athlete-sized shape that
// moves, and drawn lines.
QImage lessonPicture(int i) {
    QImage image(Width, Height, QImage::Format_RGB32);
    QPainter p(&image);
    QLinearGradient g(0, 0, Width, Height);
    g.setColorAt(0, QColor::fromHsv((i * 3) % 360, 120, 200));
    g.setColorAt(1, QColor::fromHsv((i * 3 + 120) % 360, 160, 90));
    p.fillRect(image.rect(), g);
    p.setBrush(QColor(230, 200, 170));
    p.drawEllipse(QPointF(300 + i * 20 % 1300, 540 + 200 * std::sin(i / 10.0)), 120, 260);
    p.setPen(QPen(Qt::yellow, 6));
    p.drawLine(200, 900, 1700, 200 + (i * 7) % 600);
    p.setFont(QFont(QStringLiteral("Liberation Sans"), 40));
    p.drawText(80, 120, QStringLiteral("Frame %1").arg(i));
    return image;
}

// CPU seconds the whole process (every thread) has used.
double processCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

int64_t packetsIn(const QString& file) {
    AVFormatContext* fmt = nullptr;
    if (avformat_open_input(&fmt, file.toUtf8().constData(), nullptr, nullptr) < 0) return -1;
    AVPacket* pkt = av_packet_alloc();
    int64_t n = 0;
    while (av_read_frame(fmt, pkt) >= 0) {
        ++n;
        av_packet_unref(pkt);
    }
    av_packet_free(&pkt);
    avformat_close_input(&fmt);
    return n;
}

void BM_ComposeBaseline1080p(benchmark::State& state) {
    const QImage source = lessonPicture(1);
    for (auto _ : state) {
        QImage copy = source.copy();
        benchmark::DoNotOptimize(copy.bits());
    }
}
BENCHMARK(BM_ComposeBaseline1080p)->Unit(benchmark::kMillisecond);

void BM_Record1080p30(benchmark::State& state) {
    const double seconds = static_cast<double>(state.range(0));
    std::vector<QImage> pictures;
    for (int i = 0; i < 60; ++i) pictures.push_back(lessonPicture(i));
    QTemporaryDir dir;
    int64_t due = 0, inFile = 0, encoded = 0;
    double addSeconds = 0, stopSeconds = 0, cpu = 0;
    for (auto _ : state) {
        const double cpuBefore = processCpuSeconds();
        tvn::AviFrameWriter::Settings s;
        s.fileName = dir.filePath("bench.avi");
        s.width = Width;
        s.height = Height;
        s.fps = Fps;
        tvn::AviFrameWriter writer(s);
        using clock = std::chrono::steady_clock;
        const auto start = clock::now();
        const auto tick = std::chrono::microseconds(1000000 / Fps / 2);
        int64_t written = 0;
        for (int t = 0;; ++t) {
            std::this_thread::sleep_until(start + t * tick);
            const double elapsed = std::chrono::duration<double>(clock::now() - start).count();
            if (elapsed >= seconds) break;
            const QImage& composed = pictures[t % pictures.size()];  // a new picture every tick
            const int64_t dueNow = std::llround(elapsed * Fps);
            const auto before = clock::now();
            for (int64_t i = 0; i <= dueNow - written; ++i) writer.addFrame(composed);
            addSeconds += std::chrono::duration<double>(clock::now() - before).count();
            written = std::max(written, dueNow + 1);
        }
        const auto stopAt = clock::now();
        writer.finish();
        stopSeconds += std::chrono::duration<double>(clock::now() - stopAt).count();
        cpu += processCpuSeconds() - cpuBefore;
        due += written;
        encoded += writer.framesEncoded();
        inFile += packetsIn(s.fileName);
    }
    state.counters["frames_due"] = static_cast<double>(due);
    state.counters["frames_in_file"] = static_cast<double>(inFile);
    state.counters["encoded_share"] = double(encoded) / double(due);
    state.counters["ui_cost_of_period"] = (addSeconds / double(due)) * Fps;
    state.counters["stop_wait_ms"] = 1000 * stopSeconds / double(state.iterations());
    // CPU used per second of lesson, against the encoded share: below 1.0 the
    // encoder fits in one core at this rate.
    state.counters["cpu_per_lesson_second"] = cpu / (seconds * double(state.iterations()));
}
BENCHMARK(BM_Record1080p30)->Arg(5)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

void BM_Convert1080pBroadband(benchmark::State& state) {
    const int seconds = static_cast<int>(state.range(0));
    QTemporaryDir dir;
    tvn::LessonConverter::Job job;
    job.videoFile = dir.filePath("lesson.avi");
    job.audioFile = job.videoFile + ".wav";
    job.outputFile = dir.filePath("lesson.wmv");
    job.profile = tvn::EncodingProfile::broadband();
    {
        tvn::AviFrameWriter::Settings s;
        s.fileName = job.videoFile;
        s.width = Width;
        s.height = Height;
        s.fps = Fps;
        s.queueCapacity = 1 << 20;  // the lesson is made, not timed: encode every picture
        tvn::AviFrameWriter writer(s);
        for (int i = 0; i < seconds * Fps; ++i) writer.addFrame(lessonPicture(i));
        writer.finish();
        SF_INFO info = {};
        info.channels = 2;
        info.samplerate = 44100;
        info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
        SNDFILE* f = sf_open(job.audioFile.toUtf8().constData(), SFM_WRITE, &info);
        std::vector<short> samples(static_cast<size_t>(seconds) * 44100 * 2);
        for (size_t i = 0; i < samples.size() / 2; ++i)
            samples[2 * i] = samples[2 * i + 1] = static_cast<short>(6000 * std::sin(i * 0.1425));
        sf_writef_short(f, samples.data(), samples.size() / 2);
        sf_close(f);
    }
    std::atomic<bool> cancel{false};
    double total = 0, cpu = 0;
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        const double cpuBefore = processCpuSeconds();
        tvn::LessonConverter::run(job, nullptr, cancel);
        cpu += processCpuSeconds() - cpuBefore;
        total += timer.nsecsElapsed() / 1e9;
    }
    state.counters["times_real_time"] = seconds * double(state.iterations()) / total;
    // The same per CPU second used: what one otherwise idle core achieves.
    state.counters["times_real_time_per_cpu"] = seconds * double(state.iterations()) / cpu;
}
BENCHMARK(BM_Convert1080pBroadband)->Arg(10)->Iterations(2)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace

// Drawing text needs a GUI application; benchmarks run offscreen.

void BM_AviPastTwoGigabytes(benchmark::State& state) {
    if (qgetenv("TVN_BENCH_LARGE_AVI") != "1") {
        state.SkipWithError("writes 2.2 GB: set TVN_BENCH_LARGE_AVI=1");
        return;
    }
    QTemporaryDir dir;
    tvn::AviFrameWriter::Settings s;
    s.fileName = dir.filePath("long.avi");
    s.width = Width;
    s.height = Height;
    s.fps = Fps;
    s.codecName = QStringLiteral("huffyuv");  // large frames: few of them reach 2 GB
    const QImage picture = lessonPicture(7);
    int64_t frames = 0;
    QElapsedTimer clock;
    for (auto _ : state) {
        tvn::AviFrameWriter writer(s);
        clock.start();
        while (QFileInfo(s.fileName).size() < (2200ll << 20)) {
            for (int i = 0; i < Fps; ++i, ++frames) writer.addFrame(picture);
            QThread::msleep(20);
        }
        writer.finish();
    }
    const double seconds = clock.elapsed() / 1000.0;
    AVFormatContext* fmt = nullptr;
    int64_t inFile = 0;
    if (avformat_open_input(&fmt, s.fileName.toUtf8().constData(), nullptr, nullptr) >= 0) {
        AVPacket* packet = av_packet_alloc();
        while (av_read_frame(fmt, packet) >= 0) {
            ++inFile;
            av_packet_unref(packet);
        }
        av_packet_free(&packet);
        avformat_close_input(&fmt);
    }
    state.counters["MB_per_s"] = QFileInfo(s.fileName).size() / 1e6 / seconds;
    state.counters["frames_kept"] = double(inFile) / double(frames);
}
BENCHMARK(BM_AviPastTwoGigabytes)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
