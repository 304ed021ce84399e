#include "analysis/Analysis.h"

#include "analysis/AnalysisPorts.h"
#include "analysis/AnalysisSnapshot.h"
#include "analysis/AutosaveWriter.h"
#include "control/Trelvan.h"
#include "core/TvnError.h"

#include <QTimer>

namespace tvn {

Analysis::Analysis(Trelvan& control, std::unique_ptr<analysis::AnalysisPorts> ports)
    : control_(control), ports_(std::move(ports)) {}

Analysis::~Analysis() = default;

void Analysis::save(const QString&) { throw TvnError::notImplemented("Analysis.save"); }
void Analysis::open(const QString&) { throw TvnError::notImplemented("Analysis.open"); }
QString Analysis::defaultDocumentPath() const { throw TvnError::notImplemented("Analysis.defaultDocumentPath"); }
QString Analysis::toJson() const { throw TvnError::notImplemented("Analysis.toJson"); }
QString Analysis::schemaPath() { throw TvnError::notImplemented("Analysis.schemaPath"); }
bool Analysis::hasRecovery() const { return false; }
void Analysis::recover() { throw TvnError::notImplemented("Analysis.recover"); }
void Analysis::discardRecovery() { throw TvnError::notImplemented("Analysis.discardRecovery"); }
QString Analysis::recoveryDirectory() const { return recoveryDirectory_; }
void Analysis::setRecoveryDirectory(const QString& directory) { recoveryDirectory_ = directory; }
QString Analysis::recoveryPath() const { return {}; }
void Analysis::setAutosave(bool on) { autosave_ = on; }
void Analysis::flushAutosave() { throw TvnError::notImplemented("Analysis.flushAutosave"); }
int Analysis::markKeyMoment(const QString&, const QString&, int) { throw TvnError::notImplemented("Analysis.markKeyMoment"); }
int Analysis::markKeyMomentAt(int, const QString&, const QString&, int) { throw TvnError::notImplemented("Analysis.markKeyMomentAt"); }
void Analysis::renameKeyMoment(int, const QString&) { throw TvnError::notImplemented("Analysis.renameKeyMoment"); }
void Analysis::setKeyMomentNote(int, const QString&) { throw TvnError::notImplemented("Analysis.setKeyMomentNote"); }
void Analysis::setKeyMomentColour(int, int) { throw TvnError::notImplemented("Analysis.setKeyMomentColour"); }
void Analysis::removeKeyMoment(int) { throw TvnError::notImplemented("Analysis.removeKeyMoment"); }
void Analysis::clearKeyMoments() { throw TvnError::notImplemented("Analysis.clearKeyMoments"); }
int Analysis::keyMomentFrame(int) const { throw TvnError::notImplemented("Analysis.keyMomentFrame"); }
double Analysis::keyMomentTimeMs(int) const { throw TvnError::notImplemented("Analysis.keyMomentTimeMs"); }
QString Analysis::keyMomentLabel(int) const { throw TvnError::notImplemented("Analysis.keyMomentLabel"); }
QString Analysis::keyMomentNote(int) const { throw TvnError::notImplemented("Analysis.keyMomentNote"); }
int Analysis::keyMomentColour(int) const { throw TvnError::notImplemented("Analysis.keyMomentColour"); }
int Analysis::keyMomentOn(int) const { throw TvnError::notImplemented("Analysis.keyMomentOn"); }
int Analysis::nextKeyMoment() { throw TvnError::notImplemented("Analysis.nextKeyMoment"); }
int Analysis::previousKeyMoment() { throw TvnError::notImplemented("Analysis.previousKeyMoment"); }
void Analysis::exportKeyMomentsCsv(const QString&) const { throw TvnError::notImplemented("Analysis.exportKeyMomentsCsv"); }
void Analysis::followClip(bool) {}
void Analysis::noteChange() {}

}  // namespace tvn
