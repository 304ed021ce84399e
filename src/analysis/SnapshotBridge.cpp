#include "analysis/SnapshotBridge.h"

#include "analysis/AnalysisPorts.h"
#include "control/Trelvan.h"
#include "core/TvnError.h"
#include "motion/MotionAnalysis.h"

#include <QDir>
#include <QFileInfo>

namespace tvn::analysis {

namespace {
TvnError invalid(const QString& what) { return TvnError(err::InvalidCall, what, QStringLiteral("Analysis")); }
}  // namespace

SnapshotBridge::SnapshotBridge(Trelvan& control, AnalysisPorts& ports) : control_(control), ports_(ports) {}

AnalysisSnapshot SnapshotBridge::capture() const {
    AnalysisSnapshot s;
    const Trelvan& c = control_;
    s.pictureWidth = c.TVN_VideoWidth;
    s.pictureHeight = c.TVN_VideoHeight;
    s.twipsPerPixelX = ports_.drawing.twipsPerPixelX();
    s.twipsPerPixelY = ports_.drawing.twipsPerPixelY();
    s.frame = c.TVN_CurrentFrame;
    s.drawings = ports_.drawing.drawings();
    s.freeHand = ports_.drawing.freeHandStrokes();
    s.settings = settings();
    const MotionAnalysis& m = *control_.motion();
    s.motion.calibrated = m.calibrated();
    s.motion.calibration = m.calibration();
    s.motion.tracks = m.tracks();
    s.motion.smoothing = m.smoothing();
    s.motion.showLineLengths = m.showLineLengths();
    s.comparison = comparison();
    return s;
}

AnalysisSettings SnapshotBridge::settings() const {
    AnalysisSettings t;
    const Trelvan& c = control_;
    t.drawingTool = c.TVN_drawingTool;
    t.drawingColor = c.TVN_drawingColor;
    t.drawingWidth = c.TVN_drawingWidth;
    t.textColor = c.TVN_TextColor;
    t.fontSize = c.TVN_FontSize;
    t.fontName = c.TVN_FontName;
    t.angleText = c.TVN_AngleText;
    t.readableDrawing = ports_.drawing.readableDrawing();
    t.displayGrid = c.TVN_DisplayGrid;
    t.gridColor = c.TVN_GridColor;
    t.gridSpacing = c.TVN_GridSpacing;
    t.displayClock = c.TVN_DisplayClock;
    t.clockStartTimeMs = c.tvn_ClockStartTimeMS;
    t.displayTarget = c.TVN_DisplayTarget;
    t.trackingActive = c.TVN_TrackingActive;
    t.trackingLength = c.TVN_TrackingLength;
    return t;
}

SecondClip SnapshotBridge::comparison() const { return ports_.comparison.secondClip(); }

QString SnapshotBridge::findClip(const AnalysisSnapshot& s, const QString& where, const QString& shownClip,
                                 const ClipFingerprint& shownFingerprint) {
    if (!shownFingerprint.isNull() && shownFingerprint.sameClip(s.fingerprint)) return shownClip;
    const auto matches = [&](const QString& path) {
        const QFileInfo info(path);
        if (!info.isFile() || info.size() != s.fingerprint.size) return false;
        try {
            return ClipFingerprint::ofFile(path).sameClip(s.fingerprint);
        } catch (const TvnError&) {
            return false;
        }
    };
    if (matches(s.clipPath)) return s.clipPath;
    // Moved or renamed: a clip with the same fingerprint next to the document.
    const QDir folder = QFileInfo(where).absoluteDir();
    for (const QFileInfo& candidate : folder.entryInfoList(QDir::Files))
        if (candidate.size() == s.fingerprint.size && matches(candidate.absoluteFilePath())) return candidate.absoluteFilePath();
    if (QFileInfo::exists(s.clipPath))
        throw invalid(QStringLiteral("'%1' was made on another clip: '%2' is not the clip it was made on (its size or "
                                     "content differ), and no clip next to the document matches")
                          .arg(where, s.clipPath));
    throw TvnError(err::FileNotFound,
                   QStringLiteral("The clip of '%1' is not at '%2', and no clip next to the document matches it")
                       .arg(where, s.clipPath),
                   QStringLiteral("Analysis"));
}

void SnapshotBridge::check(const AnalysisSnapshot& s, const QString& where) const {
    if (!s.comparison.fileName.isEmpty() && !QFileInfo::exists(s.comparison.fileName))
        throw TvnError(err::FileNotFound,
                       QStringLiteral("The second clip of '%1' is not at '%2'").arg(where, s.comparison.fileName),
                       QStringLiteral("Analysis"));
    if (control_.motion()->busy())
        throw invalid(QStringLiteral("Cannot open '%1' while tracking runs: cancel it first").arg(where));
}

void SnapshotBridge::openClip(const QString& clip, const QString& where) {
    Trelvan& c = control_;
    QString path = clip;
    c.TVN_OpenFile(path);
    if (c.TVN_videoFileName != clip)
        throw TvnError(err::ClipOpenFailed, QStringLiteral("Cannot open the clip '%1' of '%2'").arg(clip, where),
                       QStringLiteral("Analysis"));
}

void SnapshotBridge::applySettings(const AnalysisSettings& t) {
    Trelvan& c = control_;
    // The trail first: turning it on picks the tracker tool, which the settings then put right.
    bool trail = t.trackingActive != 0;
    if ((c.TVN_TrackingActive != 0) != trail) c.TVN_SetTracking(trail);
    c.TVN_drawingTool = t.drawingTool;
    c.TVN_drawingColor = t.drawingColor;
    c.TVN_drawingWidth = t.drawingWidth;
    c.TVN_TextColor = t.textColor;
    c.TVN_FontSize = t.fontSize;
    c.TVN_FontName = t.fontName;
    c.TVN_AngleText = t.angleText;
    c.TVN_DisplayGrid = t.displayGrid;
    c.TVN_GridColor = t.gridColor;
    c.TVN_GridSpacing = t.gridSpacing;
    c.TVN_DisplayClock = t.displayClock;
    c.tvn_ClockStartTimeMS = t.clockStartTimeMs;
    c.TVN_DisplayTarget = t.displayTarget;
    c.TVN_TrackingLength = t.trackingLength;
    if (t.readableDrawing != ports_.drawing.readableDrawing()) c.setReadableDrawing(t.readableDrawing);
    c.TVN_TrackingActive = t.trackingActive;
}

void SnapshotBridge::applyDrawings(const AnnotationStore& drawings, const QImage& freeHand) {
    AnnotationStore& store = ports_.drawing.drawings();
    store = drawings;
    store.placementOpen = false;
    store.textTyping = false;
    control_.TVN_EraseFreeHand();
    if (!freeHand.isNull()) ports_.drawing.setFreeHandStrokes(freeHand);
}

void SnapshotBridge::applyMotion(const AnalysisMotion& m) {
    MotionAnalysis& motion = *control_.motion();
    motion.setSmoothingWindow(m.smoothing.window);
    motion.setSmoothingOrder(m.smoothing.order);
    motion.setShowLineLengths(m.showLineLengths);
    motion.restore(m.calibrated, m.calibration, m.tracks);
}

void SnapshotBridge::applyComparison(const SecondClip& second) {
    if (second == ports_.comparison.secondClip()) return;
    Trelvan& c = control_;
    QString file = second.fileName;
    c.TVN_Overlay(file);  // "" closes an overlay
    if (!second.fileName.isEmpty()) {
        if (second.mirrored) c.TVN_FlipOverlay(true);
        if (second.placed) c.placeSecondClip(second.left, second.top, second.width, second.height, second.opacity);
        if (second.frame >= 0) c.TVN_SetOverlay2Frame(second.frame);
        else if (second.positionMs >= 0) c.TVN_SetOverlay2Pos(second.positionMs);
    }
}

void SnapshotBridge::showFrame(int32_t frame) {
    control_.TVN_SetFrame(frame);
    control_.TVN_ReDraw();
}

}  // namespace tvn::analysis
