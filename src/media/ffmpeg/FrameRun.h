#pragma once

#include "media/ffmpeg/ClipDecoder.h"
#include "media/ffmpeg/ClipDemuxer.h"
#include "media/ffmpeg/DecodeBehind.h"

#include <QImage>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>

namespace tvn {

class PictureConverter;

// The decoded frames around the current position, and the way to any other
// frame: consecutive pictures in presentation order, as the decoder gave them
// (the few nearest the current frame also converted), within a memory budget,
// farthest frames first out. A frame outside the run is reached by decoding on
// from the decoder's head when no keyframe lies between, else by seeking to the
// keyframe before it; frames before the run come from the decode-behind worker
// when it has them (or is about to). While a slider is dragged, the same worker
// decodes ahead from the keyframe before the target to the target, and an
// exact jump there takes (or waits for) its frames. Used from one thread at a time.
class FrameRun {
public:
    // pictures converts what show() hands out; a run without one (a decode-behind
    // job's) never shows. forwardWindow: decoding forward keeps only a window
    // behind the newest frame (a decode-behind job keeps all its allowance holds).
    FrameRun(ClipDemuxer& clip, PictureConverter* pictures, bool forwardWindow = true);
    ~FrameRun();
    FrameRun(const FrameRun&) = delete;
    FrameRun& operator=(const FrameRun&) = delete;

    // Decodes the clip's first picture, which starts the clip's time and the run.
    // Throws ClipOpenFailed when there is none.
    void startAtFirstPicture();
    // The same after the demuxer was moved and brought back to the start.
    void restartAtFirstPicture();
    void close();

    // The first frame becomes current (after startAtFirstPicture).
    VideoFrame showFirst();
    VideoFrame seek(int64_t target);
    // A picture near target that costs little, at once: the frame itself when
    // the run holds it or it is a few pictures on from the decoder's head; else
    // the run's newest frame when target lies further on in the keyframe
    // interval the run is in; else the keyframe at or before target, decoded
    // alone. Meanwhile the worker decodes on to the target. Exact (as seek)
    // where the clip gives no cheap picture.
    VideoFrame seekApproximate(int64_t target);
    VideoFrame stepForward(bool withPicture);
    VideoFrame stepBackward();
    VideoFrame current();
    bool atLastFrame() const;

    void setBudget(int64_t bytes);
    int64_t budget() const { return budget_; }
    void setDecodeBehind(bool on);
    // Memory a converted picture takes (the pictures the run may still convert count against the budget).
    void setPictureBytes(int64_t bytes) { pictureBytes_ = bytes; }
    // Mean distance between keyframes where the clip's counting found it (MPEG-TS), stream ticks.
    void setKeyInterval(int64_t ticks) { keyInterval_ = ticks; }
    // Forgets the converted pictures (converted again when shown).
    void dropPictures();
    void addStats(ClipDecoder::Stats& stats) const;

private:
    // One decoded picture of the run.
    struct CachedFrame {
        ff::FramePtr frame;  // shares the decoder's buffer
        int64_t pts = 0;
        int64_t duration = 0;  // stream time base; exact once the next frame is known
        QImage image;          // converted picture, kept once shown
        int64_t bytes = 0;
    };
    struct BehindSource;

    bool push(ff::FramePtr frame);
    void trimBehindHead();
    void evict();
    void drop(CachedFrame& frame);
    std::optional<int> lastAtOrBefore(int64_t ts) const;
    std::optional<int> currentIndex() const;
    std::optional<int> decodeUntil(int64_t target);
    int seekAndDecode(int64_t target);
    bool forwardIsCheaper(int64_t target) const;
    int locate(int64_t target);
    void restart();
    VideoFrame show(int index, bool withPicture = true);
    void dropFarPictures(int index);
    int64_t pictureReserve() const;
    std::vector<DecodeBehind::Frame> decodeBehindJob(const DecodeBehind::Request& r, DecodeBehind::Progress& p);
    std::vector<DecodeBehind::Frame> framesEndingAt(int64_t end, int64_t bytes);
    std::vector<DecodeBehind::Frame> framesThrough(int64_t key, DecodeBehind::Progress& progress, int64_t bytes);
    std::optional<int> keyframePicture(int64_t target);
    void requestAhead(int64_t key, int64_t target);
    bool adoptAhead();
    void fetchAhead(int64_t target);
    void armBehind();
    bool adoptBehind();
    bool behindWillHold(int64_t target) const;
    void fetchBehind(int64_t target);

    ClipDemuxer& clip_;
    PictureConverter* pictures_;
    const bool forwardWindow_;
    std::deque<CachedFrame> run_;
    int64_t bytes_ = 0;
    bool reachesEnd_ = false;   // run_.back() is the clip's last frame
    bool headFollows_ = false;  // the decoder's next picture is the one after run_.back()
    int64_t currentPts_ = AV_NOPTS_VALUE;
    int64_t budget_;
    int64_t pictureBytes_ = 0;
    int64_t keyInterval_ = 0;
    int64_t demuxSeeks_ = 0;
    bool settleBehind_ = true;  // false right after a jump restarted the run: decode-behind starts at once
    int64_t aheadKey_ = AV_NOPTS_VALUE;  // a decode-ahead job's run: the keyframe its frames start from

    // Decode-behind: the job's decoder is touched only by the worker thread
    // (declared before the worker, which is stopped first when this goes).
    std::unique_ptr<BehindSource> behindSource_;
    DecodeBehind behind_;
    bool behindOn_ = false;
};

}  // namespace tvn
