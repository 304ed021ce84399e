#include "media/ffmpeg/ClipDecoder.h"

#include "core/TvnError.h"
#include "media/ffmpeg/FfmpegHandles.h"
#include "media/ffmpeg/FrameScaler.h"

extern "C" {
#include <libavfilter/buffersink.h>
#include <libavutil/display.h>
#include <libavfilter/buffersrc.h>
#include <libavutil/imgutils.h>
}

#include <QFileInfo>
#include <QTransform>
#include <algorithm>
#include <cmath>
#include <deque>

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

int64_t pictureBytes(const AVFrame* f) {
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
    int64_t budget = kDefaultCacheBudget;
    bool deinterlace = false;
    int threads = 0;
    Stats stats;

    void close() {
        run.clear();
        spareImages.clear();
        runBytes = 0;
        scaler = FrameScaler();
        codec.reset();
        format.reset();
        stream = nullptr;
        streamIndex = -1;
        info = {};
        fileName.clear();
        currentPts = AV_NOPTS_VALUE;
        runReachesEnd = headFollowsRun = demuxDone = false;
    }

    double toMs(int64_t ts) const { return double(ts) * av_q2d(timeBase) * 1000.0; }
    int64_t fromMs(double ms) const {
        return firstPts + int64_t(std::floor(ms / 1000.0 / av_q2d(timeBase) + 1e-6));
    }

    void openFile(const QString& file);
    void measure();
    ff::FramePtr decodeNext();
    bool push(ff::FramePtr frame);
    void evict();
    int lastAtOrBefore(int64_t ts) const;
    int indexOfCurrent() const { return currentPts == AV_NOPTS_VALUE ? -1 : lastAtOrBefore(currentPts); }
    int decodeUntil(int64_t target);
    int seekAndDecode(int64_t target);
    bool forwardIsCheaper(int64_t target) const;
    int locate(int64_t target);
    VideoFrame show(int index, bool withPicture = true);
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

// Frame count and end of the video stream: from the container's sample table
// when it has one (MP4, MOV, AVI), otherwise by reading every packet once (a
// demux pass without decoding; Matroska, WebM and MPEG-TS do not store a count).
void ClipDecoder::Impl::measure() {
    // A variable-rate clip's container duration can miss the last frame's own
    // length; its packets tell the truth.
    const bool variableRate = stream->avg_frame_rate.num > 0 && stream->r_frame_rate.num > 0 &&
                              std::abs(av_q2d(stream->avg_frame_rate) / av_q2d(stream->r_frame_rate) - 1.0) > 0.01;
    if (!variableRate && stream->nb_frames > 0 && stream->duration > 0 && stream->duration != AV_NOPTS_VALUE) {
        info.frameCount = double(stream->nb_frames);
        endPts = firstPts + stream->duration;
    } else {
        AVFormatContext* raw = nullptr;
        int64_t count = 0;
        int64_t end = firstPts;
        if (avformat_open_input(&raw, fileName.toUtf8().constData(), nullptr, nullptr) >= 0) {
            ff::FormatPtr scan(raw);
            if (avformat_find_stream_info(scan.get(), nullptr) >= 0 && streamIndex < int(scan->nb_streams)) {
                for (unsigned i = 0; i < scan->nb_streams; ++i)
                    if (int(i) != streamIndex) scan->streams[i]->discard = AVDISCARD_ALL;
                auto pkt = ff::makePacket();
                while (av_read_frame(scan.get(), pkt.get()) >= 0) {
                    if (pkt->stream_index == streamIndex) {
                        ++count;
                        const int64_t pts = pkt->pts != AV_NOPTS_VALUE ? pkt->pts : pkt->dts;
                        if (pts != AV_NOPTS_VALUE)
                            end = std::max(end, pts + (pkt->duration > 0 ? pkt->duration : nominalDuration));
                    }
                    av_packet_unref(pkt.get());
                }
            }
        }
        info.frameCount = double(count);
        endPts = end;
    }
    if (endPts <= firstPts) endPts = firstPts + nominalDuration * std::max<int64_t>(1, int64_t(info.frameCount));
    info.durationMs = toMs(endPts - firstPts);
}

ff::FramePtr ClipDecoder::Impl::decodeNext() {
    auto frame = ff::makeFrame();
    int errors = 0;
    for (;;) {
        int r = avcodec_receive_frame(codec.get(), frame.get());
        if (r == 0) {
            ++stats.framesDecoded;
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
    evict();
    return true;
}

// Frees the frames farthest from the current one until the run fits its budget.
// The front goes first (the run is decoded forward); the back only when the
// current frame is at the front. Two frames always stay: the one found and the
// one after it that proved where it ends.
void ClipDecoder::Impl::evict() {
    while (runBytes > budget && run.size() > 2) {
        const bool frontIsCurrent = run.front().pts == currentPts;
        CachedFrame& victim = frontIsCurrent ? run.back() : run.front();
        runBytes -= victim.bytes + victim.image.sizeInBytes() * (victim.image.isNull() ? 0 : 1);
        recycle(std::move(victim.image));
        if (frontIsCurrent) {
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
        backoff = backoff == 0 ? second : backoff * 4;
    }
    throw TvnError(err::ClipOpenFailed,
                   QStringLiteral("Cannot show the frame at %1 ms of '%2': the clip cannot be decoded there")
                       .arg(toMs(target - firstPts))
                       .arg(fileName),
                   QStringLiteral("ClipDecoder"));
}

// Decoding on from the head is cheaper than a seek when no keyframe lies
// between the head and the target (the seek would land before the head).
bool ClipDecoder::Impl::forwardIsCheaper(int64_t target) const {
    const int64_t head = run.back().pts;
    const int i = av_index_search_timestamp(stream, target, AVSEEK_FLAG_BACKWARD);
    if (i >= 0) {
        const AVIndexEntry* e = avformat_index_get_entry(stream, i);
        if (e) return e->timestamp <= head;
    }
    return target - head <= av_rescale_q(1, AVRational{1, 1}, timeBase);
}

int ClipDecoder::Impl::locate(int64_t target) {
    target = std::max(target, firstPts);
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

ClipDecoder::ClipDecoder() : d(std::make_unique<Impl>()) {
    // FFmpeg's warnings (concealed errors, odd timestamps in phone footage) are
    // not the coach's business; failures reach the caller as TvnError. The level
    // is FFmpeg's one global setting, so a host that chose its own keeps it.
    static const bool quiet = [] {
        if (av_log_get_level() == AV_LOG_INFO) av_log_set_level(AV_LOG_ERROR);
        return true;
    }();
    (void)quiet;
}
ClipDecoder::~ClipDecoder() = default;

void ClipDecoder::open(const QString& fileName) {
    d->close();
    d->fileName = fileName;
    try {
        d->openFile(fileName);
        d->show(0);
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
    return d->show(d->locate(d->fromMs(std::max(0.0, ms))));
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
    if (i > 0) return d->show(i - 1);
    if (d->run.front().pts <= d->firstPts) return d->show(0);
    return d->show(d->locate(d->run.front().pts - 1));
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
    d->budget = std::max<int64_t>(0, bytes);
    d->evict();
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
    return s;
}

}  // namespace tvn
