#include "media/ffmpeg/ClipDecoder.h"

#include "core/TvnError.h"
#include "media/ffmpeg/ClipDemuxer.h"
#include "media/ffmpeg/FrameCounter.h"
#include "media/ffmpeg/FrameRun.h"
#include "media/ffmpeg/PictureConverter.h"

#include <algorithm>
#include <cmath>
#include <unistd.h>

namespace tvn {

namespace {
// No camera stores frames shorter than this; a clip whose frames are is one whose
// header states a damaged rate (found by scripts/fuzz: an AVI at 16777216 fps).
constexpr double kShortestFrameMs = 1.0;
}  // namespace

// The parts, each in its own class: the demuxer and decoder (ClipDemuxer), the
// decoded-frame run with its seek strategy and decode-behind (FrameRun), the
// conversion to what is shown (PictureConverter) and, at open, the frame
// counting (FrameCounter).
struct ClipDecoder::Impl {
    ClipDemuxer clip;
    PictureConverter pictures;
    FrameRun run{clip, &pictures};  // declared last: its decode-behind worker stops first
    ClipInfo info;
    int64_t endPts = 0;  // where the last frame ends, stream time
    int threads = 0;

    void open(const QString& file);
    void describe();
    void close() {
        run.close();
        pictures.reset();
        clip.close();
        info = {};
        endPts = 0;
    }
};

void ClipDecoder::Impl::open(const QString& file) {
    clip.open(file, threads);
    run.startAtFirstPicture();
    describe();
    const FrameCounter::Count count = FrameCounter(clip).count();
    if (count.rewound) run.restartAtFirstPicture();
    endPts = count.endPts;
    run.setKeyInterval(count.keyInterval);
    info.frameCount = double(count.frames);
    info.missingFrames = double(count.missing);
    info.durationMs = clip.toMs(endPts - clip.firstPts());
    // Its frames would have no usable positions or numbers: refused with the reason,
    // instead of opening with 0 frames and nothing said. Both the stated rate and
    // the measured length must say so: a damaged frame count alone (the length
    // is right) still plays, counted by the control from the length.
    if (info.frameCount > 0 && info.nominalFrameMs < kShortestFrameMs &&
        info.durationMs < info.frameCount * kShortestFrameMs)
        throw ClipDemuxer::openError(err::ClipOpenFailed, file,
                                     QStringLiteral("its %1 frames last %2 ms in all (the frame rate in its header is damaged)")
                                         .arg(qint64(info.frameCount))
                                         .arg(info.durationMs, 0, 'g', 3));
}

// What the clip is, apart from its length.
void ClipDecoder::Impl::describe() {
    const PictureConverter::Geometry geometry = PictureConverter::geometryOf(clip.format(), clip.stream());
    pictures.setGeometry(geometry);
    info.codecName = clip.codecName();
    info.codedWidth = clip.stream()->codecpar->width;
    info.codedHeight = clip.stream()->codecpar->height;
    info.width = geometry.width();
    info.height = geometry.height();
    info.quarterTurns = geometry.quarterTurns;
    info.nominalFrameMs = clip.toMs(clip.nominalDuration());
    info.firstFrameSeconds = double(clip.firstPts()) * av_q2d(clip.timeBase());
    info.hasAudio = clip.hasAudio();
    run.setPictureBytes(int64_t(info.width) * info.height * 4);
}

// FFmpeg's log level is its one global setting and stays the host's: what the
// control hears from FFmpeg goes through the trelvan.ffmpeg category, whose
// threshold (silent by default) decides what is shown.
ClipDecoder::ClipDecoder() : d(std::make_unique<Impl>()) {}
ClipDecoder::~ClipDecoder() = default;

void ClipDecoder::open(const QString& fileName) {
    d->close();
    try {
        d->open(fileName);
        d->run.showFirst();
    } catch (...) {
        d->close();
        throw;
    }
}

void ClipDecoder::close() { d->close(); }
bool ClipDecoder::isOpen() const { return d->clip.isOpen(); }
const QString& ClipDecoder::fileName() const { return d->clip.fileName(); }
const ClipInfo& ClipDecoder::info() const { return d->info; }

VideoFrame ClipDecoder::seek(double ms) {
    if (!isOpen()) return {};
    if (!std::isfinite(ms)) ms = 0;
    // Past the end means the last frame; a clip cut short has listed frames
    // beyond it that a seek by the index would look for in vain.
    const int64_t target = std::min(d->clip.fromMs(std::max(0.0, ms)), std::max(d->clip.firstPts(), d->endPts - 1));
    return d->run.seek(target);
}

VideoFrame ClipDecoder::seekApproximate(double ms) {
    if (!isOpen()) return {};
    if (!std::isfinite(ms)) ms = 0;
    const int64_t target = std::min(d->clip.fromMs(std::max(0.0, ms)), std::max(d->clip.firstPts(), d->endPts - 1));
    return d->run.seekApproximate(target);
}

VideoFrame ClipDecoder::stepForward(bool withPicture) { return isOpen() ? d->run.stepForward(withPicture) : VideoFrame{}; }
VideoFrame ClipDecoder::stepBackward() { return isOpen() ? d->run.stepBackward() : VideoFrame{}; }
VideoFrame ClipDecoder::current() { return isOpen() ? d->run.current() : VideoFrame{}; }
PlanarPicture ClipDecoder::currentPlanar() {
    const AVFrame* frame = isOpen() ? d->run.currentDecoded() : nullptr;
    return frame ? d->pictures.planar(frame) : PlanarPicture();
}
bool ClipDecoder::atLastFrame() const { return isOpen() && d->run.atLastFrame(); }

void ClipDecoder::setCacheBudget(int64_t bytes) { d->run.setBudget(bytes); }
int64_t ClipDecoder::cacheBudget() const { return d->run.budget(); }

int64_t ClipDecoder::defaultCacheBudget() {
    constexpr int64_t kMiB = 1024 * 1024;
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGE_SIZE);
    const int64_t physical = pages > 0 && pageSize > 0 ? int64_t(pages) * pageSize : 0;
    return std::clamp<int64_t>(physical / 8, 256 * kMiB, 2048 * kMiB);
}

void ClipDecoder::setDecodeBehind(bool on) { d->run.setDecodeBehind(on); }

void ClipDecoder::setDeinterlace(bool on) {
    if (d->pictures.deinterlace() == on) return;
    d->pictures.setDeinterlace(on);
    // Pictures converted with the old setting are converted again when shown.
    d->run.dropPictures();
}
bool ClipDecoder::deinterlace() const { return d->pictures.deinterlace(); }

void ClipDecoder::setGrayscale(bool on) {
    const QImage::Format format = on ? QImage::Format_Grayscale8 : QImage::Format_RGB32;
    if (d->pictures.format() == format) return;
    d->pictures.setFormat(format);
    d->run.dropPictures();
}
void ClipDecoder::setThreadCount(int threads) { d->threads = std::max(0, threads); }

ClipDecoder::Stats ClipDecoder::stats() const {
    Stats s;
    s.framesDecoded = d->clip.picturesDecoded();
    d->run.addStats(s);
    return s;
}

}  // namespace tvn
