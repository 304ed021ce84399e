#pragma once

#include "export/ExportPlan.h"
#include "media/VideoFileWriter.h"

#include <QString>
#include <atomic>
#include <functional>
#include <memory>

namespace tvn {

class ExportDrawing;

// One video export from start to end, on the thread that calls run(): the
// clip's frames decoded by a FrameSource of its own (never the control's
// engine), each drawn by the ExportDrawing as the control shows it and written
// as often as the plan says, the sound read by a SoundSource and kept in step
// (slowed with its pitch kept in slow ranges, silent in pauses), into a
// VideoFileWriter. Nothing is shown and nothing waits for a clock.
//
// A failure throws TvnError and leaves no file: the writer removes its
// temporary file. A cancel ends the export the same way and returns false.
class ExportRun {
public:
    // A second clip beside the first or mixed over it, in step: its frame at
    // firstFrame goes with the plan's first frame, and it runs on at the same
    // pace (by time, so clips of different rates keep together).
    struct Comparison {
        enum class Layout { None, SideBySide, Mixed };
        Layout layout = Layout::None;
        QString clip;
        int32_t firstFrame = 0;
        int opacityPercent = 50;  // Mixed: the second clip's opacity
    };
    struct Job {
        QString clip;
        QString file;
        ExportPlan plan;
        std::shared_ptr<ExportDrawing> drawing;
        VideoFileWriter::Settings settings;  // size 0 x 0: the clip's display size (twice as wide side by side)
        Comparison comparison;
        // Slow ranges by motion-compensated in-between pictures (SlowMotionFrames)
        // instead of repeated frames; a comparison, and a clip whose colours only
        // RGB shows, repeat frames.
        bool interpolateSlowMotion = false;
        // The clip's pictures deinterlaced, as the control shows them when it deinterlaces.
        bool deinterlace = false;
    };
    // The picture of a comparison: the first clip's picture (drawings on it)
    // and the second's beside it at the same height, or the second stretched
    // over the first at its opacity.
    static QImage sideBySide(const QImage& first, const QImage& second);
    static QImage mixed(const QImage& first, const QImage& second, int opacityPercent);
    // done, total: output frames.
    using Progress = std::function<void(int64_t done, int64_t total)>;

    // True when the file is complete and has its name; false when cancelled.
    static bool run(const Job& job, const Progress& progress, const std::atomic<bool>& cancel);
};

}  // namespace tvn
