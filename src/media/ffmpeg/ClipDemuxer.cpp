#include "media/ffmpeg/ClipDemuxer.h"

#include "media/ffmpeg/FramePool.h"

#include <QFileInfo>
#include <cstring>

namespace tvn {

namespace {
// Consecutive decoder failures after which a stream is taken as ended.
constexpr int kMaxDecodeErrors = 64;
}  // namespace

TvnError ClipDemuxer::openError(int32_t number, const QString& file, const QString& cause) {
    return TvnError(number, QStringLiteral("Cannot open clip '%1': %2").arg(file, cause),
                    QStringLiteral("ClipDecoder"));
}

void ClipDemuxer::open(const QString& file, int threads) {
    fileName_ = file;
    threads_ = threads;
    const QFileInfo fi(file);
    if (file.isEmpty() || !fi.exists()) throw openError(err::FileNotFound, file, QStringLiteral("file not found"));
    if (!fi.isFile()) throw openError(err::PathFileAccess, file, QStringLiteral("not a file"));
    if (!fi.isReadable()) throw openError(err::PathFileAccess, file, QStringLiteral("permission denied"));
    if (fi.size() == 0) throw openError(err::ClipOpenFailed, file, QStringLiteral("the file is empty"));

    AVFormatContext* raw = nullptr;
    int r = avformat_open_input(&raw, file.toUtf8().constData(), nullptr, nullptr);
    if (r < 0) throw openError(err::ClipOpenFailed, file, ff::errorText(r));
    format_.reset(raw);
    r = avformat_find_stream_info(format_.get(), nullptr);
    if (r < 0) throw openError(err::ClipOpenFailed, file, ff::errorText(r));

    const AVCodec* decoder = nullptr;
    r = av_find_best_stream(format_.get(), AVMEDIA_TYPE_VIDEO, -1, -1, &decoder, 0);
    if (r == AVERROR_DECODER_NOT_FOUND) {
        const int any = av_find_best_stream(format_.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
        const char* name = any >= 0 ? avcodec_get_name(format_->streams[any]->codecpar->codec_id) : "unknown";
        throw openError(err::ClipOpenFailed, file,
                        QStringLiteral("no decoder for the video codec '%1'").arg(QLatin1String(name)));
    }
    if (r < 0 || (format_->streams[r]->disposition & AV_DISPOSITION_ATTACHED_PIC))
        throw openError(err::ClipOpenFailed, file, QStringLiteral("the file has no video stream"));
    streamIndex_ = r;
    stream_ = format_->streams[r];
    for (const char* name : {"mov", "avi"})
        if (std::strstr(format_->iformat->name, name)) indexListsEveryKeyframe_ = true;
    // Matroska (and WebM) reads its cues on the first seek; until then its index
    // lists only the keyframes read so far.
    cuesOnSeek_ = std::strstr(format_->iformat->name, "matroska") != nullptr;
    timeBase_ = stream_->time_base;
    for (unsigned i = 0; i < format_->nb_streams; ++i) {
        if (format_->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO) hasAudio_ = true;
        if (int(i) != streamIndex_) format_->streams[i]->discard = AVDISCARD_ALL;
    }

    codec_.reset(avcodec_alloc_context3(decoder));
    if (!codec_) throw openError(err::ClipOpenFailed, file, QStringLiteral("out of memory"));
    r = avcodec_parameters_to_context(codec_.get(), stream_->codecpar);
    if (r < 0) throw openError(err::ClipOpenFailed, file, ff::errorText(r));
    codec_->pkt_timebase = timeBase_;
    codec_->thread_count = threads;
    codec_->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
    FramePool::attach(codec_.get());
    r = avcodec_open2(codec_.get(), decoder, nullptr);
    if (r < 0) throw openError(err::ClipOpenFailed, file, ff::errorText(r));

    const AVRational rate = av_guess_frame_rate(format_.get(), stream_, nullptr);
    nominalDuration_ = rate.num > 0 ? std::max<int64_t>(1, av_rescale_q(1, av_inv_q(rate), timeBase_)) : 1;
}

void ClipDemuxer::close() {
    codec_.reset();
    format_.reset();
    FramePool::instance().sweep();
    stream_ = nullptr;
    streamIndex_ = -1;
    fileName_.clear();
    timeBase_ = {1, 1};
    firstPts_ = 0;
    indexToPts_ = 0;
    nominalDuration_ = 1;
    indexListsEveryKeyframe_ = cuesOnSeek_ = hasAudio_ = demuxDone_ = false;
}

QString ClipDemuxer::codecName() const { return codec_ ? QString::fromLatin1(codec_->codec->name) : QString(); }

ff::FramePtr ClipDemuxer::decodeNext() {
    auto frame = ff::makeFrame();
    int errors = 0;
    for (;;) {
        if (progress_ && progress_->cancelled.load(std::memory_order_relaxed)) throw BehindCancelled{};
        int r = avcodec_receive_frame(codec_.get(), frame.get());
        if (r == 0) {
            ++picturesDecoded_;
            if (progress_) ++progress_->pictures;
            return frame;
        }
        if (r == AVERROR_EOF) return nullptr;
        if (r != AVERROR(EAGAIN)) {
            if (++errors > kMaxDecodeErrors || demuxDone_) return nullptr;
        }
        if (demuxDone_) return nullptr;
        for (;;) {
            r = av_read_frame(format_.get(), packet_.get());
            if (r < 0) {
                avcodec_send_packet(codec_.get(), nullptr);  // drain the pictures still inside
                demuxDone_ = true;
                break;
            }
            if (packet_->stream_index != streamIndex_) {
                av_packet_unref(packet_.get());
                continue;
            }
            r = avcodec_send_packet(codec_.get(), packet_.get());
            av_packet_unref(packet_.get());
            // A damaged packet is skipped; the decoder goes on with the next one.
            if (r < 0 && r != AVERROR(EAGAIN) && ++errors > kMaxDecodeErrors) {
                avcodec_send_packet(codec_.get(), nullptr);
                demuxDone_ = true;
            }
            break;
        }
    }
}

void ClipDemuxer::flush() {
    avcodec_flush_buffers(codec_.get());
    demuxDone_ = false;
}

int ClipDemuxer::seekBackward(int64_t ts) { return seeked(av_seek_frame(format_.get(), streamIndex_, ts, AVSEEK_FLAG_BACKWARD)); }

int ClipDemuxer::seekToStartByTime() {
    return seeked(avformat_seek_file(format_.get(), streamIndex_, INT64_MIN, firstPts_, firstPts_, 0));
}

int ClipDemuxer::seekToStartByByte() { return seeked(av_seek_frame(format_.get(), streamIndex_, 0, AVSEEK_FLAG_BYTE)); }

int ClipDemuxer::seeked(int result) {
    if (cuesOnSeek_) indexListsEveryKeyframe_ = true;
    return result;
}

void ClipDemuxer::setFirstPts(int64_t pts) {
    firstPts_ = pts;
    indexToPts_ = 0;
    const AVIndexEntry* first = stream_ ? avformat_index_get_entry(stream_, 0) : nullptr;
    // A delay of up to a second; anything else is not a B-frame delay.
    if (first && first->timestamp <= pts && pts - first->timestamp <= ticksPerSecond()) indexToPts_ = pts - first->timestamp;
}

std::optional<ClipDemuxer::Keyframe> ClipDemuxer::keyframeAtOrBefore(int64_t ts) const {
    const int i = av_index_search_timestamp(stream_, ts - indexToPts_, AVSEEK_FLAG_BACKWARD);
    const AVIndexEntry* e = i >= 0 ? avformat_index_get_entry(stream_, i) : nullptr;
    if (!e) return std::nullopt;
    return Keyframe{e->timestamp + indexToPts_, avformat_index_get_entry(stream_, i + 1) != nullptr};
}

}  // namespace tvn
