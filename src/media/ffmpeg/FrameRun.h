#pragma once

#include "media/ffmpeg/BehindCoordinator.h"
#include "media/ffmpeg/ClipDecoder.h"
#include "media/ffmpeg/ClipDemuxer.h"
#include "media/ffmpeg/DecodeBehind.h"
#include "media/ffmpeg/FrameCache.h"
#include "media/ffmpeg/SeekPlanner.h"

#include <cstdint>
#include <vector>

namespace tvn {

class PictureConverter;

// The decoded frames around the current position, and the way to any other
// frame: a FrameCache (the frames and their budget), a SeekPlanner (decoding on
// or seeking to a frame the cache does not hold) and a BehindCoordinator (the
// frames before the cache from the decode-behind worker, and while a slider is
// dragged, the frames the same worker decodes ahead from the keyframe before the
// target to the target, which an exact jump there takes or waits for). Used
// from one thread at a time.
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
    // The current frame as the decoder gave it; null when there is none.
    const AVFrame* currentDecoded() const;
    bool atLastFrame() const;

    void setBudget(int64_t bytes);
    int64_t budget() const { return cache_.budget(); }
    void setDecodeBehind(bool on) { behind_.setOn(on); }
    // Memory a converted picture takes (the pictures the run may still convert count against the budget).
    void setPictureBytes(int64_t bytes) { cache_.setPictureBytes(bytes); }
    // Mean distance between keyframes where the clip's counting found it (MPEG-TS), stream ticks.
    void setKeyInterval(int64_t ticks) { planner_.setKeyInterval(ticks); }
    // Forgets the converted pictures (converted again when shown).
    void dropPictures() { cache_.dropPictures(); }
    void addStats(ClipDecoder::Stats& stats) const;

    // On a decode-behind job's run (the worker thread): the frames from the
    // keyframe before end that fit bytes and end at end, oldest first.
    std::vector<DecodeBehind::Frame> framesEndingAt(int64_t end, int64_t bytes);
    // On a decode-ahead job's run: the frames from the keyframe key through the
    // progress's target (following it while the owner moves it), within bytes.
    std::vector<DecodeBehind::Frame> framesThrough(int64_t key, DecodeBehind::Progress& progress, int64_t bytes);

private:
    int locate(int64_t target);

    ClipDemuxer& clip_;
    // In this order: the coordinator and the planner use the cache, the planner the coordinator.
    FrameCache cache_;
    BehindCoordinator behind_;
    SeekPlanner planner_;
    int64_t aheadKey_ = AV_NOPTS_VALUE;  // a decode-ahead job's run: the keyframe its frames start from
};

}  // namespace tvn
