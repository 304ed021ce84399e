#pragma once

#include "media/ffmpeg/ClipDemuxer.h"

#include <cstdint>

namespace tvn {

// Counts a clip's frames and finds where its video ends, without reading the
// whole clip where the container or the rate can tell:
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
//
// Reading the end of the file and counting packets use a second demuxer of the
// same file, opened for the count and closed after it. The clip's own demuxer
// has decoded the first picture and stands after it, with the decoder's state
// and the packets it buffered for that picture; reading elsewhere on it would
// mean seeking back and decoding the first picture again (what a clip cut
// short needs anyway, see Count::rewound). Counting packets also reads without
// FFmpeg's parsers (AVFMT_FLAG_NOPARSE), which a demuxer feeding a decoder cannot.
class FrameCounter {
public:
    struct Count {
        int64_t frames = 0;
        int64_t missing = 0;      // frames the index lists that the file no longer holds
        int64_t endPts = 0;       // where the last frame ends
        int64_t keyInterval = 0;  // mean distance between keyframes where counting found it (MPEG-TS)
        // The clip was decoded near its end to find it (a clip cut short): the
        // demuxer is back at the start, flushed, and its first picture must be decoded again.
        bool rewound = false;
    };

    // clip is open and its firstPts known; its own reading position moves only when rewound says so.
    explicit FrameCounter(ClipDemuxer& clip) : clip_(clip) {}
    Count count();

private:
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

    ClipDemuxer& clip_;
    double frameTicks_ = 0;  // one frame at the constant rate, in stream ticks; 0 when unknown
    Count result_;
};

}  // namespace tvn
