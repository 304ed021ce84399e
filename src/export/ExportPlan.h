#pragma once

#include <QString>
#include <cstdint>
#include <vector>

namespace tvn {

// What a video export shows, step by step: the clip's frames of a range in
// order, each as many times as its speed says, and the pauses between them.
// The output runs at the clip's own frame rate, so a frame shown twice is half
// speed. Pure arithmetic on frame numbers, made on the UI thread, run by the
// export's worker.
//
// Speed ranges: frames first..last (inclusive) at a factor; 2 shows each frame
// twice as long (half speed), 4 a quarter speed, 0.5 every other frame (double
// speed, for the run-up a coach skips through). A fractional factor shows the
// frames so that the run's total is the factor times its length, rounded
// (1.5: one frame, two frames, one, two ...). Overlapping ranges: the later one
// set wins on its frames. Pauses hold a frame for some seconds after it has
// been shown, with a label; several on one frame follow one another.
class ExportPlan {
public:
    struct SpeedRange {
        int32_t first = 0;
        int32_t last = 0;
        double factor = 1;
    };
    struct Pause {
        int32_t frame = 0;
        double seconds = 0;
        QString label;
    };
    struct Step {
        int32_t frame = 0;   // the clip's frame shown
        int64_t copies = 0;  // output frames showing it (0: left out at a high speed)
        double factor = 1;   // the speed's factor (sound tempo = 1 / factor); pauses 0
        bool pause = false;  // a pause: silent, its label drawn
        QString label;
    };

    static constexpr double MinFactor = 0.125;
    static constexpr double MaxFactor = 32;
    static constexpr double MaxPauseSeconds = 600;

    // Throws TvnError InvalidCall (5) for a range outside 0..frameCount-1, first
    // after last, a factor outside [MinFactor, MaxFactor], a pause outside the
    // range or of a length outside (0, MaxPauseSeconds].
    static ExportPlan make(int32_t first, int32_t last, int32_t frameCount, const std::vector<SpeedRange>& speeds,
                           const std::vector<Pause>& pauses, double frameMs);

    const std::vector<Step>& steps() const { return steps_; }
    int64_t outputFrames() const { return outputFrames_; }
    double frameMs() const { return frameMs_; }
    double durationMs() const { return outputFrames_ * frameMs_; }

private:
    std::vector<Step> steps_;
    int64_t outputFrames_ = 0;
    double frameMs_ = 0;
};

}  // namespace tvn
