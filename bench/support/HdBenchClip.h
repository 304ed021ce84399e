#pragma once

// The 1080p clip the engine and memory benchmarks share: 1920x1080 H.264 of
// FFmpeg's testsrc2, B-frames, a keyframe every 250 frames, 500 frames at
// 25 fps. Made once with the ffmpeg command-line tool into /tmp and kept there
// for later runs (written under a temporary name and renamed when complete).

#include <QFile>
#include <QProcess>
#include <QString>

namespace tvn::bench {

struct HdBenchClip {
    static constexpr int kFrames = 500;
    static constexpr int kFps = 25;
    static constexpr int kKeyInterval = 250;

    static QString path() {
        static const QString made = [] {
            const QString p = QStringLiteral("/tmp/trelvan-bench-1080p-gop250.mp4");
            if (!QFile::exists(p)) {
                const QString key = QString::number(kKeyInterval);
                QProcess::execute("ffmpeg", {"-v", "error", "-y", "-f", "lavfi", "-i",
                                             QStringLiteral("testsrc2=s=1920x1080:r=%1").arg(kFps), "-frames:v",
                                             QString::number(kFrames), "-c:v", "libx264", "-preset", "veryfast", "-bf",
                                             "3", "-g", key, "-keyint_min", key, "-sc_threshold", "0", "-pix_fmt",
                                             "yuv420p", p + ".part.mp4"});
                QFile::rename(p + ".part.mp4", p);
            }
            return p;
        }();
        return made;
    }
};

}  // namespace tvn::bench
