#pragma once

#include "analysis/AnalysisSnapshot.h"
#include "analysis/DocumentReader.h"

#include <QByteArray>
#include <QJsonObject>
#include <vector>

namespace tvn::analysis {

// The motion part of an analysis document: calibration, smoothing and tracks.
// Stateless; any thread.
class MotionCodec {
public:
    // The motion object with an empty "tracks" array: the tracks go in as text
    // (tracksText), tens of thousands of numbers not worth a JSON value each.
    static QJsonObject encode(const AnalysisMotion& motion);
    // The tracks as JSON text, by column: the shortest text that reads back as
    // the same double (std::to_chars).
    static QByteArray tracksText(const std::vector<motion::Track>& tracks);
    // Every value checked (DocumentReader).
    static AnalysisMotion decode(const DocumentReader& motion);
};

}  // namespace tvn::analysis
