#pragma once

#include "analysis/AnalysisPorts.h"
#include "analysis/ClipFingerprint.h"
#include "analysis/KeyMoment.h"
#include "annotate/AnnotationStore.h"
#include "motion/Calibration.h"
#include "motion/Kinematics.h"
#include "motion/Track.h"

#include <QImage>
#include <QString>
#include <cstdint>
#include <vector>

namespace tvn::analysis {

// The coach's settings a document keeps: drawing, grid, clock, target, trail.
struct AnalysisSettings {
    QString drawingTool;
    int32_t drawingColor = 0;
    int16_t drawingWidth = 0;
    int32_t textColor = 0;
    int16_t fontSize = 0;
    QString fontName;
    QString angleText;
    bool readableDrawing = false;
    bool displayGrid = false;
    int32_t gridColor = 0;
    int16_t gridSpacing = 0;
    bool displayClock = false;
    int32_t clockStartTimeMs = 0;
    bool displayTarget = false;
    int32_t trackingActive = 0;
    int32_t trackingLength = 0;

    bool operator==(const AnalysisSettings&) const = default;
};

// The motion companion's part: calibration and tracked points.
struct AnalysisMotion {
    bool calibrated = false;
    motion::Calibration calibration;
    std::vector<motion::Track> tracks;
    motion::Smoothing smoothing;
    bool showLineLengths = false;
};

// Everything a document holds, as plain data: taken on the UI thread (a copy),
// encoded to JSON anywhere. The drawings keep the control's own units (twips);
// the document's encoding turns them into picture pixels with the two factors.
struct AnalysisSnapshot {
    QString clipPath;
    ClipFingerprint fingerprint;
    int32_t pictureWidth = 0, pictureHeight = 0;
    double twipsPerPixelX = 15, twipsPerPixelY = 15;
    int32_t frame = 0;
    AnnotationStore drawings;
    QImage freeHand;  // white where nothing is drawn; null: none kept
    AnalysisSettings settings;
    AnalysisMotion motion;
    std::vector<KeyMoment> keyMoments;
    SecondClip comparison;
};

}  // namespace tvn::analysis
