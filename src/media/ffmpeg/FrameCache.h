#pragma once

#include "media/VideoFrame.h"
#include "media/ffmpeg/ClipDemuxer.h"
#include "media/ffmpeg/DecodeBehind.h"

#include <QImage>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>

namespace tvn {

class PictureConverter;

// The decoded frames around the current position and their memory budget:
// consecutive pictures in presentation order, as the decoder gave them (the few
// nearest the current frame also converted), the farthest frames first out
// when the run and what the decode-behind worker may hold exceed the budget.
// Decoding forward keeps only a window behind the newest frame (forwardWindow).
// Knows where the run stands: the current frame, whether the run reaches the
// clip's end, and whether the decoder's next picture follows its newest frame.
class FrameCache {
public:
    // One decoded picture of the run.
    struct CachedFrame {
        ff::FramePtr frame;  // shares the decoder's buffer
        int64_t pts = 0;
        int64_t duration = 0;  // stream time base; exact once the next frame is known
        QImage image;          // converted picture, kept once shown
        int64_t bytes = 0;
    };
    // Bytes the decode-behind worker may hold, which the run leaves free.
    using Reserved = std::function<int64_t()>;

    // pictures converts what show() hands out (none: the run never shows).
    FrameCache(ClipDemuxer& clip, PictureConverter* pictures, bool forwardWindow, Reserved reserved);

    // A picture decoded after the newest one; false (dropped) when it does not
    // move time forward (a damaged timestamp). Then trims and evicts.
    bool push(ff::FramePtr frame);
    // Frames a worker decoded, after the newest or before the oldest; no eviction (evict() after).
    void append(DecodeBehind::Frame&& frame);
    void prepend(DecodeBehind::Frame&& frame);
    void dropFront();
    // The newest frame goes: the run no longer reaches the end nor follows the decoder's head.
    void dropBack();
    // Every frame goes, its converted picture back to the converter's pool.
    void dropAll();
    // Every frame goes (a run about to be decoded afresh, a closed clip).
    void clear();
    void evict();

    std::deque<CachedFrame>& frames() { return frames_; }
    const std::deque<CachedFrame>& frames() const { return frames_; }
    bool empty() const { return frames_.empty(); }
    int size() const { return int(frames_.size()); }
    std::optional<int> lastAtOrBefore(int64_t ts) const;
    std::optional<int> currentIndex() const;
    // No frame is current: while decoding, the front of the run is the farthest.
    void clearCurrent() { currentPts_ = AV_NOPTS_VALUE; }
    bool reachesEnd() const { return reachesEnd_; }
    void setReachesEnd(bool on) { reachesEnd_ = on; }
    bool headFollows() const { return headFollows_; }
    void setHeadFollows(bool on) { headFollows_ = on; }

    // The frame at index becomes current; converted when withPicture and not yet.
    VideoFrame show(int index, bool withPicture = true);
    // Forgets the converted pictures (converted again when shown).
    void dropPictures();
    // Room for the converted pictures the run may still add (those it holds are in bytes()).
    int64_t pictureReserve() const;

    int64_t budget() const { return budget_; }
    // Only sets it: the owner evicts when it shrinks.
    void setBudget(int64_t bytes) { budget_ = bytes; }
    int64_t bytes() const { return bytes_; }
    void setPictureBytes(int64_t bytes) { pictureBytes_ = bytes; }
    int64_t pictureBytes() const { return pictureBytes_; }

private:
    void drop(CachedFrame& frame);
    void trimBehindHead();
    void dropFarPictures(int index);

    ClipDemuxer& clip_;
    PictureConverter* pictures_;
    const bool forwardWindow_;
    Reserved reserved_;
    std::deque<CachedFrame> frames_;
    int64_t bytes_ = 0;
    bool reachesEnd_ = false;   // frames_.back() is the clip's last frame
    bool headFollows_ = false;  // the decoder's next picture is the one after frames_.back()
    int64_t currentPts_ = AV_NOPTS_VALUE;
    int64_t budget_;
    int64_t pictureBytes_ = 0;
};

}  // namespace tvn
