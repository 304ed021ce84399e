#pragma once

#include "control/ControlState.h"
#include "core/Picture.h"

#include <QString>
#include <QVariant>
#include <cstdint>

class QWidget;

namespace tvn {

class Surface;
class VideoEngine;
class VideoMixer;

class AnnotationRedraw;
class LayoutManager;

// The frame measures of a clip, derived from what the engine reports.
struct ClipMeasures {
    int32_t numFrames = 0;
    double frameLenMs = 0;
    double totalLenMs = 0;  // numFrames x frameLenMs
};

// Opening and closing a clip, deriving the clip measures, and closing the second-clip overlay.
class ClipLoader {
public:
    // The host's properties it reads (const) and writes.
    struct Properties {
        QString& TVN_videoFileName;
        int16_t& TVN_VideoWidth;
        int16_t& TVN_VideoHeight;
        int32_t& TVN_NumFrames;
        bool& TVN_IsPlaying;
        const int32_t& TVN_VolumeLevel;
        double& TVN_FrameLenMS;
        double& TVN_CurrentPos;
        double& TVN_TotalLenMS;
        const bool& TVN_DoDeinterlace;
        int32_t& TVN_CurrentFrame;
        const bool& TVN_RawPlayerMode;
        const bool& TVN_UseVMR9;
        int32_t& TVN_TrackingActive;
        bool& TVN_DisplayClock;
    };

    // What it opens clips in and sizes to them.
    struct Drives {
        QWidget& control;  // the control itself: its size and its screen's twips per pixel
        VideoEngine& display;  // the display engine: the clip the user sees
        VideoMixer& mixer;  // shown instead of the display while a second clip is overlaid
        Surface& annotationLayer;  // the drawings, laid over the video; the clip's size in twips
        Surface& freeHandLayer;  // free-hand strokes, white where nothing is drawn, combined into the annotation layer
    };

    ClipLoader(Properties props, Drives drives, ClipPicture& clipPicture, OverlaySources& overlaySources,
               AnnotationRedraw& redraw, LayoutManager& layout)
        : props_(props), drives_(drives), clipPicture_(clipPicture), overlaySources_(overlaySources), redraw_(redraw),
          layout_(layout) {}

    // Closes the previous clip, opens the new one in the display engine, stands
    // it paused at 0 and derives the measures and the picture size (pixels and
    // twips). Returns the number of frames; 0 for an empty name or when the
    // engine reports no usable frame count or duration.
    int32_t TVN_OpenFile(QString& videoFileName);
    QVariant TVN_Close();
    void CloseOverlay();

    // The measures for an engine's frame count and duration (ms); all 0 when
    // either is not positive. Rounding is half to even; Overflow (6) when the
    // frame count does not fit 32 bits.
    static ClipMeasures measuresFor(double frames, double lengthMs);

private:
    Properties props_;
    Drives drives_;
    ClipPicture& clipPicture_;
    OverlaySources& overlaySources_;
    AnnotationRedraw& redraw_;
    LayoutManager& layout_;
};

}  // namespace tvn
