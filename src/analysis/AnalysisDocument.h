#pragma once

#include "analysis/AnalysisSnapshot.h"

#include <QByteArray>
#include <QString>

namespace tvn::analysis {

// The analysis document's format: a snapshot to JSON text and back, and the
// atomic write of a document file. Version kVersion; coordinates are picture
// pixels, times the clip's milliseconds; share/trelvan/analysis.schema.json
// describes it. Stateless; any thread.
//
// decode checks all of the text before it returns anything: malformed JSON
// (with its line and column), another format, a newer version, a missing or
// mistyped value or one out of range (named by its path in the document, as
// "drawings.lines[3].x1") is a TvnError InvalidCall.
class AnalysisDocument {
public:
    static constexpr int kVersion = 1;
    static constexpr const char* kFormat = "trelvan-analysis";

    static QByteArray encode(const AnalysisSnapshot& snapshot);
    // The drawings come back in twips of the control's screen (twipsPerPixelX/Y),
    // whatever screen the document was saved on.
    static AnalysisSnapshot decode(const QByteArray& text, const QString& where, double twipsPerPixelX,
                                   double twipsPerPixelY);

    // Writes text to path through a temporary file in the same folder, flushed
    // and synced before it replaces the old file; TvnError PathFileAccess when
    // any step fails (the old file, if any, is then untouched).
    static void write(const QString& path, const QByteArray& text);
    // The file's text; TvnError FileNotFound.
    static QByteArray read(const QString& path);

    // Line and column (from 1) of a character offset in text.
    static std::pair<int, int> lineAndColumn(const QByteArray& text, int offset);
};

}  // namespace tvn::analysis
