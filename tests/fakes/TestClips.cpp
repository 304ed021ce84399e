#include "fakes/TestClips.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPainter>
#include <QProcess>
#include <cmath>
#include <map>
#include <stdexcept>

namespace tvn::testclips {

namespace {
constexpr int kColumns = 4;
constexpr int kRows = 3;
constexpr int kBits = 11;  // the twelfth cell is the marker

QString extensionOf(ClipFormat f) {
    switch (f) {
        case ClipFormat::H264Mp4:
        case ClipFormat::HevcMp4:
        case ClipFormat::H264VfrMp4: return QStringLiteral("mp4");
        case ClipFormat::H264Mov:
        case ClipFormat::HevcMov: return QStringLiteral("mov");
        case ClipFormat::Mpeg4Avi:
        case ClipFormat::MjpegAvi: return QStringLiteral("avi");
        case ClipFormat::Vp8Webm: return QStringLiteral("webm");
        case ClipFormat::Vp9Mkv: return QStringLiteral("mkv");
        case ClipFormat::Mpeg2Ts: return QStringLiteral("ts");
    }
    return {};
}

QStringList videoCodecArgs(ClipFormat f, const ClipOptions& o) {
    const QString g = QString::number(o.keyInterval);
    switch (f) {
        case ClipFormat::H264Mp4:
        case ClipFormat::H264Mov:
        case ClipFormat::H264VfrMp4:
            return {"-c:v", "libx264", "-preset", "veryfast", "-crf", "20", "-bf", "3", "-g", g, "-keyint_min", g,
                    "-sc_threshold", "0", "-pix_fmt", "yuv420p"};
        case ClipFormat::HevcMp4:
        case ClipFormat::HevcMov:
            return {"-c:v", "libx265", "-preset", "ultrafast", "-tag:v", "hvc1", "-pix_fmt", "yuv420p",
                    "-x265-params",
                    QStringLiteral("log-level=error:keyint=%1:min-keyint=%1:scenecut=0:bframes=3").arg(g)};
        case ClipFormat::Mpeg4Avi:
            return {"-c:v", "mpeg4", "-q:v", "3", "-bf", "2", "-g", g, "-pix_fmt", "yuv420p"};
        case ClipFormat::MjpegAvi: return {"-c:v", "mjpeg", "-q:v", "3", "-pix_fmt", "yuvj420p"};
        case ClipFormat::Vp8Webm:
            return {"-c:v", "libvpx", "-b:v", "2M", "-deadline", "realtime", "-cpu-used", "8", "-g", g};
        case ClipFormat::Vp9Mkv:
            return {"-c:v", "libvpx-vp9", "-b:v", "2M", "-deadline", "realtime", "-cpu-used", "8", "-row-mt", "1",
                    "-g", g};
        case ClipFormat::Mpeg2Ts: return {"-c:v", "mpeg2video", "-q:v", "3", "-bf", "2", "-g", "15"};
    }
    return {};
}

QStringList audioCodecArgs(ClipFormat f) {
    switch (f) {
        case ClipFormat::Mpeg4Avi:
        case ClipFormat::MjpegAvi: return {"-c:a", "pcm_s16le"};
        case ClipFormat::Vp8Webm:
        case ClipFormat::Vp9Mkv: return {"-c:a", "libopus"};
        case ClipFormat::Mpeg2Ts: return {"-c:a", "mp2"};
        default: return {"-c:a", "aac"};
    }
}

// The frame code as drawbox filters over a black picture, each cell switched on
// by its bit of the frame number n.
QString codeFilter() {
    QString f = QStringLiteral("format=yuv420p");
    for (int k = 0; k < kColumns * kRows; ++k) {
        const QString enable = k == kBits ? QStringLiteral("1") : QStringLiteral("bitand(n\\,%1)").arg(1 << k);
        f += QStringLiteral(",drawbox=x=%1*iw/%2:y=%3*ih/%4:w=iw/%2+1:h=ih/%4+1:color=white:t=fill:enable='%5'")
                 .arg(k % kColumns)
                 .arg(kColumns)
                 .arg(k / kColumns)
                 .arg(kRows)
                 .arg(enable);
    }
    return f;
}
}  // namespace

QTemporaryDir& testFolder() {
    static QTemporaryDir dir;
    return dir;
}

std::vector<ClipFormat> allClipFormats() {
    return {ClipFormat::H264Mp4, ClipFormat::H264Mov, ClipFormat::HevcMp4, ClipFormat::HevcMov,
            ClipFormat::Mpeg4Avi, ClipFormat::MjpegAvi, ClipFormat::Vp8Webm, ClipFormat::Vp9Mkv,
            ClipFormat::Mpeg2Ts, ClipFormat::H264VfrMp4};
}

QString formatName(ClipFormat f) {
    switch (f) {
        case ClipFormat::H264Mp4: return QStringLiteral("h264-mp4");
        case ClipFormat::H264Mov: return QStringLiteral("h264-mov");
        case ClipFormat::HevcMp4: return QStringLiteral("hevc-mp4");
        case ClipFormat::HevcMov: return QStringLiteral("hevc-mov");
        case ClipFormat::Mpeg4Avi: return QStringLiteral("mpeg4-avi");
        case ClipFormat::MjpegAvi: return QStringLiteral("mjpeg-avi");
        case ClipFormat::Vp8Webm: return QStringLiteral("vp8-webm");
        case ClipFormat::Vp9Mkv: return QStringLiteral("vp9-mkv");
        case ClipFormat::Mpeg2Ts: return QStringLiteral("mpeg2-ts");
        case ClipFormat::H264VfrMp4: return QStringLiteral("h264-vfr-mp4");
    }
    return {};
}

double frameStartMs(ClipFormat format, const ClipOptions& o, int n) {
    if (format != ClipFormat::H264VfrMp4) return n * 1000.0 / o.fps;
    const int half = o.frames / 2;
    if (n < half) return n * 1000.0 / o.fps;
    return half * 1000.0 / o.fps + (n - half) * 2000.0 / o.fps;
}

QString makeClip(const QString& folder, ClipFormat format, const ClipOptions& o, const QString& baseName) {
    const QString name = (baseName.isEmpty() ? formatName(format) : baseName) + "." + extensionOf(format);
    const QString path = QDir(folder).filePath(name);
    const double seconds = frameStartMs(format, o, o.frames) / 1000.0;
    QStringList args{"-v", "error", "-y", "-f", "lavfi", "-i",
                     QStringLiteral("color=c=black:s=%1x%2:r=%3").arg(o.width).arg(o.height).arg(o.fps)};
    if (o.audio)
        args << "-f" << "lavfi" << "-i" << QStringLiteral("sine=frequency=440:duration=%1").arg(seconds + 1.0);
    QString filter = codeFilter();
    if (format == ClipFormat::H264VfrMp4) {
        const int half = o.frames / 2;
        filter += QStringLiteral(",setpts='if(lt(N,%1),N,%1+2*(N-%1))/(%2*TB)'").arg(half).arg(o.fps);
    }
    args << "-vf" << filter << "-frames:v" << QString::number(o.frames);
    args << videoCodecArgs(format, o);
    if (format == ClipFormat::H264VfrMp4) args << "-fps_mode" << "vfr";
    if (o.audio) args << audioCodecArgs(format);
    args << path;

    // Every test runs in a process of its own, so the same clip would be encoded
    // again and again: keep each one made in a shared cache, keyed by its
    // recipe, and hand out a copy (a test may damage its clip).
    QStringList recipe = args;
    recipe.removeLast();
    const QString key = QString::fromLatin1(
        QCryptographicHash::hash(recipe.join(QLatin1Char('\n')).toUtf8(), QCryptographicHash::Sha1).toHex());
    const QString cacheDir = QDir::temp().filePath(QStringLiteral("trelvan-test-clips"));
    QDir().mkpath(cacheDir);
    const QString cached = QDir(cacheDir).filePath(key + "." + extensionOf(format));
    if (!QFileInfo::exists(cached)) {
        // Made under a name of its own and renamed, so parallel tests never see half a clip.
        const QString partial = QStringLiteral("%1.%2.partial.%3")
                                    .arg(cached)
                                    .arg(QCoreApplication::applicationPid())
                                    .arg(extensionOf(format));
        args.last() = partial;
        QProcess p;
        p.start(QStringLiteral("ffmpeg"), args);
        if (!p.waitForFinished(120000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
            p.kill();
            QFile::remove(partial);
            throw std::runtime_error(("ffmpeg could not make " + path + ": " + QString::fromUtf8(p.readAllStandardError()))
                                         .toStdString());
        }
        if (!QFile::rename(partial, cached)) QFile::remove(partial);  // another process was first
    }
    QFile::remove(path);
    if (!QFile::copy(cached, path))
        throw std::runtime_error(("could not copy the cached clip to " + path).toStdString());
    QFile(path).setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup |
                               QFileDevice::ReadOther);
    return path;
}

QString clip(ClipFormat format, const ClipOptions& o) {
    static std::map<QString, QString> made;
    const QString name = QStringLiteral("%1-%2x%3-%4fps-%5-k%6%7")
                             .arg(formatName(format))
                             .arg(o.width)
                             .arg(o.height)
                             .arg(o.fps)
                             .arg(o.frames)
                             .arg(o.keyInterval)
                             .arg(o.audio ? "-sound" : "");
    auto it = made.find(name);
    if (it == made.end()) it = made.emplace(name, makeClip(testFolder().path(), format, o, name)).first;
    return it->second;
}

QImage solid(int width, int height, QColor colour) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

double toneShare(const std::vector<int16_t>& s, double hz, double sampleRate) {
    const double c = 2 * std::cos(2 * M_PI * hz / sampleRate);
    double s1 = 0, s2 = 0, total = 0;
    for (int16_t v : s) {
        const double s0 = v + c * s1 - s2;
        s2 = s1;
        s1 = s0;
        total += double(v) * v;
    }
    return total > 0 ? 2 * (s1 * s1 + s2 * s2 - c * s1 * s2) / (total * s.size()) : 0;
}

void setDisplayRotation(const QString& clip, int clockwiseDegrees) {
    QFile file(clip);
    if (!file.open(QIODevice::ReadWrite)) throw std::runtime_error("cannot open " + clip.toStdString());
    QByteArray data = file.readAll();
    // The first track header is the video's (the clips put video first).
    const qsizetype box = data.indexOf("tkhd");
    if (box < 0) throw std::runtime_error("no track header in " + clip.toStdString());
    const bool version1 = data[box + 4] == 1;
    // version/flags, times, track id, reserved, duration, reserved, layer, group, volume, reserved
    const qsizetype matrix = box + 4 + 4 + (version1 ? 16 : 8) + 4 + 4 + (version1 ? 8 : 4) + 8 + 8;
    const int c = clockwiseDegrees == 180 ? -1 : clockwiseDegrees % 180 == 0 ? 1 : 0;
    const int s = clockwiseDegrees == 90 ? 1 : clockwiseDegrees == 270 ? -1 : 0;
    const int32_t values[9] = {c * 0x10000, s * 0x10000, 0, -s * 0x10000, c * 0x10000, 0, 0, 0, 0x40000000};
    for (int i = 0; i < 9; ++i)
        for (int b = 0; b < 4; ++b) data[matrix + i * 4 + b] = char((uint32_t(values[i]) >> (24 - 8 * b)) & 0xFF);
    file.seek(0);
    file.write(data);
}

int frameNumber(const QImage& image) {
    if (image.isNull()) return -1;
    int n = 0;
    for (int k = 0; k < kColumns * kRows; ++k) {
        const int cx = k % kColumns;
        const int cy = k / kColumns;
        const int x = (2 * cx + 1) * image.width() / (2 * kColumns);
        const int y = (2 * cy + 1) * image.height() / (2 * kRows);
        const int luma = qGray(image.pixel(x, y));
        const bool white = luma > 170;
        if (!white && luma >= 85) return -1;
        if (k == kBits) {
            if (!white) return -1;
        } else if (white) {
            n |= 1 << k;
        }
    }
    return n;
}

QImage frameCodeImage(int n, int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::black);
    QPainter painter(&image);
    for (int k = 0; k < kColumns * kRows; ++k) {
        const bool white = k == kBits || (n >> k) & 1;
        const int x0 = (k % kColumns) * width / kColumns;
        const int x1 = (k % kColumns + 1) * width / kColumns;
        const int y0 = (k / kColumns) * height / kRows;
        const int y1 = (k / kColumns + 1) * height / kRows;
        painter.fillRect(x0, y0, x1 - x0, y1 - y0, white ? Qt::white : Qt::black);
    }
    return image;
}

}  // namespace tvn::testclips
