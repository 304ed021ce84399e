#include "analysis/Analysis.h"

#include "analysis/AnalysisDocument.h"
#include "analysis/AnalysisPorts.h"
#include "analysis/AnalysisSnapshot.h"
#include "analysis/AutosaveWriter.h"
#include "control/Trelvan.h"
#include "core/TvnError.h"
#include "motion/MotionAnalysis.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTimer>
#include <algorithm>

namespace tvn {

namespace {
TvnError invalid(const QString& what) { return TvnError(err::InvalidCall, what, QStringLiteral("Analysis")); }
constexpr int kTickMs = 250;  // a change reaches the worker at most this long after it happened

QString csvField(const QString& text) {
    if (!text.contains(u',') && !text.contains(u'"') && !text.contains(u'\n')) return text;
    QString quoted = text;
    quoted.replace(u'"', QStringLiteral("\"\""));
    return u'"' + quoted + u'"';
}
}  // namespace

struct Analysis::Watched {
    analysis::AnalysisSettings settings;
    analysis::SecondClip comparison;
    bool operator==(const Watched&) const = default;
};

Analysis::Analysis(Trelvan& control, std::unique_ptr<analysis::AnalysisPorts> ports)
    : control_(control), ports_(std::move(ports)), watched_(std::make_unique<Watched>()), tick_(new QTimer(this)) {
    writer_ = std::make_unique<analysis::AutosaveWriter>([this](const TvnError& e) {
        const QString reason = e.description();
        QMetaObject::invokeMethod(this, [this, reason] { emit autosaveFailed(reason); }, Qt::QueuedConnection);
    });
    tick_->setInterval(kTickMs);
    connect(tick_, &QTimer::timeout, this, &Analysis::tick);
    followClip(true);
}

Analysis::~Analysis() {
    // The control's end is a clean close.
    if (!clip_.isEmpty() && !recoveryFound_) writer_->remove(recoveryPathFor(fingerprint_));
    writer_->flush();
}

// ---- the clip ----

void Analysis::followClip(bool clean) {
    const QString clip = control_.TVN_videoFileName;
    if (clip == clip_ && !clip.isEmpty()) return;
    if (!clip_.isEmpty() && clean && !recoveryFound_) writer_->remove(recoveryPathFor(fingerprint_));
    clip_ = clip;
    fingerprint_ = {};
    documentPath_.clear();
    const bool hadRecovery = std::exchange(recoveryFound_, false);
    dirty_ = false;
    if (!moments_.empty()) {
        moments_.clear();
        emit keyMomentsChanged();
    }
    if (clip_.isEmpty()) {
        tick_->stop();
        if (hadRecovery) emit recoveryChanged(false);
        emit documentChanged(QString());
        return;
    }
    fingerprint_ = ClipFingerprint::of(clip_, control_.TVN_TotalLenMS, control_.TVN_NumFrames);
    *watched_ = Watched{snapshot().settings, ports_->comparison.secondClip()};
    tick_->start();
    emit documentChanged(QString());
    recoveryFound_ = QFileInfo::exists(recoveryPath());
    if (recoveryFound_ || hadRecovery) emit recoveryChanged(recoveryFound_);
    if (recoveryFound_) emit recoveryAvailable(recoveryPath());
}

void Analysis::noteChange() {
    if (!applying_) dirty_ = true;
}

// ---- snapshot and apply ----

analysis::AnalysisSnapshot Analysis::snapshot() const {
    analysis::AnalysisSnapshot s;
    const Trelvan& c = control_;
    s.clipPath = clip_;
    s.fingerprint = fingerprint_;
    s.pictureWidth = c.TVN_VideoWidth;
    s.pictureHeight = c.TVN_VideoHeight;
    s.twipsPerPixelX = ports_->drawing.twipsPerPixelX();
    s.twipsPerPixelY = ports_->drawing.twipsPerPixelY();
    s.frame = c.TVN_CurrentFrame;
    s.drawings = ports_->drawing.drawings();
    s.freeHand = ports_->drawing.freeHandStrokes();
    analysis::AnalysisSettings& t = s.settings;
    t.drawingTool = c.TVN_drawingTool;
    t.drawingColor = c.TVN_drawingColor;
    t.drawingWidth = c.TVN_drawingWidth;
    t.textColor = c.TVN_TextColor;
    t.fontSize = c.TVN_FontSize;
    t.fontName = c.TVN_FontName;
    t.angleText = c.TVN_AngleText;
    t.readableDrawing = ports_->drawing.readableDrawing();
    t.displayGrid = c.TVN_DisplayGrid;
    t.gridColor = c.TVN_GridColor;
    t.gridSpacing = c.TVN_GridSpacing;
    t.displayClock = c.TVN_DisplayClock;
    t.clockStartTimeMs = c.tvn_ClockStartTimeMS;
    t.displayTarget = c.TVN_DisplayTarget;
    t.trackingActive = c.TVN_TrackingActive;
    t.trackingLength = c.TVN_TrackingLength;
    const MotionAnalysis& m = *control_.motion();
    s.motion.calibrated = m.calibrated();
    s.motion.calibration = m.calibration();
    s.motion.tracks = m.tracks();
    s.motion.smoothing = m.smoothing();
    s.motion.showLineLengths = m.showLineLengths();
    s.keyMoments = moments_;
    s.comparison = ports_->comparison.secondClip();
    return s;
}

QString Analysis::findClip(const analysis::AnalysisSnapshot& s, const QString& where) const {
    if (!fingerprint_.isNull() && fingerprint_.sameClip(s.fingerprint)) return clip_;
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

void Analysis::apply(const analysis::AnalysisSnapshot& s, const QString& where) {
    // Everything that can refuse the document is checked before anything changes.
    const QString clip = findClip(s, where);
    if (!s.comparison.fileName.isEmpty() && !QFileInfo::exists(s.comparison.fileName))
        throw TvnError(err::FileNotFound,
                       QStringLiteral("The second clip of '%1' is not at '%2'").arg(where, s.comparison.fileName),
                       QStringLiteral("Analysis"));
    MotionAnalysis& motion = *control_.motion();
    if (motion.busy()) throw invalid(QStringLiteral("Cannot open '%1' while tracking runs: cancel it first").arg(where));

    applying_ = true;
    const auto done = qScopeGuard([this] { applying_ = false; });
    Trelvan& c = control_;
    if (clip != clip_) {
        QString path = clip;
        c.TVN_OpenFile(path);
        if (c.TVN_videoFileName != clip)
            throw TvnError(err::ClipOpenFailed, QStringLiteral("Cannot open the clip '%1' of '%2'").arg(clip, where),
                           QStringLiteral("Analysis"));
    }
    const analysis::AnalysisSettings& t = s.settings;
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
    if (t.readableDrawing != ports_->drawing.readableDrawing()) c.setReadableDrawing(t.readableDrawing);
    c.TVN_TrackingActive = t.trackingActive;

    // The drawings as they were, nothing half placed or half typed.
    AnnotationStore& store = ports_->drawing.drawings();
    store = s.drawings;
    store.placementOpen = false;
    store.textTyping = false;
    c.TVN_EraseFreeHand();
    if (!s.freeHand.isNull()) ports_->drawing.setFreeHandStrokes(s.freeHand);

    motion.setSmoothingWindow(s.motion.smoothing.window);
    motion.setSmoothingOrder(s.motion.smoothing.order);
    motion.setShowLineLengths(s.motion.showLineLengths);
    motion.restore(s.motion.calibrated, s.motion.calibration, s.motion.tracks);

    moments_ = s.keyMoments;
    std::stable_sort(moments_.begin(), moments_.end(), [](const KeyMoment& a, const KeyMoment& b) { return a.frame < b.frame; });
    emit keyMomentsChanged();

    const analysis::SecondClip& second = s.comparison;
    if (second != ports_->comparison.secondClip()) {
        QString file = second.fileName;
        c.TVN_Overlay(file);  // "" closes an overlay
        if (!second.fileName.isEmpty()) {
            if (second.mirrored) c.TVN_FlipOverlay(true);
            if (second.placed) c.placeSecondClip(second.left, second.top, second.width, second.height, second.opacity);
            if (second.frame >= 0) c.TVN_SetOverlay2Frame(second.frame);
            else if (second.positionMs >= 0) c.TVN_SetOverlay2Pos(second.positionMs);
        }
    }
    int32_t frame = s.frame;
    c.TVN_SetFrame(frame);
    c.TVN_ReDraw();
    *watched_ = Watched{snapshot().settings, ports_->comparison.secondClip()};
}

// ---- documents ----

QString Analysis::defaultDocumentPath() const {
    if (clip_.isEmpty()) throw invalid(QStringLiteral("No clip is open: a document is kept beside its clip"));
    return clip_ + QStringLiteral(".tvna.json");
}

QString Analysis::toJson() const {
    if (clip_.isEmpty()) throw invalid(QStringLiteral("No clip is open: an analysis belongs to a clip"));
    return QString::fromUtf8(analysis::AnalysisDocument::encode(snapshot()));
}

void Analysis::save(const QString& path) {
    withPrefix("Analysis.save", [&] {
        if (clip_.isEmpty()) throw invalid(QStringLiteral("No clip is open: an analysis belongs to a clip"));
        analysis::AnalysisDocument::write(path, analysis::AnalysisDocument::encode(snapshot()));
    });
    if (!recoveryFound_) writer_->remove(recoveryPath());
    dirty_ = false;
    documentPath_ = path;
    emit documentChanged(path);
    emit saved(path);
}

void Analysis::open(const QString& path) {
    withPrefix("Analysis.open", [&] {
        const analysis::AnalysisSnapshot s =
            analysis::AnalysisDocument::decode(analysis::AnalysisDocument::read(path), path,
                                               ports_->drawing.twipsPerPixelX(), ports_->drawing.twipsPerPixelY());
        apply(s, path);
    });
    documentPath_ = path;
    emit documentChanged(path);
    emit opened(path);
}

QString Analysis::schemaPath() {
    // Installed: <prefix>/share/trelvan beside <prefix>/lib; in a build, the source tree's copy.
    const QStringList candidates{
        QCoreApplication::applicationDirPath() + QStringLiteral("/../share/trelvan/analysis.schema.json"),
        QStringLiteral(TRELVAN_SCHEMA_INSTALL_PATH),
        QStringLiteral(TRELVAN_SCHEMA_SOURCE_PATH),
    };
    for (const QString& c : candidates)
        if (QFileInfo::exists(c)) return QFileInfo(c).canonicalFilePath();
    return QStringLiteral(TRELVAN_SCHEMA_INSTALL_PATH);
}

// ---- recovery ----

QString Analysis::recoveryDirectory() const {
    if (!recoveryDirectory_.isEmpty()) return recoveryDirectory_;
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + QStringLiteral("/recovery");
}

void Analysis::setRecoveryDirectory(const QString& directory) {
    recoveryDirectory_ = directory;
    if (!clip_.isEmpty()) {
        const bool found = QFileInfo::exists(recoveryPath());
        if (found != recoveryFound_) {
            recoveryFound_ = found;
            emit recoveryChanged(found);
            if (found) emit recoveryAvailable(recoveryPath());
        }
    }
}

QString Analysis::recoveryPathFor(const ClipFingerprint& f) const {
    return recoveryDirectory() + u'/' + QString::fromLatin1(f.hash) + QStringLiteral(".tvna.json");
}

QString Analysis::recoveryPath() const { return clip_.isEmpty() ? QString() : recoveryPathFor(fingerprint_); }

bool Analysis::hasRecovery() const { return recoveryFound_; }

void Analysis::recover() {
    withPrefix("Analysis.recover", [&] {
        if (!recoveryFound_) throw invalid(QStringLiteral("There is no recovered analysis for the clip shown"));
        const QString path = recoveryPath();
        const analysis::AnalysisSnapshot s =
            analysis::AnalysisDocument::decode(analysis::AnalysisDocument::read(path), path,
                                               ports_->drawing.twipsPerPixelX(), ports_->drawing.twipsPerPixelY());
        if (!fingerprint_.sameClip(s.fingerprint))
            throw invalid(QStringLiteral("The recovery file '%1' was made on another clip").arg(path));
        apply(s, path);
    });
    recoveryFound_ = false;
    dirty_ = true;  // the recovered state is the clip's autosave from now on
    emit recoveryChanged(false);
}

void Analysis::discardRecovery() {
    if (clip_.isEmpty()) return;
    writer_->remove(recoveryPath());
    writer_->flush();
    if (std::exchange(recoveryFound_, false)) emit recoveryChanged(false);
    dirty_ = true;  // what is on screen now is the clip's autosave
}

void Analysis::setAutosave(bool on) {
    autosave_ = on;
    if (!on && !clip_.isEmpty() && !recoveryFound_) writer_->remove(recoveryPath());
    if (on) dirty_ = true;
}

void Analysis::tick() {
    if (clip_.isEmpty() || !autosave_ || recoveryFound_ || applying_) return;
    Watched now{snapshot().settings, ports_->comparison.secondClip()};
    if (!dirty_ && now == *watched_) return;
    dirty_ = false;
    *watched_ = std::move(now);
    writer_->write(recoveryPath(), snapshot());
}

void Analysis::autosaveNow() { tick(); }

void Analysis::flushAutosave() {
    tick();
    writer_->flush();
}

// ---- key moments ----

void Analysis::checkIndex(const char* call, int index) const {
    if (index < 0 || index >= keyMomentCount())
        throw TvnError(err::SubscriptOutOfRange,
                       QStringLiteral("There is no key moment %1 (%2 are marked)").arg(index).arg(keyMomentCount()),
                       QStringLiteral("Analysis.%1").arg(QLatin1String(call)));
}

void Analysis::momentsChanged() {
    dirty_ = true;
    emit keyMomentsChanged();
}

int Analysis::insertMoment(KeyMoment moment) {
    const auto at = std::lower_bound(moments_.begin(), moments_.end(), moment.frame,
                                     [](const KeyMoment& k, int frame) { return k.frame < frame; });
    const int index = int(at - moments_.begin());
    if (at != moments_.end() && at->frame == moment.frame) *at = std::move(moment);
    else moments_.insert(at, std::move(moment));
    momentsChanged();
    return index;
}

int Analysis::markKeyMoment(const QString& label, const QString& note, int colour) {
    if (clip_.isEmpty()) throw invalid(QStringLiteral("No clip is open to mark a moment on"));
    return insertMoment({control_.TVN_CurrentFrame, control_.TVN_CurrentPos, label, note, colour});
}

int Analysis::markKeyMomentAt(int frame, const QString& label, const QString& note, int colour) {
    if (clip_.isEmpty()) throw invalid(QStringLiteral("No clip is open to mark a moment on"));
    if (frame < 0 || frame >= control_.TVN_NumFrames)
        throw invalid(QStringLiteral("Frame %1 is not in the clip (frames 0 to %2)").arg(frame).arg(control_.TVN_NumFrames - 1));
    return insertMoment({frame, frame * control_.TVN_FrameLenMS, label, note, colour});
}

void Analysis::renameKeyMoment(int index, const QString& label) {
    checkIndex("renameKeyMoment", index);
    moments_[index].label = label;
    momentsChanged();
}

void Analysis::setKeyMomentNote(int index, const QString& note) {
    checkIndex("setKeyMomentNote", index);
    moments_[index].note = note;
    momentsChanged();
}

void Analysis::setKeyMomentColour(int index, int colour) {
    checkIndex("setKeyMomentColour", index);
    moments_[index].colour = colour;
    momentsChanged();
}

void Analysis::removeKeyMoment(int index) {
    checkIndex("removeKeyMoment", index);
    moments_.erase(moments_.begin() + index);
    momentsChanged();
}

void Analysis::clearKeyMoments() {
    if (moments_.empty()) return;
    moments_.clear();
    momentsChanged();
}

int Analysis::keyMomentFrame(int index) const { return checkIndex("keyMomentFrame", index), moments_[index].frame; }
double Analysis::keyMomentTimeMs(int index) const { return checkIndex("keyMomentTimeMs", index), moments_[index].timeMs; }
QString Analysis::keyMomentLabel(int index) const { return checkIndex("keyMomentLabel", index), moments_[index].label; }
QString Analysis::keyMomentNote(int index) const { return checkIndex("keyMomentNote", index), moments_[index].note; }
int Analysis::keyMomentColour(int index) const { return checkIndex("keyMomentColour", index), moments_[index].colour; }

int Analysis::keyMomentOn(int frame) const {
    for (int i = 0; i < keyMomentCount(); ++i)
        if (moments_[i].frame == frame) return i;
    return -1;
}

int Analysis::nextKeyMoment() {
    const int now = control_.TVN_CurrentFrame;
    for (int i = 0; i < keyMomentCount(); ++i) {
        if (moments_[i].frame > now) {
            int32_t frame = moments_[i].frame;
            control_.TVN_SetFrame(frame);
            return i;
        }
    }
    return -1;
}

int Analysis::previousKeyMoment() {
    const int now = control_.TVN_CurrentFrame;
    for (int i = keyMomentCount() - 1; i >= 0; --i) {
        if (moments_[i].frame < now) {
            int32_t frame = moments_[i].frame;
            control_.TVN_SetFrame(frame);
            return i;
        }
    }
    return -1;
}

void Analysis::exportKeyMomentsCsv(const QString& path) const {
    QByteArray text = "frame,time_ms,label,note,colour\n";
    for (const KeyMoment& k : moments_) {
        const QString colour = QStringLiteral("#%1%2%3")
                                   .arg(k.colour & 0xFF, 2, 16, QLatin1Char('0'))
                                   .arg((k.colour >> 8) & 0xFF, 2, 16, QLatin1Char('0'))
                                   .arg((k.colour >> 16) & 0xFF, 2, 16, QLatin1Char('0'));
        text += QStringLiteral("%1,%2,%3,%4,%5\n")
                    .arg(k.frame)
                    .arg(k.timeMs, 0, 'f', 3)
                    .arg(csvField(k.label), csvField(k.note), colour)
                    .toUtf8();
    }
    withPrefix("Analysis.exportKeyMomentsCsv", [&] { analysis::AnalysisDocument::write(path, text); });
}

}  // namespace tvn
