#pragma once

#include "core/TvnError.h"
#include "media/ffmpeg/DecodeBehind.h"
#include "media/ffmpeg/FfmpegHandles.h"

#include <QString>
#include <cmath>
#include <cstdint>
#include <optional>

namespace tvn {

// Thrown out of decoding when the decode-behind worker's owner no longer wants its frames.
struct BehindCancelled {};

// A clip's video stream and its decoder: opening (with errors that name the
// file and the cause), the send/receive loop that turns packets into pictures,
// seeking and flushing, and the stream's time. Frame positions are stream
// timestamps; the clip's time starts at firstPts, the first picture's.
// Used from one thread at a time.
class ClipDemuxer {
public:
    // Throws ClipOpenFailed (or FileNotFound, PathFileAccess) naming the file and the cause.
    static TvnError openError(int32_t number, const QString& file, const QString& cause);

    // Opens the file's best video stream and its decoder (threads: 0 = FFmpeg's
    // choice); other streams are discarded. Throws openError. On a closed demuxer
    // only; after a throw, close() it.
    void open(const QString& file, int threads);
    void close();
    bool isOpen() const { return codec_ != nullptr; }
    const QString& fileName() const { return fileName_; }
    int threads() const { return threads_; }

    // The next picture in presentation order; nullptr once the stream is
    // exhausted (the end, or too many damaged packets in a row). Throws
    // BehindCancelled when progress (see watch) says so.
    ff::FramePtr decodeNext();
    // Forgets what the decoder holds, after a seek.
    void flush();
    // Seeks to the keyframe at or before ts; negative on failure.
    int seekBackward(int64_t ts);
    // Seeks to the clip's start by time, and failing that by byte.
    int seekToStartByTime();
    int seekToStartByByte();
    // A decode-behind job's decoder counts its pictures there and stops when it is cancelled.
    void watch(DecodeBehind::Progress* progress) { progress_ = progress; }

    // Time.
    AVRational timeBase() const { return timeBase_; }
    int64_t firstPts() const { return firstPts_; }
    // Also where the index's times stand against the pictures' (below).
    void setFirstPts(int64_t pts);
    int64_t nominalDuration() const { return nominalDuration_; }  // one frame at the stream's average rate
    int64_t ticksPerSecond() const { return av_rescale_q(1, AVRational{1, 1}, timeBase_); }
    double toMs(int64_t ts) const { return double(ts) * av_q2d(timeBase_) * 1000.0; }
    // The stream time of ms on the clip's time (counted from firstPts).
    int64_t fromMs(double ms) const { return firstPts_ + int64_t(std::floor(ms / 1000.0 / av_q2d(timeBase_) + 1e-6)); }

    // A keyframe the index lists.
    struct Keyframe {
        int64_t pts = 0;
        bool laterListed = false;  // the index lists one after it
    };
    // The last keyframe the index lists at or before ts, if it lists one, on
    // the pictures' time. MP4 and MOV index their samples by decoding time,
    // which runs ahead of presentation by the B-frame delay; the difference at
    // the first keyframe (the first picture's time less its index time) is
    // taken as that of every keyframe, so a time just before a keyframe does
    // not count as after it.
    std::optional<Keyframe> keyframeAtOrBefore(int64_t ts) const;
    // The container's index lists every keyframe: MP4, MOV and AVI from the
    // open, Matroska and WebM once a seek read their cues; never MPEG-TS, whose
    // index holds only what seeks found.
    bool indexListsEveryKeyframe() const { return indexListsEveryKeyframe_; }

    // For reading the container's own description (FFmpeg's API takes them non-const).
    AVFormatContext* format() const { return format_.get(); }
    AVStream* stream() const { return stream_; }
    int streamIndex() const { return streamIndex_; }
    QString codecName() const;
    bool hasAudio() const { return hasAudio_; }
    int64_t picturesDecoded() const { return picturesDecoded_; }

private:
    int seeked(int result);  // after every seek: what the index lists now

    QString fileName_;
    int threads_ = 0;
    ff::FormatPtr format_;
    ff::CodecPtr codec_;
    ff::PacketPtr packet_ = ff::makePacket();
    AVStream* stream_ = nullptr;
    int streamIndex_ = -1;
    AVRational timeBase_{1, 1};
    int64_t firstPts_ = 0;
    int64_t indexToPts_ = 0;  // added to an index time to give the keyframe's picture time
    int64_t nominalDuration_ = 1;
    bool indexListsEveryKeyframe_ = false;
    bool cuesOnSeek_ = false;  // Matroska: the first seek reads the whole index
    bool hasAudio_ = false;
    bool demuxDone_ = false;  // the end-of-stream packet has been sent
    int64_t picturesDecoded_ = 0;
    DecodeBehind::Progress* progress_ = nullptr;
};

}  // namespace tvn
