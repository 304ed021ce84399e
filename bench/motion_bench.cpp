// Motion tracking: speed on 1080p H.264 footage and accuracy on synthetic clips
// whose truth is known (bench/support/MarkerClip.h). The clips are made on first
// use and kept in <temp>/trelvan-bench-motion.
//
// Throughput: three points (the moving marker and two places on the background)
// tracked forward through 300 frames of a 1080p H.264 clip at 10 Mbit/s with
// sensor noise, decoding included, against plain FFmpeg decoding of the same
// frames in the same run (no conversion), and the clip decoder stepping through
// them with RGB32 pictures (what tracking would pay without grayscale) and with
// grayscale ones (tracking's decoding alone).
// Counters: track_fps, decode_fps, rgb_fps, gray_fps, x_decode (tracking time
// over plain decoding time), track_cpu_ms, decode_cpu_ms, rgb_cpu_ms and
// gray_cpu_ms (processor time per frame, all threads: on a shared machine the
// wall-clock rates say more about the other programs than about this one),
// x_decode_cpu (their ratio for tracking), lost (points lost; should be 0).
// Goal: track_fps >= 100.
//
// Worker/1080p: the same through the tracking worker while this thread's event
// loop runs a 1 ms timer. Counters: ui_max_gap_ms (longest gap between its ticks:
// how long the UI thread was kept from its work; a loaded machine's scheduler
// adds to it), track_fps. Goal: ui_max_gap_ms below one frame period (33 ms).
//
// Accuracy/<cfr|vfr>: the marker followed from frame 0 through 300 frames of a
// 640x360 clip (constant rate, and the variable-rate variant). Counters: median_px
// and max_px (distance from the true centre), speed_median_pct and speed_max_pct
// (calibrated speed, Savitzky-Golay with the default window and order, against the true speed;
// 100 px = 1 m; where the window is centred), speed_end_max_pct (the same within
// half a window of the track's ends, where the window is one-sided), time_err_ms (largest difference between a sample's time and the
// frame's true time), tracked (frames followed). Goals: median <= 0.5 px, max <= 2 px,
// speed within 2 %.
//
// Hidden/<cfr|vfr>: the same with the marker not drawn on frames 150 to 159.
// Counters: lost_after (frames from the first hidden frame to the reported loss;
// 0 = on that frame, -1 = never reported), followed_hidden (samples given on
// hidden frames: each one a position on the background), max_px (before the
// loss). Goal: lost_after <= 3, followed_hidden = 0.
//
// Occluded/<cfr|vfr>: the marker slides under a textured bar from the side
// (MarkerClip::occluderWidth) over about ten frames and stays under it for about
// a dozen. Counters: lost_after (frames from the first frame it is half covered
// to the reported loss; negative: lost before that), lost_covered_pct (how much
// of it was covered on the frame it was reported lost), followed_covered
// (samples given on frames where three quarters or more of it is covered),
// max_px (error while less than half covered). Goal: lost_after <= 3,
// followed_covered = 0.

#include "media/ffmpeg/ClipDecoder.h"
#include "motion/Kinematics.h"
#include "motion/TrackingRun.h"
#include "motion/TrackingWorker.h"
#include "support/BaselinePlayer.h"
#include "support/MarkerClip.h"

#include <QDir>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <cmath>
#include <ctime>

using namespace tvn;
using namespace tvn::motion;
using bench::MarkerClip;
using bench::timeMs;

namespace {

QString cachePath(const QString& name) {
    return QDir(QDir::temp().filePath(QStringLiteral("trelvan-bench-motion"))).filePath(name);
}

MarkerClip hdClip() {
    MarkerClip c;
    c.width = 1920;
    c.height = 1080;
    c.size = 48;
    c.radius = 300;
    c.noise = 10;
    c.supersample = 1;
    c.encoder = {"-c:v", "libx264", "-preset", "veryfast", "-b:v", "10M", "-maxrate", "12M", "-bufsize", "20M"};
    return c;
}

MarkerClip accuracyClip(bool variableRate, bool hidden, bool occluded = false) {
    MarkerClip c;
    c.width = 640;
    c.height = 360;
    c.radius = 120;
    c.radiansPerSecond = 1.5;
    c.noise = 3;
    c.variableRate = variableRate;
    if (hidden) {
        c.hiddenFrom = 150;
        c.hiddenFrames = 10;
    }
    if (occluded) c.occluderWidth = 40;
    return c;
}

QString clipName(const MarkerClip& c) {
    return QStringLiteral("marker-%1x%2-%3%4.mp4")
        .arg(c.width).arg(c.height).arg(c.variableRate ? "vfr" : "cfr")
        .arg(c.hiddenFrom >= 0 ? "-hidden" : c.occluderWidth > 0 ? "-occluded" : "");
}

// Plain FFmpeg: demux and decode every frame, nothing else. Returns the frame count.
int64_t decodeAll(const QString& path) {
    AVFormatContext* raw = nullptr;
    if (avformat_open_input(&raw, path.toUtf8().constData(), nullptr, nullptr) < 0) return 0;
    ff::FormatPtr format(raw);
    avformat_find_stream_info(format.get(), nullptr);
    const AVCodec* decoder = nullptr;
    const int stream = av_find_best_stream(format.get(), AVMEDIA_TYPE_VIDEO, -1, -1, &decoder, 0);
    ff::CodecPtr codec(avcodec_alloc_context3(decoder));
    avcodec_parameters_to_context(codec.get(), format->streams[stream]->codecpar);
    codec->thread_count = 0;
    codec->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
    avcodec_open2(codec.get(), decoder, nullptr);
    ff::PacketPtr packet = ff::makePacket();
    ff::FramePtr frame = ff::makeFrame();
    int64_t frames = 0;
    bool flushed = false;
    for (;;) {
        const int r = avcodec_receive_frame(codec.get(), frame.get());
        if (r == 0) {
            ++frames;
            continue;
        }
        if (r == AVERROR_EOF || flushed) break;
        if (av_read_frame(format.get(), packet.get()) < 0) {
            avcodec_send_packet(codec.get(), nullptr);
            flushed = true;
            continue;
        }
        if (packet->stream_index == stream) avcodec_send_packet(codec.get(), packet.get());
        av_packet_unref(packet.get());
    }
    return frames;
}

// CPU time of the whole process (every thread: the decoder's too), ms.
double cpuMs() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1000.0 + double(t.tv_nsec) / 1e6;
}

// Wall and CPU time of body, added to wall and cpu.
template <class F>
void timed(double& wall, double& cpu, F&& body) {
    const double c0 = cpuMs();
    wall += timeMs(body);
    cpu += cpuMs() - c0;
}

void throughput(benchmark::State& state) {
    const MarkerClip clip = hdClip();
    const QString path = clip.make(cachePath(clipName(clip)));
    TrackingRequest request;
    request.clip = path;
    request.points = {clip.centre(0), {200.5, 200.5}, {1500.5, 900.5}};
    double trackMs = 0, decodeMs = 0, rgbMs = 0, grayMs = 0, trackCpu = 0, decodeCpu = 0, rgbCpu = 0, grayCpu = 0;
    int64_t tracked = 0, decoded = 0, converted = 0, grays = 0, lost = 0;
    const std::atomic<bool> cancel{false};
    for (auto _ : state) {
        timed(decodeMs, decodeCpu, [&] { decoded += decodeAll(path); });
        TrackingResult result;
        timed(trackMs, trackCpu, [&] { result = TrackingRun::run(request, nullptr, cancel); });
        int64_t frames = 0;
        for (const Track& t : result.tracks) {
            frames = std::max<int64_t>(frames, int64_t(t.samples.size()));
            lost += t.loss ? 1 : 0;
        }
        tracked += frames;
        for (const bool gray : {false, true}) {
            timed(gray ? grayMs : rgbMs, gray ? grayCpu : rgbCpu, [&, gray] {
                int64_t& count = gray ? grays : converted;
                ClipDecoder d;
                d.setCacheBudget(0);
                d.setGrayscale(gray);
                d.open(path);
                for (++count; !d.atLastFrame(); ++count) d.stepForward();
            });
        }
    }
    state.counters["track_fps"] = double(tracked) / (trackMs / 1000.0);
    state.counters["decode_fps"] = double(decoded) / (decodeMs / 1000.0);
    state.counters["rgb_fps"] = double(converted) / (rgbMs / 1000.0);
    state.counters["gray_fps"] = double(grays) / (grayMs / 1000.0);
    state.counters["x_decode"] = trackMs / decodeMs;
    state.counters["track_cpu_ms"] = trackCpu / double(tracked);
    state.counters["decode_cpu_ms"] = decodeCpu / double(decoded);
    state.counters["rgb_cpu_ms"] = rgbCpu / double(converted);
    state.counters["gray_cpu_ms"] = grayCpu / double(grays);
    state.counters["x_decode_cpu"] = state.counters["track_cpu_ms"] / state.counters["decode_cpu_ms"];
    state.counters["lost"] = double(lost) / double(state.iterations());
}

// The same tracking through the worker while the event loop of this (the UI)
// thread runs a 1 ms timer: the longest gap between its ticks is how long the
// UI thread was kept from its work (by the queued progress and the result, and
// by the machine's other programs: a gap this thread was not scheduled in counts too).
void worker(benchmark::State& state) {
    const MarkerClip clip = hdClip();
    motion::TrackingRequest request;
    request.clip = clip.make(cachePath(clipName(clip)));
    request.points = {clip.centre(0), {200.5, 200.5}, {1500.5, 900.5}};
    double longest = 0, trackMs = 0;
    int64_t frames = 0;
    for (auto _ : state) {
        TrackingWorker w;
        QEventLoop loop;
        QObject::connect(&w, &TrackingWorker::finished, &loop, [&](quint64, const TrackingResult& r) {
            frames += int64_t(r.tracks.at(0).samples.size());
            loop.quit();
        });
        QObject::connect(&w, &TrackingWorker::failed, &loop, &QEventLoop::quit);
        QTimer tick;
        auto last = bench::Clock::now();
        QObject::connect(&tick, &QTimer::timeout, [&] {
            const auto now = bench::Clock::now();
            longest = std::max(longest, std::chrono::duration<double, std::milli>(now - last).count());
            last = now;
        });
        tick.start(1);
        trackMs += timeMs([&] {
            w.track(request);
            loop.exec();
        });
    }
    state.counters["ui_max_gap_ms"] = longest;
    state.counters["track_fps"] = double(frames) / (trackMs / 1000.0);
}

double median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::nth_element(v.begin(), v.begin() + long(v.size() / 2), v.end());
    return v[v.size() / 2];
}

Track follow(const MarkerClip& clip) {
    TrackingRequest request;
    request.clip = clip.make(cachePath(clipName(clip)));
    request.points = {clip.centre(0)};
    const std::atomic<bool> cancel{false};
    return TrackingRun::run(request, nullptr, cancel).tracks.at(0);
}

void accuracy(benchmark::State& state, bool variableRate) {
    const MarkerClip clip = accuracyClip(variableRate, false);
    Track track;
    for (auto _ : state) track = follow(clip);
    std::vector<double> errors, speedErrors, endErrors;
    double timeErr = 0;
    for (const TrackSample& s : track.samples) {
        const QPointF d = s.position() - clip.centre(s.frame);
        errors.push_back(std::hypot(d.x(), d.y()));
        timeErr = std::max(timeErr, std::abs(s.timeMs - clip.seconds(s.frame) * 1000.0));
    }
    const Calibration metres = Calibration::fromScale({0, 0}, {100, 0}, 1.0, "m");
    const Smoothing smoothing;
    const std::vector<KinematicSample> kinematics = Kinematics::of(track, metres, smoothing);
    for (size_t i = 0; i < kinematics.size(); ++i) {
        // Within half a window of a track's ends the window cannot be centred.
        const bool end = std::min(i, kinematics.size() - 1 - i) < size_t(smoothing.window / 2);
        (end ? endErrors : speedErrors).push_back(std::abs(kinematics[i].speed / (clip.speed() / 100.0) - 1.0) * 100.0);
    }
    state.counters["median_px"] = median(errors);
    state.counters["max_px"] = errors.empty() ? 0 : *std::max_element(errors.begin(), errors.end());
    state.counters["speed_median_pct"] = median(speedErrors);
    state.counters["speed_max_pct"] = speedErrors.empty() ? 0 : *std::max_element(speedErrors.begin(), speedErrors.end());
    state.counters["speed_end_max_pct"] = endErrors.empty() ? 0 : *std::max_element(endErrors.begin(), endErrors.end());
    state.counters["time_err_ms"] = timeErr;
    state.counters["tracked"] = double(track.samples.size());
}

void hidden(benchmark::State& state, bool variableRate) {
    const MarkerClip clip = accuracyClip(variableRate, true);
    Track track;
    for (auto _ : state) track = follow(clip);
    double maxPx = 0;
    int onHidden = 0;
    for (const TrackSample& s : track.samples) {
        onHidden += clip.hidden(s.frame) ? 1 : 0;
        if (s.frame < clip.hiddenFrom) {
            const QPointF d = s.position() - clip.centre(s.frame);
            maxPx = std::max(maxPx, std::hypot(d.x(), d.y()));
        }
    }
    state.counters["lost_after"] = track.loss ? double(track.loss->frame - clip.hiddenFrom) : -1.0;
    state.counters["followed_hidden"] = onHidden;
    state.counters["max_px"] = maxPx;
}

void occluded(benchmark::State& state, bool variableRate) {
    const MarkerClip clip = accuracyClip(variableRate, false, true);
    Track track;
    for (auto _ : state) track = follow(clip);
    int half = -1;
    for (int n = 0; n < clip.frames && half < 0; ++n) half = clip.covered(n) >= 0.5 ? n : -1;
    double maxPx = 0;
    int onCovered = 0;
    for (const TrackSample& s : track.samples) {
        onCovered += clip.covered(s.frame) >= 0.75 ? 1 : 0;
        if (clip.covered(s.frame) < 0.5) {
            const QPointF d = s.position() - clip.centre(s.frame);
            maxPx = std::max(maxPx, std::hypot(d.x(), d.y()));
        }
    }
    state.counters["lost_after"] = track.loss ? double(track.loss->frame - half) : -100.0;
    state.counters["lost_covered_pct"] = track.loss ? clip.covered(track.loss->frame) * 100 : -1.0;
    state.counters["followed_covered"] = onCovered;
    state.counters["max_px"] = maxPx;
}

const bool kRegistered = [] {
    benchmark::RegisterBenchmark("Throughput/1080p", throughput)->Iterations(2)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("Worker/1080p", worker)->Iterations(1)->Unit(benchmark::kMillisecond);
    for (bool vfr : {false, true}) {
        const char* rate = vfr ? "vfr" : "cfr";
        benchmark::RegisterBenchmark((std::string("Accuracy/") + rate).c_str(), accuracy, vfr)
            ->Iterations(1)->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark((std::string("Hidden/") + rate).c_str(), hidden, vfr)
            ->Iterations(1)->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark((std::string("Occluded/") + rate).c_str(), occluded, vfr)
            ->Iterations(1)->Unit(benchmark::kMillisecond);
    }
    return true;
}();

}  // namespace
