#pragma once

#include <QString>

namespace studio {

// How the studio writes times and frames, one rule everywhere (the read-out, full
// screen, the status bar, the film strip, the lesson clock): a time is rounded to
// the nearest millisecond, halves to even, as the control rounds, so the read-out
// and the clock the control draws agree; frames are numbered from 0, as the
// control, the motion data and its CSV count them, and a frame read-out puts the
// last frame's number beside the frame shown, so the last frame reads "n / n".
struct TimeText {
    // "1:02.345" (minutes, seconds, milliseconds).
    static QString clock(double ms);
    // "1:02" (whole seconds, a running time such as a lesson's).
    static QString duration(double ms);
    // "frame 120 / 8999": the frame and the clip's last frame.
    static QString frame(int frame, int frameCount);
    // The whole milliseconds of ms by that rule (negative times count as 0).
    static qint64 wholeMs(double ms);
};

}  // namespace studio
