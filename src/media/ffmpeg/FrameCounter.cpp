#include "media/ffmpeg/FrameCounter.h"

#include "media/ffmpeg/FfmpegCompat.h"

#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace tvn {

namespace {
Q_LOGGING_CATEGORY(lcDecoder, "tvn.media.decoder")
}  // namespace

FrameCounter::Count FrameCounter::count() {
    AVStream* const stream = clip_.stream();
    const int64_t firstPts = clip_.firstPts();
    const AVRational rate = av_guess_frame_rate(clip_.format(), stream, nullptr);
    frameTicks_ = rate.num > 0 && rate.den > 0 ? 1.0 / (av_q2d(rate) * av_q2d(clip_.timeBase())) : 0.0;
    // A variable-rate clip's container duration can miss the last frame's own
    // length; its packets tell the truth.
    const bool variableRate = stream->avg_frame_rate.num > 0 && stream->r_frame_rate.num > 0 &&
                              std::abs(av_q2d(stream->avg_frame_rate) / av_q2d(stream->r_frame_rate) - 1.0) > 0.01;
    const int64_t listed = stream->nb_frames;
    const int64_t fileBytes = QFileInfo(clip_.fileName()).size();
    const int64_t absent = listed > 0 ? listedFramesPastEnd(fileBytes) : 0;
    const bool listedDuration = stream->duration > 0 && stream->duration != AV_NOPTS_VALUE;
    int64_t count = 0;
    result_.endPts = firstPts;
    if (listed > 0 && listedDuration && !variableRate && absent == 0) {
        count = listed;
        result_.endPts = firstPts + stream->duration;
    } else if (std::strstr(clip_.format()->iformat->name, "mpegts")) {
        count = countTransportStream();
    } else {
        const ClipEnd end = absent > 0 ? decodeEnd(lastListedPresent(fileBytes), !variableRate)
                                       : readEnd(claimedEnd());
        const bool grid = end.found && frameTicks_ > 0 && !variableRate && end.onGrid;
        if (end.found && listed > 0 && !grid) {
            count = listed - absent;
            result_.endPts = end.end;
        } else if (grid) {
            count = std::llround(double(end.lastPts - firstPts) / frameTicks_) + 1;
            result_.endPts = firstPts + std::llround(double(count) * frameTicks_);
        } else {
            count = countPackets();
        }
    }
    result_.frames = count;
    result_.missing = listed > count ? listed - count : 0;
    if (result_.missing > 0)
        qCWarning(lcDecoder, "'%s' is cut short: %lld of the %lld frames its index lists are missing",
                  qPrintable(clip_.fileName()), static_cast<long long>(listed - count), static_cast<long long>(listed));
    if (result_.endPts <= firstPts) result_.endPts = firstPts + clip_.nominalDuration() * std::max<int64_t>(1, count);
    return result_;
}

// Listed frames of the video stream whose data lies past the end of the file.
int64_t FrameCounter::listedFramesPastEnd(int64_t fileBytes) const {
    int64_t past = 0;
    const int n = avformat_index_get_entries_count(clip_.stream());
    for (int i = 0; i < n; ++i) {
        const AVIndexEntry* e = avformat_index_get_entry(clip_.stream(), i);
        if (e->pos >= 0 && e->size > 0 && e->pos + e->size > fileBytes && !(e->flags & AVINDEX_DISCARD_FRAME)) ++past;
    }
    return past;
}

// Timestamp of the last listed frame whose data is in the file.
int64_t FrameCounter::lastListedPresent(int64_t fileBytes) const {
    int64_t last = clip_.firstPts();
    const int n = avformat_index_get_entries_count(clip_.stream());
    for (int i = 0; i < n; ++i) {
        const AVIndexEntry* e = avformat_index_get_entry(clip_.stream(), i);
        if (e->pos >= 0 && e->pos + e->size <= fileBytes) last = std::max(last, e->timestamp);
    }
    return last;
}

// Where the container says the stream ends, or no value when it does not say.
int64_t FrameCounter::claimedEnd() const {
    if (clip_.stream()->duration > 0 && clip_.stream()->duration != AV_NOPTS_VALUE) return clip_.firstPts() + clip_.stream()->duration;
    if (clip_.format()->duration <= 0 || clip_.format()->duration == AV_NOPTS_VALUE) return AV_NOPTS_VALUE;
    const int64_t start = clip_.format()->start_time != AV_NOPTS_VALUE ? clip_.format()->start_time : 0;
    return av_rescale_q(start + clip_.format()->duration, AV_TIME_BASE_Q, clip_.timeBase());
}

namespace {
// The stream of another demuxer of the same file that is this clip's video.
int sameStream(const AVFormatContext* other, const AVStream* stream) {
    for (unsigned i = 0; i < other->nb_streams; ++i) {
        const AVStream* s = other->streams[i];
        if (s->id == stream->id && s->codecpar->codec_type == AVMEDIA_TYPE_VIDEO &&
            av_cmp_q(s->time_base, stream->time_base) == 0)
            return int(i);
    }
    return -1;
}
}  // namespace

// Reads the video packets from the keyframe before `near` to the end of the file
// (a second demuxer, so the decoder's own position is untouched): the last frame,
// where it ends, and whether the timestamps read and those of the index lie on
// the constant rate's grid.
FrameCounter::ClipEnd FrameCounter::readEnd(int64_t near) const {
    ClipEnd result;
    if (near == AV_NOPTS_VALUE) return result;
    AVFormatContext* raw = nullptr;
    if (avformat_open_input(&raw, clip_.fileName().toUtf8().constData(), nullptr, nullptr) < 0) return result;
    ff::FormatPtr tail(raw);
    const int index = sameStream(tail.get(), clip_.stream());
    if (index < 0) return result;
    for (unsigned i = 0; i < tail->nb_streams; ++i)
        if (int(i) != index) tail->streams[i]->discard = AVDISCARD_ALL;
    const int64_t from = std::max(clip_.firstPts(), near - av_rescale_q(5, AVRational{1, 1}, clip_.timeBase()));
    if (avformat_seek_file(tail.get(), index, INT64_MIN, from, from, 0) < 0) return result;
    const auto onGrid = [&](int64_t ts) {
        if (frameTicks_ <= 0) return false;
        const double t = double(ts - clip_.firstPts());
        return std::abs(t - std::round(t / frameTicks_) * frameTicks_) <= std::max(0.51, 0.01 * frameTicks_);
    };
    auto pkt = ff::makePacket();
    while (av_read_frame(tail.get(), pkt.get()) >= 0) {
        const int64_t pts = pkt->pts != AV_NOPTS_VALUE ? pkt->pts : pkt->dts;
        if (pkt->stream_index == index && pts != AV_NOPTS_VALUE && !(pkt->flags & AV_PKT_FLAG_CORRUPT)) {
            result.onGrid = result.onGrid && onGrid(pts);
            if (!result.found || pts > result.lastPts) {
                result.lastPts = pts;
                result.end = pts + (pkt->duration > 0 ? pkt->duration : clip_.nominalDuration());
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
FrameCounter::ClipEnd FrameCounter::decodeEnd(int64_t near, bool constantRate) {
    ClipEnd result;
    const int64_t from = std::max(clip_.firstPts(), near - av_rescale_q(5, AVRational{1, 1}, clip_.timeBase()));
    if (clip_.seekBackward(from) >= 0) {
        clip_.flush();
        while (auto frame = clip_.decodeNext()) {
            const int64_t pts = frame->best_effort_timestamp;
            if (pts == AV_NOPTS_VALUE || (result.found && pts <= result.lastPts)) continue;
            if (result.found && constantRate && frameTicks_ > 0 && double(pts - result.lastPts) > 1.5 * frameTicks_) break;
            result.found = true;
            result.lastPts = pts;
            const int64_t duration = ff::frameDuration(frame.get());
            result.end = pts + (duration > 0 ? duration : clip_.nominalDuration());
        }
        result.onGrid = constantRate;
    }
    clip_.seekToStartByTime();
    clip_.flush();
    result_.rewound = true;
    return result;
}

// Counts the video frames by reading every packet once, without parsing their data.
int64_t FrameCounter::countPackets() {
    AVFormatContext* raw = nullptr;
    if (avformat_open_input(&raw, clip_.fileName().toUtf8().constData(), nullptr, nullptr) < 0) return 0;
    ff::FormatPtr scan(raw);
    scan->flags |= AVFMT_FLAG_NOPARSE;
    const int index = sameStream(scan.get(), clip_.stream());
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
                result_.endPts = std::max(result_.endPts, pts + (pkt->duration > 0 ? pkt->duration : clip_.nominalDuration()));
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
int64_t FrameCounter::countTransportStream() {
    QFile file(clip_.fileName());
    if (!file.open(QIODevice::ReadOnly)) return countPackets();
    constexpr int64_t kWrap = int64_t(1) << 33;
    const int pid = clip_.stream()->id;
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
            if (pts < clip_.firstPts()) continue;
            ++count;
            // The random access indicator marks the packets keyframes start in.
            if ((h[3] & 0x20) && h[4] > 0 && (h[5] & 0x40)) ++keyframes;
            result_.endPts = std::max(result_.endPts, pts + clip_.nominalDuration());
        }
        // Keep the partial packet, read on.
        const int64_t keep = std::max<int64_t>(0, have - at);
        std::memmove(buf.data(), buf.data() + at, size_t(keep));
        const int64_t got = file.read(reinterpret_cast<char*>(buf.data() + keep), int64_t(buf.size()) - keep);
        if (got <= 0) break;
        have = keep + got;
        at = 0;
    }
    if (keyframes > 1) result_.keyInterval = (result_.endPts - clip_.firstPts()) / keyframes;
    if (lost > 0) qCDebug(lcDecoder, "'%s': %lld bytes out of sync skipped", qPrintable(clip_.fileName()), static_cast<long long>(lost));
    return count;
}

}  // namespace tvn
