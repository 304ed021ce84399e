#pragma once

#include <QString>

namespace tvn {

// What a clip is, as the decoder presents it.
struct ClipInfo {
    // Display size in pixels: the sample aspect ratio applied, a clip whose
    // larger side exceeds 2160 pixels scaled so that side is 1920 (aspect kept),
    // which keeps every clip within the control's 16-bit twips, and the picture
    // turned upright as its display matrix says (portrait phone footage).
    int width = 0;
    int height = 0;
    int quarterTurns = 0;  // clockwise quarter turns applied to the decoded pictures
    int codedWidth = 0;   // size of the decoded pictures
    int codedHeight = 0;
    // Frames the clip has, exactly as the control counts them: frame n starts n
    // frame lengths after the first. From the sample table where the container
    // has one (MP4, MOV, AVI); at a constant rate otherwise, the frame intervals
    // from the first frame's start to the last frame's end, found by reading the
    // clip's last seconds (a frame a recorder dropped is an interval showing the
    // frame before); from every packet's header where only that can tell
    // (MPEG-TS, variable rate without a sample table).
    double frameCount = 0;
    // Frames the container's index lists that the file no longer holds (a
    // recording cut short by a full card or a lost battery); the clip opens with
    // the frames that are there and frameCount and durationMs count only those.
    double missingFrames = 0;
    double durationMs = 0;      // first frame's start to the last frame's end
    double nominalFrameMs = 0;  // one frame at the stream's average rate
    QString codecName;
    bool hasAudio = false;
    double firstFrameSeconds = 0;  // container time of the first frame (where engine time 0 is)
};

}  // namespace tvn
