#include "fakes/TestClips.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <algorithm>
#include <cmath>
#include <map>
#include <stdexcept>
#include <tuple>

namespace tvn::testclips {

namespace {
constexpr int kColumns = 4;
constexpr int kRows = 3;
constexpr int kBits = 11;  // the twelfth cell is the marker

// How each format is made: its name, file extension, and video and sound
// encoder arguments ("%1" is the keyframe interval).
struct Recipe {
    ClipFormat format;
    const char *name, *extension, *video, *audio;
};
const Recipe kRecipes[] = {
    {ClipFormat::H264Mp4, "h264-mp4", "mp4", "libx264 -preset veryfast -crf 20 -bf 3 -g %1 -keyint_min %1 -sc_threshold 0 -pix_fmt yuv420p", "aac"},
    {ClipFormat::H264Mov, "h264-mov", "mov", "libx264 -preset veryfast -crf 20 -bf 3 -g %1 -keyint_min %1 -sc_threshold 0 -pix_fmt yuv420p", "aac"},
    {ClipFormat::HevcMp4, "hevc-mp4", "mp4", "libx265 -preset ultrafast -tag:v hvc1 -pix_fmt yuv420p -x265-params log-level=error:keyint=%1:min-keyint=%1:scenecut=0:bframes=3", "aac"},
    {ClipFormat::HevcMov, "hevc-mov", "mov", "libx265 -preset ultrafast -tag:v hvc1 -pix_fmt yuv420p -x265-params log-level=error:keyint=%1:min-keyint=%1:scenecut=0:bframes=3", "aac"},
    {ClipFormat::Mpeg4Avi, "mpeg4-avi", "avi", "mpeg4 -q:v 3 -bf 2 -g %1 -pix_fmt yuv420p", "pcm_s16le"},
    {ClipFormat::MjpegAvi, "mjpeg-avi", "avi", "mjpeg -q:v 3 -pix_fmt yuvj420p", "pcm_s16le"},
    {ClipFormat::Vp8Webm, "vp8-webm", "webm", "libvpx -b:v 2M -deadline realtime -cpu-used 8 -g %1", "libopus"},
    {ClipFormat::Vp9Mkv, "vp9-mkv", "mkv", "libvpx-vp9 -b:v 2M -deadline realtime -cpu-used 8 -row-mt 1 -g %1", "libopus"},
    {ClipFormat::Mpeg2Ts, "mpeg2-ts", "ts", "mpeg2video -q:v 3 -bf 2 -g 15", "mp2"},
    {ClipFormat::H264VfrMp4, "h264-vfr-mp4", "mp4", "libx264 -preset veryfast -crf 20 -bf 3 -g %1 -keyint_min %1 -sc_threshold 0 -pix_fmt yuv420p -fps_mode vfr", "aac"},
    {ClipFormat::ProResMov, "prores-mov", "mov", "prores_ks -profile:v 3 -pix_fmt yuv422p10le", "pcm_s16le"},
    {ClipFormat::DnxhrMov, "dnxhr-mov", "mov", "dnxhd -profile:v dnxhr_lb -pix_fmt yuv422p", "pcm_s16le"},
    {ClipFormat::Av1Mkv, "av1-mkv", "mkv", "libaom-av1 -cpu-used 8 -usage realtime -crf 20 -g %1 -pix_fmt yuv420p", "libopus"},
    {ClipFormat::Ffv1Mkv, "ffv1-mkv", "mkv", "ffv1 -pix_fmt yuv420p", "flac"},
    {ClipFormat::RawAvi, "raw-avi", "avi", "rawvideo -pix_fmt yuv420p", "pcm_s16le"},
};
constexpr size_t kEveryTestFormats = 10;

const Recipe& recipe(ClipFormat f) { return *std::find_if(std::begin(kRecipes), std::end(kRecipes), [f](const Recipe& r) { return r.format == f; }); }

// The frame code as drawbox filters over a black picture, each cell switched on
// by its bit of the frame number n.
QString codeFilter() {
    QString f = QStringLiteral("format=yuv420p");
    for (int k = 0; k < kColumns * kRows; ++k) {
        const QString enable = k == kBits ? QStringLiteral("1") : QStringLiteral("bitand(n\\,%1)").arg(1 << k);
        f += QStringLiteral(",drawbox=x=%1*iw/%2:y=%3*ih/%4:w=iw/%2+1:h=ih/%4+1:color=white:t=fill:enable='%5'")
                 .arg(k % kColumns).arg(kColumns).arg(k / kColumns).arg(kRows).arg(enable);
    }
    return f;
}
}  // namespace

QTemporaryDir& testFolder() {
    static QTemporaryDir dir;
    return dir;
}

std::vector<ClipFormat> allClipFormats() {
    std::vector<ClipFormat> all;
    for (size_t i = 0; i < kEveryTestFormats; ++i) all.push_back(kRecipes[i].format);
    return all;
}

QString formatName(ClipFormat f) { return QLatin1String(recipe(f).name); }

double frameStartMs(ClipFormat format, const ClipOptions& o, int n) {
    if (format != ClipFormat::H264VfrMp4) return n * 1000.0 / o.fps;
    const int half = o.frames / 2;
    if (n < half) return n * 1000.0 / o.fps;
    return half * 1000.0 / o.fps + (n - half) * 2000.0 / o.fps;
}

QString makeClip(const QString& folder, ClipFormat format, const ClipOptions& o, const QString& baseName) {
    const Recipe& r = recipe(format);
    const QString name = (baseName.isEmpty() ? formatName(format) : baseName) + "." + r.extension;
    const QString path = QDir(folder).filePath(name);
    const double seconds = frameStartMs(format, o, o.frames) / 1000.0;
    QStringList args{"-v", "error", "-y", "-f", "lavfi", "-i",
                     // The colour source makes even sizes only: an odd one is scaled to.
                     QStringLiteral("color=c=black:s=%1x%2:r=%3").arg(o.width + o.width % 2).arg(o.height + o.height % 2).arg(o.rate ? QString::fromLatin1(o.rate) : QString::number(o.fps))};
    if (o.audio)
        args << "-f" << "lavfi" << "-i" << QStringLiteral("sine=frequency=440:duration=%1").arg(seconds + 1.0);
    QString filter = codeFilter();
    if (o.width % 2 || o.height % 2) filter = QStringLiteral("scale=%1:%2,setsar=1,").arg(o.width).arg(o.height) + filter;
    if (format == ClipFormat::H264VfrMp4) {
        const int half = o.frames / 2;
        filter += QStringLiteral(",setpts='if(lt(N,%1),N,%1+2*(N-%1))/(%2*TB)'").arg(half).arg(o.fps);
    }
    args << "-vf" << filter << "-frames:v" << QString::number(o.frames);
    QString videoArgs = QString::fromLatin1(r.video);
    if (videoArgs.contains(QLatin1String("%1"))) videoArgs = videoArgs.arg(o.keyInterval);
    QStringList video = videoArgs.split(' ');
    if (o.pixelFormat) {
        const qsizetype at = video.indexOf(QStringLiteral("-pix_fmt"));
        if (at >= 0) video.remove(at, 2);
        video << "-pix_fmt" << QString::fromLatin1(o.pixelFormat);
    }
    args << "-c:v" << video;
    if (o.audio) args << "-c:a" << r.audio;
    if (o.indexFirst) args << "-movflags" << "+faststart";
    if (o.timescale) args << "-video_track_timescale" << QString::number(o.timescale);
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
    const QString cached = QDir(cacheDir).filePath(key + "." + QLatin1String(r.extension));
    if (!QFileInfo::exists(cached)) {
        // Made under a name of its own and renamed, so parallel tests never see half a clip.
        const QString partial = QStringLiteral("%1.%2.partial.%3")
                                    .arg(cached)
                                    .arg(QCoreApplication::applicationPid())
                                    .arg(QLatin1String(r.extension));
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
    using Key = std::tuple<ClipFormat, int, int, int, int, int, bool, bool, QString, QString, int>;
    static std::map<Key, QString> made;
    const Key key{format,        o.frames, o.fps,        o.width,
                  o.height,      o.keyInterval, o.audio, o.indexFirst,
                  QString::fromLatin1(o.pixelFormat), QString::fromLatin1(o.rate), o.timescale};
    auto it = made.find(key);
    if (it == made.end()) {
        const QString name = QStringLiteral("%1-%2").arg(formatName(format)).arg(made.size());
        it = made.emplace(key, makeClip(testFolder().path(), format, o, name)).first;
    }
    return it->second;
}

QString writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        throw std::runtime_error("cannot write " + path.toStdString());
    return path;
}

QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QImage solid(int width, int height, QColor colour) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

double toneShare(const std::vector<int16_t>& s, double hz, double sampleRate) {
    // Over 50 ms windows, averaged: a splice (time stretching, a late block on a
    // loaded machine) breaks the phase of one window only.
    const size_t window = std::min(s.size(), size_t(sampleRate / 20));
    const double c = 2 * std::cos(2 * M_PI * hz / sampleRate);
    double sum = 0;
    size_t windows = 0;
    for (size_t from = 0; window > 0 && from + window <= s.size(); from += window, ++windows) {
        double s1 = 0, s2 = 0, total = 0;
        for (size_t i = from; i < from + window; ++i) {
            const double s0 = s[i] + c * s1 - s2;
            s2 = s1;
            s1 = s0;
            total += double(s[i]) * s[i];
        }
        sum += total > 0 ? 2 * (s1 * s1 + s2 * s2 - c * s1 * s2) / (total * window) : 0;
    }
    return windows ? sum / windows : 0;
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
        const int x = (2 * (k % kColumns) + 1) * image.width() / (2 * kColumns);
        const int y = (2 * (k / kColumns) + 1) * image.height() / (2 * kRows);
        const int luma = qGray(image.pixel(x, y));
        if (luma >= 85 && luma <= 170) return -1;  // neither clearly black nor white
        if (k == kBits && luma < 85) return -1;    // no marker
        if (k != kBits && luma > 170) n |= 1 << k;
    }
    return n;
}

}  // namespace tvn::testclips
