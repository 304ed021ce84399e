#include "analysis/Analysis.h"

#include "analysis/AnalysisDocument.h"
#include "analysis/AnalysisPorts.h"
#include "analysis/AnalysisSnapshot.h"
#include "analysis/AutosaveWriter.h"
#include "analysis/KeyMomentList.h"
#include "analysis/SnapshotBridge.h"
#include "control/Trelvan.h"
#include "core/TvnError.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTimer>

namespace tvn {

namespace {
TvnError invalid(const QString& what) { return TvnError(err::InvalidCall, what, QStringLiteral("Analysis")); }
constexpr int kTickMs = 250;  // a change reaches the worker at most this long after it happened
}  // namespace

struct Analysis::Watched {
    analysis::AnalysisSettings settings;
    analysis::SecondClip comparison;
    bool operator==(const Watched&) const = default;
};

Analysis::Analysis(Trelvan& control, std::unique_ptr<analysis::AnalysisPorts> ports)
    : control_(control),
      ports_(std::move(ports)),
      bridge_(std::make_unique<analysis::SnapshotBridge>(control, *ports_)),
      watched_(std::make_unique<Watched>()), tick_(new QTimer(this)) {
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
    *watched_ = watched();
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
    analysis::AnalysisSnapshot s = bridge_->capture();
    s.clipPath = clip_;
    s.fingerprint = fingerprint_;
    s.keyMoments = moments_;
    return s;
}

Analysis::Watched Analysis::watched() const { return Watched{bridge_->settings(), bridge_->comparison()}; }

void Analysis::apply(const analysis::AnalysisSnapshot& s, const QString& where) {
    // Everything that can refuse the document is checked before anything changes.
    const QString clip = analysis::SnapshotBridge::findClip(s, where, clip_, fingerprint_);
    bridge_->check(s, where);

    applying_ = true;
    const auto done = qScopeGuard([this] { applying_ = false; });
    if (clip != clip_) bridge_->openClip(clip, where);
    bridge_->applySettings(s.settings);
    bridge_->applyDrawings(s.drawings, s.freeHand);
    bridge_->applyMotion(s.motion);

    moments_ = s.keyMoments;
    analysis::KeyMomentList::sortByFrame(moments_);
    emit keyMomentsChanged();

    bridge_->applyComparison(s.comparison);
    bridge_->showFrame(s.frame);
    *watched_ = watched();
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
    Watched now = watched();
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

void Analysis::checkIndex(const char* call, int index) const { analysis::KeyMomentList::checkIndex(moments_, call, index); }

void Analysis::momentsChanged() {
    dirty_ = true;
    emit keyMomentsChanged();
}

int Analysis::insertMoment(KeyMoment moment) {
    const int index = analysis::KeyMomentList::insert(moments_, std::move(moment));
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

int Analysis::keyMomentOn(int frame) const { return analysis::KeyMomentList::on(moments_, frame); }

int Analysis::nextKeyMoment() {
    const int i = analysis::KeyMomentList::firstAfter(moments_, control_.TVN_CurrentFrame);
    if (i >= 0) {
        int32_t frame = moments_[i].frame;
        control_.TVN_SetFrame(frame);
    }
    return i;
}

int Analysis::previousKeyMoment() {
    const int i = analysis::KeyMomentList::lastBefore(moments_, control_.TVN_CurrentFrame);
    if (i >= 0) {
        int32_t frame = moments_[i].frame;
        control_.TVN_SetFrame(frame);
    }
    return i;
}

void Analysis::exportKeyMomentsCsv(const QString& path) const {
    const QByteArray text = analysis::KeyMomentList::csv(moments_);
    withPrefix("Analysis.exportKeyMomentsCsv", [&] { analysis::AnalysisDocument::write(path, text); });
}

}  // namespace tvn
