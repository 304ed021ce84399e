#pragma once

#include "analysis/AnalysisSnapshot.h"

#include <QString>

namespace tvn {
class Trelvan;
}

namespace tvn::analysis {

class AnalysisPorts;

// The control's side of an analysis document: reads the drawings, settings,
// motion and comparison off the control and its ports into a snapshot, and puts
// a snapshot's back through the same calls a coach's actions make. The key
// moments and the clip's identity belong to the companion (tvn::Analysis),
// which sequences the steps. UI thread.
class SnapshotBridge {
public:
    SnapshotBridge(Trelvan& control, AnalysisPorts& ports);

    // All of the analysis but clipPath, fingerprint and keyMoments.
    AnalysisSnapshot capture() const;
    // The settings as they are now (cheap: no drawings, no tracks).
    AnalysisSettings settings() const;
    SecondClip comparison() const;

    // The clip the document s (read from where) was made on: shownClip when its
    // fingerprint is shownFingerprint, else the document's path, else a clip with
    // the same fingerprint next to the document; TvnError when there is none.
    static QString findClip(const AnalysisSnapshot& s, const QString& where, const QString& shownClip,
                            const ClipFingerprint& shownFingerprint);
    // What else can refuse s, checked before anything changes: its second clip
    // missing, tracking running.
    void check(const AnalysisSnapshot& s, const QString& where) const;

    void openClip(const QString& clip, const QString& where);
    void applySettings(const AnalysisSettings& settings);
    // The drawings as they were, nothing half placed or half typed.
    void applyDrawings(const AnnotationStore& drawings, const QImage& freeHand);
    void applyMotion(const AnalysisMotion& motion);
    void applyComparison(const SecondClip& second);
    void showFrame(int32_t frame);

private:
    Trelvan& control_;
    AnalysisPorts& ports_;
};

}  // namespace tvn::analysis
