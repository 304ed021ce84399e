#include "media/ffmpeg/ClipDecoder.h"

#include "core/TvnError.h"
#include "media/ffmpeg/DecodeBehind.h"
#include "media/ffmpeg/FfmpegHandles.h"
#include "media/ffmpeg/FramePool.h"
#include "media/ffmpeg/FrameScaler.h"

extern "C" {
#include <libavfilter/buffersink.h>
#include <libavutil/display.h>
#include <libavfilter/buffersrc.h>
#include <libavutil/imgutils.h>
}

#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QTransform>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <deque>
#include <unistd.h>

namespace tvn {

namespace {

// Larger clips are shown scaled so that they fit the control's 16-bit twips
// (32767 twips = 2184 pixels at 15 twips per pixel).
constexpr int kMaxDisplaySide = 2160;
constexpr int kScaledSide = 1920;
// Consecutive decoder failures after which a stream is taken as ended.
constexpr int kMaxDecodeErrors = 64;
// No camera stores frames shorter than this; a clip whose frames are is one whose
// header states a damaged rate (found by scripts/fuzz: an AVI at 16777216 fps).
constexpr double kShortestFrameMs = 1.0;
// Converted pictures kept in the run, nearest the current frame first; the
// others keep only their decoded picture (a third of the memory) and are
// converted again when shown.
constexpr int kKeptPictures = 8;
// Frames after the current one that making room for decode-behind leaves in place.
constexpr int kKeptAhead = 8;
// Decoded frames (the converted pictures aside) that decoding forward, a step
// or a jump, keeps behind the newest one: about 50 frames of 1080p, 2 s at 25
// fps. Beyond it the oldest go, so the decoder's buffer pool hands their memory
// back to the next picture instead of taking fresh memory (a page fault per
// 4 KiB, which costs as much as decoding); the rest of the budget is filled
// by the decode-behind worker while the owner is idle.
constexpr int64_t kForwardWindowBytes = 160LL * 1024 * 1024;
// The process's picture-buffer pool keeps what one such window gives back when its decoder closes.
static_assert(FramePool::kIdleLimitBytes >= kForwardWindowBytes);
// A decode-behind worker that decodes no picture for this long is taken as
// stuck: the caller stops waiting for it and decodes the frame itself.
constexpr std::chrono::milliseconds kBehindStall{1000};

// Thrown out of a decode-behind job's decoding when the owner no longer wants its frames.
struct BehindCancelled {};

Q_LOGGING_CATEGORY(lcDecoder, "tvn.media.decoder")

TvnError openError(int32_t number, const QString& file, const QString& cause) {
    return TvnError(number, QStringLiteral("Cannot open clip '%1': %2").arg(file, cause),
                    QStringLiteral("ClipDecoder"));
}

// One decoded picture of the run around the current position.
struct CachedFrame {
    ff::FramePtr frame;  // shares the decoder's buffer
    int64_t pts = 0;
    int64_t duration = 0;  // stream time base; exact once the next frame is known
    QImage image;          // converted picture, kept once shown
    int64_t bytes = 0;
};

// Memory a decoded picture holds: its buffers as the decoder allocated them
// (aligned rows and padding included), so the budget counts what is really used.
int64_t pictureBytes(const AVFrame* f) {
    int64_t bytes = 0;
    for (const AVBufferRef* b : f->buf) bytes += b ? int64_t(b->size) : 0;
    for (int i = 0; i < f->nb_extended_buf; ++i) bytes += int64_t(f->extended_buf[i]->size);
    if (bytes > 0) return bytes;
    const int size = av_image_get_buffer_size(static_cast<AVPixelFormat>(f->format), f->width, f->height, 1);
    return size > 0 ? size : int64_t(f->width) * f->height * 4;
}

// Clockwise quarter turns (0 to 3) that stand a stream's pictures upright, from
// its display matrix; a matrix that is not a whole quarter turn counts as none.
int quarterTurnsOf(const AVStream* stream) {
    const uint8_t* matrix = av_stream_get_side_data(stream, AV_PKT_DATA_DISPLAYMATRIX, nullptr);
    if (!matrix) return 0;
    const double counterClockwise = av_display_rotation_get(reinterpret_cast<const int32_t*>(matrix));
    if (std::isnan(counterClockwise)) return 0;
    const long turns = std::lround(-counterClockwise / 90.0);
    if (std::abs(-counterClockwise - 90.0 * double(turns)) > 1.0) return 0;
    return int(((turns % 4) + 4) % 4);
}

// Runs one picture through FFmpeg's estdif, an edge-directed deinterlacer that
// rebuilds one field from the other within the picture. Being spatial only, it
// needs no neighbouring pictures, so exact seeking and the cache stay as they are.
ff::FramePtr deinterlaced(const AVFrame* in) {
    ff::FilterGraphPtr graph(avfilter_graph_alloc());
    if (!graph) return nullptr;
    AVFilterContext* src = nullptr;
    AVFilterContext* sink = nullptr;
    AVFilterContext* deint = nullptr;
    const QByteArray args = QStringLiteral("video_size=%1x%2:pix_fmt=%3:time_base=1/25:pixel_aspect=1/1")
                                .arg(in->width)
                                .arg(in->height)
                                .arg(in->format)
                                .toLatin1();
    if (avfilter_graph_create_filter(&src, avfilter_get_by_name("buffer"), "in", args.constData(), nullptr,
                                     graph.get()) < 0 ||
        avfilter_graph_create_filter(&deint, avfilter_get_by_name("estdif"), "deint", "mode=frame:parity=auto:deint=all",
                                     nullptr, graph.get()) < 0 ||
        avfilter_graph_create_filter(&sink, avfilter_get_by_name("buffersink"), "out", nullptr, nullptr,
                                     graph.get()) < 0 ||
        avfilter_link(src, 0, deint, 0) < 0 || avfilter_link(deint, 0, sink, 0) < 0 ||
        avfilter_graph_config(graph.get(), nullptr) < 0)
        return nullptr;
    // Give it the picture twice, then the end, so a filter that looks ahead still answers.
    for (int i = 0; i < 2; ++i) {
        ff::FramePtr copy(av_frame_clone(in));
        if (!copy) return nullptr;
        copy->pts = i;
        if (av_buffersrc_add_frame(src, copy.get()) < 0) return nullptr;
    }
    if (av_buffersrc_add_frame(src, nullptr) < 0) return nullptr;
    auto out = ff::makeFrame();
    if (av_buffersink_get_frame(sink, out.get()) < 0) return nullptr;
    return out;
}

}  // namespace

struct ClipDecoder::Impl {
    QString fileName;
    ClipInfo info;
    ff::FormatPtr format;
    ff::CodecPtr codec;
    ff::PacketPtr packet = ff::makePacket();
    FrameScaler scaler;
    // Phones store portrait footage as landscape pictures plus a display matrix;
    // the pictures are turned clockwise by this many quarter turns to stand upright.
    int quarterTurns = 0;
    int uprightWidth = 0;  // the scaled picture before it is turned (coded orientation)
    int uprightHeight = 0;
    AVStream* stream = nullptr;
    int streamIndex = -1;
    AVRational timeBase{1, 1};
    int64_t firstPts = 0;
    int64_t nominalDuration = 1;
    int64_t endPts = 0;
    double frameTicks = 0;  // one frame at the constant rate, in stream ticks; 0 when unknown
    int64_t keyInterval = 0;  // mean distance between keyframes where known (MPEG-TS), stream ticks
    // The container's index, once loaded, lists every keyframe (not MPEG-TS, whose
    // index holds only what seeks found).
    bool indexListsEveryKeyframe = false;

    // Consecutive decoded frames in presentation order; the current frame is one of them.
    std::deque<CachedFrame> run;
    int64_t runBytes = 0;
    bool runReachesEnd = false;   // run.back() is the clip's last frame
    bool headFollowsRun = false;  // the decoder's next picture is the one after run.back()
    bool demuxDone = false;       // the end-of-stream packet has been sent
    int64_t currentPts = AV_NOPTS_VALUE;

    // Pictures of evicted frames that nobody else holds, reused by the next
    // conversion: fresh memory costs a page fault per 4 KiB, more than the conversion.
    std::vector<QImage> spareImages;
    int64_t budget = defaultCacheBudget();
    bool deinterlace = false;
    int threads = 0;
    Stats stats;
    // Set on a decode-behind job's own decoder: stops its decoding when the owner cancels.
    DecodeBehind::Progress* progress = nullptr;
    bool measureOnOpen = true;  // a decode-behind job's decoder takes the owner's measures
    // Decoding forward keeps a window behind the newest frame; a decode-behind
    // job keeps all that its allowance holds.
    bool forwardWindow = true;

    // Decode-behind: the job's decoder is touched only by the worker thread
    // (declared before the worker, which is stopped first when this goes).
    std::unique_ptr<Impl> behindSource;
    DecodeBehind behind{[this](const DecodeBehind::Request& r, DecodeBehind::Progress& p) {
        return decodeBehindJob(r, p);
    }};
    bool behindOn = false;

    ~Impl() { behind.stop(); }

    void close() {
        behind.stop();
        behindSource.reset();
        run.clear();
        spareImages.clear();
        runBytes = 0;
        scaler = FrameScaler();
        codec.reset();
        format.reset();
        FramePool::instance().sweep();
        stream = nullptr;
        streamIndex = -1;
        info = {};
        fileName.clear();
        currentPts = AV_NOPTS_VALUE;
        runReachesEnd = headFollowsRun = demuxDone = indexListsEveryKeyframe = false;
        keyInterval = 0;
    }

    double toMs(int64_t ts) const { return double(ts) * av_q2d(timeBase) * 1000.0; }
    int64_t fromMs(double ms) const {
        return firstPts + int64_t(std::floor(ms / 1000.0 / av_q2d(timeBase) + 1e-6));
    }

    void openFile(const QString& file);
    void measure();
    struct ClipEnd {
        bool found = false;
        bool onGrid = true;
        int64_t lastPts = 0;  // the last frame
        int64_t end = 0;      // where it ends
    };
    ClipEnd readEnd(int64_t near) const;
    ClipEnd decodeEnd(int64_t near, bool constantRate);
    int64_t listedFramesPastEnd(int64_t fileBytes) const;
    int64_t lastListedPresent(int64_t fileBytes) const;
    int64_t claimedEnd() const;
    int64_t countPackets();
    int64_t countTransportStream();
    ff::FramePtr decodeNext();
    bool push(ff::FramePtr frame);
    void trimBehindHead();
    void evict();
    int lastAtOrBefore(int64_t ts) const;
    int indexOfCurrent() const { return currentPts == AV_NOPTS_VALUE ? -1 : lastAtOrBefore(currentPts); }
    int decodeUntil(int64_t target);
    int seekAndDecode(int64_t target);
    bool forwardIsCheaper(int64_t target) const;
    int locate(int64_t target);
    VideoFrame show(int index, bool withPicture = true);
    std::vector<DecodeBehind::Frame> decodeBehindJob(const DecodeBehind::Request& r, DecodeBehind::Progress& p);
    // Room for the converted pictures the run may still add (those it holds are in runBytes).
    int64_t pictureReserve() const {
        int64_t held = 0;
        for (const auto& c : run) held += c.image.isNull() ? 0 : 1;
        return std::max<int64_t>(0, kKeptPictures - held) * info.width * info.height * 4;
    }
    void armBehind();
    bool adoptBehind();
    bool behindWillHold(int64_t target) const;
    void fetchBehind(int64_t target);
    QImage convert(const AVFrame* frame);
    void restart();
    void dropFarPictures(int index) {
        int kept = 0;
        for (const auto& c : run) kept += c.image.isNull() ? 0 : 1;
        // Farthest from index first, from either end.
        for (int lo = 0, hi = int(run.size()) - 1; kept > kKeptPictures && lo < hi;) {
            CachedFrame& far = (index - lo >= hi - index) ? run[size_t(lo++)] : run[size_t(hi--)];
            if (far.image.isNull()) continue;
            runBytes -= far.image.sizeInBytes();
            recycle(std::move(far.image));
            far.image = QImage();
            --kept;
        }
    }
    void recycle(QImage&& image) {
        if (!image.isNull() && image.isDetached() && spareImages.size() < 6) spareImages.push_back(std::move(image));
    }
    QImage blankImage() {
        while (!spareImages.empty()) {
            QImage image = std::move(spareImages.back());
            spareImages.pop_back();
            if (image.size() == QSize(info.width, info.height) && image.isDetached()) return image;
        }
        return QImage(info.width, info.height, QImage::Format_RGB32);
    }
};

void ClipDecoder::Impl::openFile(const QString& file) {
    const QFileInfo fi(file);
    if (file.isEmpty() || !fi.exists()) throw openError(err::FileNotFound, file, QStringLiteral("file not found"));
    if (!fi.isFile()) throw openError(err::PathFileAccess, file, QStringLiteral("not a file"));
    if (!fi.isReadable()) throw openError(err::PathFileAccess, file, QStringLiteral("permission denied"));
    if (fi.size() == 0) throw openError(err::ClipOpenFailed, file, QStringLiteral("the file is empty"));

    AVFormatContext* raw = nullptr;
    int r = avformat_open_input(&raw, file.toUtf8().constData(), nullptr, nullptr);
    if (r < 0) throw openError(err::ClipOpenFailed, file, ff::errorText(r));
    format.reset(raw);
    r = avformat_find_stream_info(format.get(), nullptr);
    if (r < 0) throw openError(err::ClipOpenFailed, file, ff::errorText(r));

    const AVCodec* decoder = nullptr;
    r = av_find_best_stream(format.get(), AVMEDIA_TYPE_VIDEO, -1, -1, &decoder, 0);
    if (r == AVERROR_DECODER_NOT_FOUND) {
        const int any = av_find_best_stream(format.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
        const char* name = any >= 0 ? avcodec_get_name(format->streams[any]->codecpar->codec_id) : "unknown";
        throw openError(err::ClipOpenFailed, file,
                        QStringLiteral("no decoder for the video codec '%1'").arg(QLatin1String(name)));
    }
    if (r < 0 || (format->streams[r]->disposition & AV_DISPOSITION_ATTACHED_PIC))
        throw openError(err::ClipOpenFailed, file, QStringLiteral("the file has no video stream"));
    streamIndex = r;
    stream = format->streams[r];
    for (const char* name : {"mov", "avi", "matroska"})
        if (std::strstr(format->iformat->name, name)) indexListsEveryKeyframe = true;
    timeBase = stream->time_base;
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        if (format->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO) info.hasAudio = true;
        if (int(i) != streamIndex) format->streams[i]->discard = AVDISCARD_ALL;
    }

    codec.reset(avcodec_alloc_context3(decoder));
    if (!codec) throw openError(err::ClipOpenFailed, file, QStringLiteral("out of memory"));
    r = avcodec_parameters_to_context(codec.get(), stream->codecpar);
    if (r < 0) throw openError(err::ClipOpenFailed, file, ff::errorText(r));
    codec->pkt_timebase = timeBase;
    codec->thread_count = threads;
    codec->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
    FramePool::attach(codec.get());
    r = avcodec_open2(codec.get(), decoder, nullptr);
    if (r < 0) throw openError(err::ClipOpenFailed, file, ff::errorText(r));

    const AVRational rate = av_guess_frame_rate(format.get(), stream, nullptr);
    nominalDuration = rate.num > 0 ? std::max<int64_t>(1, av_rescale_q(1, av_inv_q(rate), timeBase)) : 1;

    headFollowsRun = true;
    auto first = decodeNext();
    if (!first)
        throw openError(err::ClipOpenFailed, file,
                        QStringLiteral("no picture could be decoded (the file is damaged or truncated)"));
    firstPts = first->best_effort_timestamp != AV_NOPTS_VALUE ? first->best_effort_timestamp : 0;
    push(std::move(first));

    info.codecName = QString::fromLatin1(decoder->name);
    info.codedWidth = stream->codecpar->width;
    info.codedHeight = stream->codecpar->height;
    double w = info.codedWidth;
    double h = info.codedHeight;
    const AVRational sar = av_guess_sample_aspect_ratio(format.get(), stream, nullptr);
    if (sar.num > 0 && sar.den > 0 && sar.num != sar.den) w = w * sar.num / sar.den;
    if (std::max(w, h) > kMaxDisplaySide) {
        const double s = kScaledSide / std::max(w, h);
        w *= s;
        h *= s;
    }
    quarterTurns = quarterTurnsOf(stream);
    uprightWidth = std::max(1, int(std::lround(w)));
    uprightHeight = std::max(1, int(std::lround(h)));
    info.width = quarterTurns % 2 ? uprightHeight : uprightWidth;
    info.height = quarterTurns % 2 ? uprightWidth : uprightHeight;
    info.quarterTurns = quarterTurns;
    info.nominalFrameMs = toMs(nominalDuration);
    info.firstFrameSeconds = double(firstPts) * av_q2d(timeBase);
    if (!measureOnOpen) return;
    measure();
    // Its frames would have no usable positions or numbers: refused with the reason,
    // instead of opening with 0 frames and nothing said. Both the stated rate and
    // the measured length must say so: a damaged frame count alone (the length
    // is right) still plays, counted by the control from the length.
    if (info.frameCount > 0 && info.nominalFrameMs < kShortestFrameMs &&
        info.durationMs < info.frameCount * kShortestFrameMs)
        throw openError(err::ClipOpenFailed, file,
                        QStringLiteral("its %1 frames last %2 ms in all (the frame rate in its header is damaged)")
                            .arg(qint64(info.frameCount))
                            .arg(info.durationMs, 0, 'g', 3));
}

// Frame count and end of the video stream, without reading the whole clip
// where the container or the rate can tell:
// - a sample table (MP4, MOV, AVI) lists every frame: its count, unless the file
//   was cut short and some listed frames are no longer in it;
// - a constant-rate clip otherwise (Matroska, WebM, a cut-short MP4): the last
//   frames are read near the end, and when their timestamps (and the index's)
//   lie on the rate's grid, allowing the container's rounding (Matroska keeps
//   milliseconds), the count is the number of frame intervals from the first
//   frame's start to the last frame's end. That is what "frame n" means
//   everywhere in the control (frame n starts at n frame lengths), so a frame
//   a recorder dropped is an interval in which the frame before stays shown;
//   the count and the positions agree, and the last frame is always frame
//   count - 1;
// - MPEG-TS (no index; camcorders' streams may skip) and variable-rate clips
//   without a sample table are counted by reading every packet's header.
void ClipDecoder::Impl::measure() {
    const AVRational rate = av_guess_frame_rate(format.get(), stream, nullptr);
    frameTicks = rate.num > 0 && rate.den > 0 ? 1.0 / (av_q2d(rate) * av_q2d(timeBase)) : 0.0;
    // A variable-rate clip's container duration can miss the last frame's own
    // length; its packets tell the truth.
    const bool variableRate = stream->avg_frame_rate.num > 0 && stream->r_frame_rate.num > 0 &&
                              std::abs(av_q2d(stream->avg_frame_rate) / av_q2d(stream->r_frame_rate) - 1.0) > 0.01;
    const int64_t listed = stream->nb_frames;
    const int64_t fileBytes = QFileInfo(fileName).size();
    const int64_t absent = listed > 0 ? listedFramesPastEnd(fileBytes) : 0;
    const bool listedDuration = stream->duration > 0 && stream->duration != AV_NOPTS_VALUE;
    int64_t count = 0;
    endPts = firstPts;
    if (listed > 0 && listedDuration && !variableRate && absent == 0) {
        count = listed;
        endPts = firstPts + stream->duration;
    } else if (std::strstr(format->iformat->name, "mpegts")) {
        count = countTransportStream();
    } else {
        const ClipEnd end = absent > 0 ? decodeEnd(lastListedPresent(fileBytes), !variableRate)
                                       : readEnd(claimedEnd());
        const bool grid = end.found && frameTicks > 0 && !variableRate && end.onGrid;
        if (end.found && listed > 0 && !grid) {
            count = listed - absent;
            endPts = end.end;
        } else if (grid) {
            count = std::llround(double(end.lastPts - firstPts) / frameTicks) + 1;
            endPts = firstPts + std::llround(double(count) * frameTicks);
        } else {
            count = countPackets();
        }
    }
    info.frameCount = double(count);
    info.missingFrames = listed > count ? double(listed - count) : 0.0;
    if (info.missingFrames > 0)
        qCWarning(lcDecoder, "'%s' is cut short: %lld of the %lld frames its index lists are missing",
                  qPrintable(fileName), static_cast<long long>(listed - count), static_cast<long long>(listed));
    if (endPts <= firstPts) endPts = firstPts + nominalDuration * std::max<int64_t>(1, count);
    info.durationMs = toMs(endPts - firstPts);
}

// Listed frames of the video stream whose data lies past the end of the file.
int64_t ClipDecoder::Impl::listedFramesPastEnd(int64_t fileBytes) const {
    int64_t past = 0;
    const int n = avformat_index_get_entries_count(stream);
    for (int i = 0; i < n; ++i) {
        const AVIndexEntry* e = avformat_index_get_entry(stream, i);
        if (e->pos >= 0 && e->size > 0 && e->pos + e->size > fileBytes && !(e->flags & AVINDEX_DISCARD_FRAME)) ++past;
    }
    return past;
}

// Timestamp of the last listed frame whose data is in the file.
int64_t ClipDecoder::Impl::lastListedPresent(int64_t fileBytes) const {
    int64_t last = firstPts;
    const int n = avformat_index_get_entries_count(stream);
    for (int i = 0; i < n; ++i) {
        const AVIndexEntry* e = avformat_index_get_entry(stream, i);
        if (e->pos >= 0 && e->pos + e->size <= fileBytes) last = std::max(last, e->timestamp);
    }
    return last;
}

// Where the container says the stream ends, or no value when it does not say.
int64_t ClipDecoder::Impl::claimedEnd() const {
    if (stream->duration > 0 && stream->duration != AV_NOPTS_VALUE) return firstPts + stream->duration;
    if (format->duration <= 0 || format->duration == AV_NOPTS_VALUE) return AV_NOPTS_VALUE;
    const int64_t start = format->start_time != AV_NOPTS_VALUE ? format->start_time : 0;
    return av_rescale_q(start + format->duration, AV_TIME_BASE_Q, timeBase);
}

// The stream of another demuxer of the same file that is this clip's video.
static int sameStream(const AVFormatContext* other, const AVStream* stream) {
    for (unsigned i = 0; i < other->nb_streams; ++i) {
        const AVStream* s = other->streams[i];
        if (s->id == stream->id && s->codecpar->codec_type == AVMEDIA_TYPE_VIDEO &&
            av_cmp_q(s->time_base, stream->time_base) == 0)
            return int(i);
    }
    return -1;
}

// Reads the video packets from the keyframe before `near` to the end of the file
// (a second demuxer, so the decoder's own position is untouched): the last frame,
// where it ends, and whether the timestamps read and those of the index lie on
// the constant rate's grid.
ClipDecoder::Impl::ClipEnd ClipDecoder::Impl::readEnd(int64_t near) const {
    ClipEnd result;
    if (near == AV_NOPTS_VALUE) return result;
    AVFormatContext* raw = nullptr;
    if (avformat_open_input(&raw, fileName.toUtf8().constData(), nullptr, nullptr) < 0) return result;
    ff::FormatPtr tail(raw);
    const int index = sameStream(tail.get(), stream);
    if (index < 0) return result;
    for (unsigned i = 0; i < tail->nb_streams; ++i)
        if (int(i) != index) tail->streams[i]->discard = AVDISCARD_ALL;
    const int64_t from = std::max(firstPts, near - av_rescale_q(5, AVRational{1, 1}, timeBase));
    if (avformat_seek_file(tail.get(), index, INT64_MIN, from, from, 0) < 0) return result;
    const auto onGrid = [&](int64_t ts) {
        if (frameTicks <= 0) return false;
        const double t = double(ts - firstPts);
        return std::abs(t - std::round(t / frameTicks) * frameTicks) <= std::max(0.51, 0.01 * frameTicks);
    };
    auto pkt = ff::makePacket();
    while (av_read_frame(tail.get(), pkt.get()) >= 0) {
        const int64_t pts = pkt->pts != AV_NOPTS_VALUE ? pkt->pts : pkt->dts;
        if (pkt->stream_index == index && pts != AV_NOPTS_VALUE && !(pkt->flags & AV_PKT_FLAG_CORRUPT)) {
            result.onGrid = result.onGrid && onGrid(pts);
            if (!result.found || pts > result.lastPts) {
                result.lastPts = pts;
                result.end = pts + (pkt->duration > 0 ? pkt->duration : nominalDuration);
            }
            result.found = true;
        }
        av_packet_unref(pkt.get());
    }
    AVStream* s = tail->streams[index];
    for (int i = 0, n = avformat_index_get_entries_count(s); i < n && result.onGrid; ++i)
        result.onGrid = onGrid(avformat_index_get_entry(s, i)->timestamp);
    return result;
}

// For a clip cut short: decodes from the keyframe before `near` to where the
// data stops, so the end is the last frame the decoder really shows (a frame
// whose packet is cut, or whose references are, is not there; at a constant
// rate the run ends at the first gap, so a picture decoded after missing ones
// does not stretch the clip over frames it lacks). Then the decoder goes back
// to the first frame, as open left it.
ClipDecoder::Impl::ClipEnd ClipDecoder::Impl::decodeEnd(int64_t near, bool constantRate) {
    ClipEnd result;
    const int64_t from = std::max(firstPts, near - av_rescale_q(5, AVRational{1, 1}, timeBase));
    if (av_seek_frame(format.get(), streamIndex, from, AVSEEK_FLAG_BACKWARD) >= 0) {
        restart();
        while (auto frame = decodeNext()) {
            const int64_t pts = frame->best_effort_timestamp;
            if (pts == AV_NOPTS_VALUE || (result.found && pts <= result.lastPts)) continue;
            if (result.found && constantRate && frameTicks > 0 && double(pts - result.lastPts) > 1.5 * frameTicks) break;
            result.found = true;
            result.lastPts = pts;
            result.end = pts + (frame->pkt_duration > 0 ? frame->pkt_duration : nominalDuration);
        }
        result.onGrid = constantRate;
    }
    avformat_seek_file(format.get(), streamIndex, INT64_MIN, firstPts, firstPts, 0);
    restart();
    auto first = decodeNext();
    if (!first) throw openError(err::ClipOpenFailed, fileName, QStringLiteral("the first picture cannot be decoded again"));
    push(std::move(first));
    return result;
}

// Counts the video frames by reading every packet once, without parsing their data.
int64_t ClipDecoder::Impl::countPackets() {
    AVFormatContext* raw = nullptr;
    if (avformat_open_input(&raw, fileName.toUtf8().constData(), nullptr, nullptr) < 0) return 0;
    ff::FormatPtr scan(raw);
    scan->flags |= AVFMT_FLAG_NOPARSE;
    const int index = sameStream(scan.get(), stream);
    if (index < 0) return 0;
    for (unsigned i = 0; i < scan->nb_streams; ++i)
        if (int(i) != index) scan->streams[i]->discard = AVDISCARD_ALL;
    int64_t count = 0;
    auto pkt = ff::makePacket();
    while (av_read_frame(scan.get(), pkt.get()) >= 0) {
        if (pkt->stream_index == index) {
            ++count;
            const int64_t pts = pkt->pts != AV_NOPTS_VALUE ? pkt->pts : pkt->dts;
            if (pts != AV_NOPTS_VALUE)
                endPts = std::max(endPts, pts + (pkt->duration > 0 ? pkt->duration : nominalDuration));
        }
        av_packet_unref(pkt.get());
    }
    return count;
}

// Counts an MPEG transport stream's video frames from the 4-byte header of each
// transport packet and the timestamp in the header of each PES packet the
// stream's pictures start in (muxers start one per picture); no payload is read
// beyond that. Handles 188-byte packets, 192-byte ones (M2TS: a time code
// first) and 204-byte ones (parity after), and timestamps wrapping at 2^33.
int64_t ClipDecoder::Impl::countTransportStream() {
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) return countPackets();
    constexpr int64_t kWrap = int64_t(1) << 33;
    const int pid = stream->id;
    std::vector<uint8_t> buf(size_t(4) << 20);
    int64_t have = file.read(reinterpret_cast<char*>(buf.data()), int64_t(buf.size()));
    // Packet size and the offset of the first sync byte: five sync bytes in a row.
    int size = 0;
    int64_t at = 0;
    for (int candidate : {188, 192, 204}) {
        for (int64_t o = 0; o < candidate && !size && o + 5 * candidate <= have; ++o) {
            bool ok = true;
            for (int k = 0; k < 5 && ok; ++k) ok = buf[size_t(o + k * candidate)] == 0x47;
            if (ok) size = candidate, at = o;
        }
        if (size) break;
    }
    if (!size) return countPackets();
    int64_t count = 0;
    int64_t keyframes = 0;
    int64_t last = AV_NOPTS_VALUE;
    int64_t lost = 0;
    for (;;) {
        for (; at + 188 <= have; at += size) {
            const uint8_t* h = &buf[size_t(at)];
            if (h[0] != 0x47) {  // lost sync: the next sync byte
                ++lost;
                at -= size - 1;
                continue;
            }
            if (!(h[1] & 0x40) || (((h[1] & 0x1F) << 8) | h[2]) != pid || !(h[3] & 0x10)) continue;
            const int payload = 4 + ((h[3] & 0x20) ? 1 + h[4] : 0);
            if (payload + 14 > 188) continue;
            const uint8_t* pes = h + payload;
            if (pes[0] || pes[1] || pes[2] != 1 || !(pes[7] & 0x80)) continue;
            int64_t pts = (int64_t(pes[9] >> 1 & 7) << 30) | (int64_t(pes[10]) << 22) | (int64_t(pes[11] >> 1) << 15) |
                          (int64_t(pes[12]) << 7) | (pes[13] >> 1);
            if (last != AV_NOPTS_VALUE)  // the unwrapped value nearest to the last
                pts += int64_t(std::floor(double(last - pts + kWrap / 2) / double(kWrap))) * kWrap;
            last = pts;
            if (pts < firstPts) continue;
            ++count;
            // The random access indicator marks the packets keyframes start in.
            if ((h[3] & 0x20) && h[4] > 0 && (h[5] & 0x40)) ++keyframes;
            endPts = std::max(endPts, pts + nominalDuration);
        }
        // Keep the partial packet, read on.
        const int64_t keep = std::max<int64_t>(0, have - at);
        std::memmove(buf.data(), buf.data() + at, size_t(keep));
        const int64_t got = file.read(reinterpret_cast<char*>(buf.data() + keep), int64_t(buf.size()) - keep);
        if (got <= 0) break;
        have = keep + got;
        at = 0;
    }
    if (keyframes > 1) keyInterval = (endPts - firstPts) / keyframes;
    if (lost > 0) qCDebug(lcDecoder, "'%s': %lld bytes out of sync skipped", qPrintable(fileName), static_cast<long long>(lost));
    return count;
}

ff::FramePtr ClipDecoder::Impl::decodeNext() {
    auto frame = ff::makeFrame();
    int errors = 0;
    for (;;) {
        if (progress && progress->cancelled.load(std::memory_order_relaxed)) throw BehindCancelled{};
        int r = avcodec_receive_frame(codec.get(), frame.get());
        if (r == 0) {
            ++stats.framesDecoded;
            if (progress) ++progress->pictures;
            return frame;
        }
        if (r == AVERROR_EOF) return nullptr;
        if (r != AVERROR(EAGAIN)) {
            if (++errors > kMaxDecodeErrors || demuxDone) return nullptr;
        }
        if (demuxDone) return nullptr;
        for (;;) {
            r = av_read_frame(format.get(), packet.get());
            if (r < 0) {
                avcodec_send_packet(codec.get(), nullptr);  // drain the pictures still inside
                demuxDone = true;
                break;
            }
            if (packet->stream_index != streamIndex) {
                av_packet_unref(packet.get());
                continue;
            }
            r = avcodec_send_packet(codec.get(), packet.get());
            av_packet_unref(packet.get());
            // A damaged packet is skipped; the decoder goes on with the next one.
            if (r < 0 && r != AVERROR(EAGAIN) && ++errors > kMaxDecodeErrors) {
                avcodec_send_packet(codec.get(), nullptr);
                demuxDone = true;
            }
            break;
        }
    }
}

bool ClipDecoder::Impl::push(ff::FramePtr frame) {
    int64_t pts = frame->best_effort_timestamp;
    if (pts == AV_NOPTS_VALUE) pts = run.empty() ? firstPts : run.back().pts + run.back().duration;
    // A picture that does not move time forward (a damaged timestamp) cannot be
    // placed in the run and is dropped.
    if (!run.empty() && pts <= run.back().pts) return false;
    if (!run.empty()) run.back().duration = pts - run.back().pts;
    CachedFrame c;
    c.pts = pts;
    c.duration = frame->pkt_duration > 0 ? frame->pkt_duration : nominalDuration;
    c.bytes = pictureBytes(frame.get());
    c.frame = std::move(frame);
    runBytes += c.bytes;
    run.push_back(std::move(c));
    trimBehindHead();
    evict();
    return true;
}

// Keeps the frames behind the newest one within the forward window, the oldest
// going first. The current frame, where one is, stays. Within half the budget
// too, so that decode-behind (armed while the run up to the current frame
// holds at most half) can fill in the frames before it.
void ClipDecoder::Impl::trimBehindHead() {
    if (!forwardWindow) return;
    const int64_t window = std::min(kForwardWindowBytes, budget / 2);
    int64_t kept = 0;
    size_t first = run.size();
    while (first > 0 && kept + run[first - 1].bytes <= window) kept += run[--first].bytes;
    const int current = indexOfCurrent();
    size_t drop = std::min(first, run.size() > 2 ? run.size() - 2 : 0);
    if (current >= 0) drop = std::min(drop, size_t(current));
    for (size_t i = 0; i < drop; ++i) {
        CachedFrame& old = run.front();
        runBytes -= old.bytes + (old.image.isNull() ? 0 : old.image.sizeInBytes());
        recycle(std::move(old.image));
        run.pop_front();
    }
}

// Frees the frames farthest from the current one until the run and what the
// decode-behind worker may hold fit the budget. The front goes first while no
// frame is current (the run is being decoded forward); otherwise the end farther
// from the current frame. Two frames always stay: the one found and the one
// after it that proved where it ends.
void ClipDecoder::Impl::evict() {
    const int64_t limit = budget - behind.reservedBytes();
    while (runBytes > limit && run.size() > 2) {
        const int current = indexOfCurrent();
        const bool dropBack = current >= 0 && current < int(run.size()) - 1 - current;
        CachedFrame& victim = dropBack ? run.back() : run.front();
        runBytes -= victim.bytes + victim.image.sizeInBytes() * (victim.image.isNull() ? 0 : 1);
        recycle(std::move(victim.image));
        if (dropBack) {
            run.pop_back();
            runReachesEnd = false;
            headFollowsRun = false;
        } else {
            run.pop_front();
        }
    }
}

int ClipDecoder::Impl::lastAtOrBefore(int64_t ts) const {
    auto it = std::upper_bound(run.begin(), run.end(), ts, [](int64_t t, const CachedFrame& c) { return t < c.pts; });
    return int(it - run.begin()) - 1;
}

// Decodes on from the head until the frame containing target is known. Returns
// its index, -2 when the first picture decoded already lies past the target (the
// seek landed too late), -3 when nothing could be decoded.
int ClipDecoder::Impl::decodeUntil(int64_t target) {
    for (;;) {
        auto frame = decodeNext();
        if (!frame) {
            runReachesEnd = true;
            if (run.empty()) return -3;
            const int i = lastAtOrBefore(target);
            return i >= 0 ? i : (run.front().pts <= firstPts ? 0 : -2);
        }
        if (!push(std::move(frame))) continue;
        if (run.back().pts > target) {
            if (run.size() >= 2) return int(run.size()) - 2;
            return run.back().pts <= firstPts ? 0 : -2;
        }
    }
}

void ClipDecoder::Impl::restart() {
    behind.cancel();  // its frames would end where the old run started
    avcodec_flush_buffers(codec.get());
    for (auto& c : run) recycle(std::move(c.image));
    run.clear();
    runBytes = 0;
    runReachesEnd = false;
    headFollowsRun = true;
    demuxDone = false;
}

int ClipDecoder::Impl::seekAndDecode(int64_t target) {
    // Some containers (MPEG-TS) land after a keyframe or past the target; seek
    // further back until the decoder's first picture starts at or before it,
    // and at last go to the clip's start, by time and then by byte.
    int64_t backoff = 0;
    const int64_t second = av_rescale_q(1, AVRational{1, 1}, timeBase);
    bool atStartByTime = false;
    for (int attempt = 0; attempt < 7; ++attempt) {
        const int64_t seekTs = target - backoff;
        int r = -1;
        if (seekTs > firstPts && attempt < 4) {
            r = av_seek_frame(format.get(), streamIndex, seekTs, AVSEEK_FLAG_BACKWARD);
        } else if (!atStartByTime) {
            atStartByTime = true;
            r = avformat_seek_file(format.get(), streamIndex, INT64_MIN, firstPts, firstPts, 0);
        }
        if (r < 0) r = av_seek_frame(format.get(), streamIndex, 0, AVSEEK_FLAG_BYTE);
        if (r < 0) r = avformat_seek_file(format.get(), streamIndex, INT64_MIN, firstPts, firstPts, 0);
        ++stats.demuxSeeks;
        restart();
        const int found = decodeUntil(target);
        if (found >= 0) return found;
        if (r < 0) break;
        // A seek to a packet rather than a keyframe (MPEG-TS) lands too late; one keyframe
        // interval further back is where the keyframe before the target is.
        backoff = backoff == 0 ? std::max(second, keyInterval + nominalDuration) : backoff * 4;
    }
    throw TvnError(err::ClipOpenFailed,
                   QStringLiteral("Cannot show the frame at %1 ms of '%2': the clip cannot be decoded there")
                       .arg(toMs(target - firstPts))
                       .arg(fileName),
                   QStringLiteral("ClipDecoder"));
}

// Decoding on from the head is cheaper than a seek when no keyframe lies
// between the head and the target (the seek would land before the head). The
// stream's index answers that only where it lists every keyframe up to past the
// target: MP4, MOV and AVI list them all at open; Matroska (and WebM) reads its
// cues on the first seek and until then lists only the keyframes read so far;
// MPEG-TS has no index, only the few keyframes earlier seeks happened to find.
// Elsewhere the distance decides.
bool ClipDecoder::Impl::forwardIsCheaper(int64_t target) const {
    const int64_t head = run.back().pts;
    const int i = av_index_search_timestamp(stream, target, AVSEEK_FLAG_BACKWARD);
    const AVIndexEntry* e = i >= 0 ? avformat_index_get_entry(stream, i) : nullptr;
    if (e && e->timestamp > head) return false;
    if (e && indexListsEveryKeyframe && avformat_index_get_entry(stream, i + 1)) return true;
    return target - head <= av_rescale_q(1, AVRational{1, 1}, timeBase);
}

int ClipDecoder::Impl::locate(int64_t target) {
    target = std::max(target, firstPts);
    if (!run.empty() && target < run.front().pts) fetchBehind(target);
    currentPts = AV_NOPTS_VALUE;  // while decoding, the front of the run is the farthest
    if (!run.empty() && target >= run.front().pts) {
        const int i = lastAtOrBefore(target);
        if (i + 1 < int(run.size()) || runReachesEnd) return i;
        if (headFollowsRun && forwardIsCheaper(target)) {
            const int found = decodeUntil(target);
            if (found >= 0) return found;
        }
    }
    return seekAndDecode(target);
}

// Runs on the decode-behind worker, on a demux+decode instance of its own:
// decodes from the keyframe before r.end up to the frame at r.end, keeping the
// last frames that fit r.bytes (with no current frame its run lets the oldest go).
std::vector<DecodeBehind::Frame> ClipDecoder::Impl::decodeBehindJob(const DecodeBehind::Request& r,
                                                                    DecodeBehind::Progress& p) {
    if (!behindSource || behindSource->fileName != r.file) {
        behindSource.reset();
        auto source = std::make_unique<Impl>();
        source->measureOnOpen = false;
        source->forwardWindow = false;
        source->threads = r.threads;
        source->fileName = r.file;
        source->progress = &p;
        source->openFile(r.file);
        behindSource = std::move(source);
    }
    Impl& s = *behindSource;
    s.progress = &p;
    s.budget = r.bytes;
    s.run.clear();
    s.runBytes = 0;
    s.currentPts = AV_NOPTS_VALUE;
    s.locate(r.end - 1);
    // The frame at r.end proves the last one ends there; without it they do not join the owner's run.
    if (s.run.empty() || s.run.back().pts != r.end) return {};
    std::vector<DecodeBehind::Frame> frames;
    for (auto& c : s.run)
        if (c.pts < r.end) frames.push_back({std::move(c.frame), c.pts, c.duration, c.bytes});
    s.run.clear();
    s.runBytes = 0;
    return frames;
}

// While idle, asks the worker for the frames before the run once the current
// frame is near its front (within half the budget), so they are ready before a
// step back reaches them. Room is made by letting go frames well ahead of the
// current one; the worker gets what is left of the budget.
void ClipDecoder::Impl::armBehind() {
    if (!behindOn || !codec || run.empty()) return;
    const int64_t end = run.front().pts;
    if (behind.holds(end)) return;
    behind.cancel();  // work for a run that started elsewhere is of no use, nor its allowance
    const int current = indexOfCurrent();
    if (current < 0 || end <= firstPts) return;
    int64_t toCurrent = 0;
    for (int i = 0; i <= current; ++i) toCurrent += run[size_t(i)].bytes;
    if (toCurrent > budget / 2) return;
    while (runBytes + pictureReserve() > budget / 2 && int(run.size()) - 1 > current + kKeptAhead) {
        CachedFrame& far = run.back();
        runBytes -= far.bytes + (far.image.isNull() ? 0 : far.image.sizeInBytes());
        recycle(std::move(far.image));
        run.pop_back();
        runReachesEnd = false;
        headFollowsRun = false;
    }
    const int64_t allowance = budget - runBytes - pictureReserve();
    if (allowance < std::max(budget / 4, 3 * run.front().bytes)) return;
    behind.request({fileName, threads, end, allowance});
}

// Puts the frames the worker finished in front of the run.
bool ClipDecoder::Impl::adoptBehind() {
    if (run.empty()) return false;
    auto frames = behind.take(run.front().pts);
    if (frames.empty()) return false;
    for (auto it = frames.rbegin(); it != frames.rend(); ++it) {
        CachedFrame c;
        c.frame = std::move(it->frame);
        c.pts = it->pts;
        c.duration = it->duration;
        c.bytes = it->bytes;
        runBytes += c.bytes;
        run.push_front(std::move(c));
    }
    evict();
    return true;
}

// Whether the frames the worker is decoding will include target: they start at
// the keyframe before the run, or later when not all of them fit its allowance.
bool ClipDecoder::Impl::behindWillHold(int64_t target) const {
    const CachedFrame& front = run.front();
    const int64_t capacity = behind.reservedBytes() / std::max<int64_t>(1, front.bytes) - 1;
    if (target < front.pts - capacity * nominalDuration) return false;
    const int i = av_index_search_timestamp(stream, front.pts - 1, AVSEEK_FLAG_BACKWARD);
    const AVIndexEntry* key = i >= 0 ? avformat_index_get_entry(stream, i) : nullptr;
    return !key || target >= key->timestamp;
}

// Before decoding frames that lie before the run, takes those the worker has
// finished, or waits for those it is decoding, as long as it makes progress,
// rather than decode them a second time on this thread.
void ClipDecoder::Impl::fetchBehind(int64_t target) {
    if (adoptBehind() || !behind.working(run.front().pts) || !behindWillHold(target)) return;
    if (behind.waitFor(run.front().pts, kBehindStall))
        adoptBehind();
    else
        behind.cancel();
}

QImage ClipDecoder::Impl::convert(const AVFrame* frame) {
    ff::FramePtr filtered;
    if (deinterlace) {
        filtered = deinterlaced(frame);
        if (filtered) frame = filtered.get();
    }
    QImage image = quarterTurns ? QImage(uprightWidth, uprightHeight, QImage::Format_RGB32) : blankImage();
    if (image.isNull()) return {};
    uint8_t* dst[4] = {image.bits(), nullptr, nullptr, nullptr};
    int dstStride[4] = {int(image.bytesPerLine()), 0, 0, 0};
    if (!scaler.scale(frame, {uprightWidth, uprightHeight, AV_PIX_FMT_RGB32}, dst, dstStride)) return {};
    // Qt turns by whole quarter turns with a plain memory rotation, no resampling.
    if (quarterTurns) image = image.transformed(QTransform().rotate(90.0 * quarterTurns));
    return image;
}

VideoFrame ClipDecoder::Impl::show(int index, bool withPicture) {
    CachedFrame& c = run[size_t(index)];
    currentPts = c.pts;
    if (c.image.isNull() && withPicture) {
        c.image = convert(c.frame.get());
        runBytes += c.image.sizeInBytes();
        dropFarPictures(index);
        evict();
    }
    VideoFrame v;
    v.image = c.image;
    v.positionMs = toMs(c.pts - firstPts);
    v.durationMs = toMs(c.duration);
    return v;
}

// FFmpeg's own messages go where MediaRuntime sent them (the trelvan.ffmpeg category).
ClipDecoder::ClipDecoder() : d(std::make_unique<Impl>()) {}
ClipDecoder::~ClipDecoder() = default;

void ClipDecoder::open(const QString& fileName) {
    d->close();
    d->fileName = fileName;
    try {
        d->openFile(fileName);
        d->show(0);
        d->armBehind();
    } catch (...) {
        d->close();
        throw;
    }
}

void ClipDecoder::close() { d->close(); }
bool ClipDecoder::isOpen() const { return d->codec != nullptr; }
const QString& ClipDecoder::fileName() const { return d->fileName; }
const ClipInfo& ClipDecoder::info() const { return d->info; }

VideoFrame ClipDecoder::seek(double ms) {
    if (!isOpen()) return {};
    if (!std::isfinite(ms)) ms = 0;
    // Past the end means the last frame; a clip cut short has listed frames
    // beyond it that a seek by the index would look for in vain.
    const int64_t target = std::min(d->fromMs(std::max(0.0, ms)), std::max(d->firstPts, d->endPts - 1));
    const VideoFrame v = d->show(d->locate(target));
    d->armBehind();
    return v;
}

VideoFrame ClipDecoder::stepForward(bool withPicture) {
    if (!isOpen()) return {};
    const int i = d->indexOfCurrent();
    if (i < 0) return {};
    if (i + 1 < int(d->run.size())) return d->show(i + 1, withPicture);
    if (d->runReachesEnd) return d->show(i, withPicture);
    if (d->headFollowsRun) {
        for (;;) {
            auto frame = d->decodeNext();
            if (!frame) {
                d->runReachesEnd = true;
                return d->show(d->indexOfCurrent(), withPicture);
            }
            if (d->push(std::move(frame))) return d->show(int(d->run.size()) - 1, withPicture);
        }
    }
    const CachedFrame& c = d->run[size_t(i)];
    return d->show(d->locate(c.pts + c.duration), withPicture);
}

VideoFrame ClipDecoder::stepBackward() {
    if (!isOpen()) return {};
    const int i = d->indexOfCurrent();
    if (i < 0) return {};
    if (i > 0) {
        const VideoFrame v = d->show(i - 1);
        d->armBehind();
        return v;
    }
    if (d->run.front().pts <= d->firstPts) return d->show(0);
    const VideoFrame v = d->show(d->locate(d->run.front().pts - 1));
    d->armBehind();
    return v;
}

VideoFrame ClipDecoder::current() {
    if (!isOpen()) return {};
    const int i = d->indexOfCurrent();
    return i < 0 ? VideoFrame{} : d->show(i);
}

bool ClipDecoder::atLastFrame() const {
    if (!isOpen() || !d->runReachesEnd) return false;
    return d->indexOfCurrent() == int(d->run.size()) - 1;
}

void ClipDecoder::setCacheBudget(int64_t bytes) {
    d->behind.cancel();  // its allowance came from the old budget
    d->budget = std::max<int64_t>(0, bytes);
    d->evict();
    d->armBehind();
}

int64_t ClipDecoder::defaultCacheBudget() {
    constexpr int64_t kMiB = 1024 * 1024;
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGE_SIZE);
    const int64_t physical = pages > 0 && pageSize > 0 ? int64_t(pages) * pageSize : 0;
    return std::clamp<int64_t>(physical / 8, 256 * kMiB, 2048 * kMiB);
}

void ClipDecoder::setDecodeBehind(bool on) {
    if (d->behindOn == on) return;
    d->behindOn = on;
    if (on)
        d->armBehind();
    else
        d->behind.cancel();
}
int64_t ClipDecoder::cacheBudget() const { return d->budget; }

void ClipDecoder::setDeinterlace(bool on) {
    if (d->deinterlace == on) return;
    d->deinterlace = on;
    // Pictures converted with the old setting are converted again when shown.
    for (auto& c : d->run) {
        if (!c.image.isNull()) d->runBytes -= c.image.sizeInBytes();
        c.image = QImage();
    }
}
bool ClipDecoder::deinterlace() const { return d->deinterlace; }
void ClipDecoder::setThreadCount(int threads) { d->threads = std::max(0, threads); }

ClipDecoder::Stats ClipDecoder::stats() const {
    Stats s = d->stats;
    s.cachedFrames = int64_t(d->run.size());
    s.cachedBytes = d->runBytes;
    s.behindBytes = d->behind.reservedBytes();
    s.framesReadyBehind = d->behind.framesReady();
    return s;
}

}  // namespace tvn
