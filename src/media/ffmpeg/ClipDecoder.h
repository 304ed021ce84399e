#pragma once

#include "media/ClipInfo.h"
#include "media/VideoFrame.h"

#include <QString>
#include <cstdint>
#include <memory>

namespace tvn {

// Opens a clip and presents it frame by frame with exact positions. No widget and
// no thread of its own: it is used from one thread at a time (the display engine
// hands it to its playback worker while playing; the mixer gives each source its own).
//
// Seeking shows the frame whose display interval contains the time asked for:
// seek backward to the keyframe before it, flush, decode forward, drop what ends
// before the target. Decoded frames around the position are kept in a cache
// within a memory budget, as the decoder gave them (YUV, under half the size of
// RGB32), and converted when shown; the few pictures nearest the current frame
// stay converted. So stepping back and jumping near the current frame cost a
// colour conversion at most; stepping forward decodes on from where the decoder
// stands and never seeks. Decoding forward (a step, a jump or playing) keeps
// only a window of frames behind the newest one (about 2 s of 1080p), so the
// decoder reuses the memory of the frames that leave it instead of faulting in
// fresh memory for every picture; the rest of the budget is filled behind the
// run by decode-behind, in idle time.
//
// Decode-behind: while the owner is idle (setDecodeBehind), a worker decodes
// the frames before the first cached one on a second instance of the clip, so
// a step back across a keyframe finds them ready instead of decoding the whole
// interval before it on the caller's thread. A step back to a frame the worker
// is about to deliver waits for it (bounded) rather than decode it twice.
class ClipDecoder {
public:
    // The default cache budget: an eighth of the machine's physical memory,
    // between 256 MiB and 2 GiB (2 GiB from 16 GiB up: about 650 frames of 1080p,
    // the interval being stepped through and the one before it at a keyframe
    // every 250 frames). Each decoder has its own (the mixer's sources too).
    static int64_t defaultCacheBudget();

    ClipDecoder();
    ~ClipDecoder();
    ClipDecoder(const ClipDecoder&) = delete;
    ClipDecoder& operator=(const ClipDecoder&) = delete;

    // Opens the clip and decodes its first frame, which becomes the current one.
    // Throws TvnError naming the file and the cause: FileNotFound (53) for a
    // missing file, PathFileAccess (75) for an unreadable one, ClipOpenFailed for
    // anything FFmpeg cannot demux or decode or that has no video.
    void open(const QString& fileName);
    void close();
    bool isOpen() const;
    const QString& fileName() const;
    const ClipInfo& info() const;

    // The frame whose interval contains ms (clamped into the clip: before the
    // start gives the first frame, past the end the last) becomes current.
    VideoFrame seek(double ms);
    // A picture near ms that costs little, for a slider being dragged: the frame
    // at ms where it is cached or a few pictures on from the decoder, else the
    // newest cached frame of the keyframe interval ms is in, else the keyframe
    // at or before ms decoded alone. Meanwhile the decode-behind worker decodes
    // on to ms (while decode-behind is on), so a seek(ms) at the end of the drag
    // finds its frame ready or nearly. Exact, as seek, where the clip offers no
    // cheaper picture (a container without a keyframe index that seeks late).
    VideoFrame seekApproximate(double ms);
    // The next frame becomes current; at the last frame it stays there. With
    // withPicture false the frame is decoded but not converted: the result has
    // its times and no image (unless it was converted before). A player running
    // late skips the conversion of frames it will not show, and asks current()
    // for the picture of those it does.
    VideoFrame stepForward(bool withPicture = true);
    // The previous frame becomes current; at the first frame it stays there.
    VideoFrame stepBackward();
    VideoFrame current();
    // The current frame's picture as 4:2:0 planes (PictureConverter::planar),
    // converted anew on each call; null when the clip's colours need RGB.
    PlanarPicture currentPlanar();
    bool atLastFrame() const;

    // Memory the decoded-frame cache may use (bytes), counting what the
    // decode-behind worker may hold; frames farthest from the current one go
    // first. At least the current frame is always kept.
    void setCacheBudget(int64_t bytes);
    int64_t cacheBudget() const;
    // On while the owner is idle (a paused picture); off while a player steps
    // the decoder forward, so the worker does not compete with it. Off at first.
    void setDecodeBehind(bool on);
    // Deinterlaces pictures (FFmpeg's estdif, edge-directed, within the picture) before conversion.
    void setDeinterlace(bool on);
    bool deinterlace() const;
    // Pictures as 8-bit luma (QImage::Format_Grayscale8) instead of RGB32, for
    // analysis that needs only brightness (motion tracking): where the picture
    // needs no scaling, a copy of the decoded luma plane in the clip's own range
    // rather than a colour conversion. Same size and orientation as the RGB32 pictures.
    void setGrayscale(bool on);
    // Decoder threads, 0 = FFmpeg's choice from the processor count. Takes effect on the next open.
    void setThreadCount(int threads);

    // Counters that show how a frame was reached (tests and benchmarks).
    struct Stats {
        int64_t demuxSeeks = 0;     // seeks in the file
        int64_t framesDecoded = 0;  // pictures out of the decoder
        int64_t cachedFrames = 0;   // frames held now
        int64_t cachedBytes = 0;
        int64_t behindBytes = 0;        // set aside for the decode-behind worker
        int64_t framesReadyBehind = 0;  // decoded behind, taken by the next call that needs them
    };
    Stats stats() const;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

}  // namespace tvn
