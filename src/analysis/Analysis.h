#pragma once

#include "core/TrelvanExport.h"

#include "analysis/ClipFingerprint.h"
#include "analysis/KeyMoment.h"

#include <QObject>
#include <QString>
#include <cstdint>
#include <memory>
#include <vector>

class QTimer;

namespace tvn {

class Trelvan;
class TvnError;

namespace analysis {
class AnalysisPorts;
class AutosaveWriter;
class SnapshotBridge;
struct AnalysisSnapshot;
}  // namespace analysis

// The control's analysis-document companion: everything a coach made on a clip
// kept in a document beside the clip, reopened exactly, and autosaved so that
// a crash loses at most the last second of work. Reached by a host through
// Trelvan::analysis() and by tvnsh as "analysis.NAME". It lives beside the
// documented interface, which stays as documented: the control persists nothing
// unless a host calls save() (or leaves autosave on, which only writes the
// recovery file described below).
//
// The document holds the drawings (lines, shapes, angles with their texts,
// texts, free-hand strokes, the hand-built trail, with colours, widths and
// fonts) and the undo history; the drawing, grid, clock, target and cross-hair
// settings; the motion companion's calibration and tracked points with their
// samples; the key moments; the overlay comparison (the second clip, its
// rectangle, frame, opacity and mirror); and the clip, by path and
// ClipFingerprint. It is JSON with a format version, described by the JSON
// Schema schemaPath() names (installed as share/trelvan/analysis.schema.json);
// coordinates are picture pixels, times the clip's own milliseconds.
//
// Opening a document parses and checks all of it before anything changes: a
// newer format, a malformed file (the error names line and column), a value
// out of range or a document made on another clip is a TvnError, and the
// analysis on screen stays exactly as it was. A document whose clip is not at
// its path is matched by fingerprint against the clips next to the document;
// the found clip is opened. Applying a document goes through the same calls a
// coach's actions make (TVN_OpenFile, TVN_Overlay, the motion companion's,
// the editing commands), so the picture redraws as usual. Writing is atomic: a
// temporary file in the same folder, flushed and synced, then renamed over the
// old one, so a full disk or a killed process never leaves half a document.
//
// Autosave: while a clip is open the companion looks four times a second for
// changes (a redraw of the drawings, the motion companion's drawing, key
// moments, the settings, the overlay) and takes a snapshot of the analysis
// (plain data, cheap) when there was one; a worker thread
// ("tvn-autosave", one job at a time, newer snapshots replace older ones waiting)
// encodes it and writes it to the recovery file: recoveryDirectory() (by default
// QStandardPaths::AppDataLocation + "/recovery"), one file per clip named by its
// fingerprint's hash. A clean close of the clip (TVN_Close, another TVN_OpenFile,
// the control's end), save() and discardRecovery() remove it. When a clip opens
// and a recovery file for it is there (the process before did not end cleanly),
// hasRecovery() is true and recoveryAvailable() is signalled; recover() applies
// it, discardRecovery() drops it; until one of them is called the clip's
// autosave waits (so the recovered work is not overwritten), and the file stays
// for the next open when the clip is closed without a decision. A failure to
// write it is signalled by autosaveFailed().
//
// Key moments are kept in frame order, one per frame (marking a frame that has
// one changes it); index i is the i-th in that order. next/previous move the
// control to the moment's frame with TVN_SetFrame.
//
// What it reads and drives is named by its ports (analysis::AnalysisPorts): the
// drawings and their redraw, the settings, the motion companion, the overlay and
// the transport. Calls that cannot be carried out (no clip, an index that does
// not exist, a file that cannot be written) throw TvnError.
class TVN_EXPORT Analysis : public QObject {
    Q_OBJECT
    Q_PROPERTY(int formatVersion READ formatVersion CONSTANT)
    Q_PROPERTY(int keyMomentCount READ keyMomentCount NOTIFY keyMomentsChanged)
    Q_PROPERTY(bool hasRecovery READ hasRecovery NOTIFY recoveryChanged)
    Q_PROPERTY(QString documentPath READ documentPath NOTIFY documentChanged)
    Q_PROPERTY(QString recoveryDirectory READ recoveryDirectory WRITE setRecoveryDirectory)
    Q_PROPERTY(QString recoveryPath READ recoveryPath)
    Q_PROPERTY(bool autosave READ autosave WRITE setAutosave)
    Q_PROPERTY(QString schemaPath READ schemaPath CONSTANT)

public:
    static constexpr int kFormatVersion = 1;

    // Made by the control, which hands it the ports it reads and drives.
    TVN_NO_EXPORT Analysis(Trelvan& control, std::unique_ptr<analysis::AnalysisPorts> ports);
    ~Analysis() override;

    int formatVersion() const { return kFormatVersion; }

    // Documents. save writes the analysis to path (atomically) and removes the
    // recovery file; open reads one and applies it (opening its clip if it is not
    // the one shown). defaultDocumentPath is where a document of the open clip is
    // kept by default: beside it, "<clip>.tvna.json".
    Q_INVOKABLE void save(const QString& path);
    Q_INVOKABLE void open(const QString& path);
    Q_INVOKABLE QString defaultDocumentPath() const;
    // The last document saved or opened for the clip shown; "" none.
    QString documentPath() const { return documentPath_; }
    // The analysis on screen as a document's text.
    Q_INVOKABLE QString toJson() const;
    // The JSON Schema of the format: the installed copy, or the source tree's in a build.
    static QString schemaPath();

    // Recovery.
    bool hasRecovery() const;
    Q_INVOKABLE void recover();
    Q_INVOKABLE void discardRecovery();
    QString recoveryDirectory() const;
    void setRecoveryDirectory(const QString& directory);
    // The recovery file of the clip shown; "" without a clip.
    QString recoveryPath() const;
    bool autosave() const { return autosave_; }
    void setAutosave(bool on);
    // Takes the pending snapshot now and waits until the worker has written it
    // (for a host about to quit on purpose, and for tests).
    Q_INVOKABLE void flushAutosave();
    // Takes a snapshot now when something changed since the last one and hands
    // it to the worker without waiting: the UI thread's whole part of an autosave.
    Q_INVOKABLE void autosaveNow();

    // Key moments.
    // Marks the current frame; returns the moment's index.
    Q_INVOKABLE int markKeyMoment(const QString& label, const QString& note, int colour);
    Q_INVOKABLE int markKeyMomentAt(int frame, const QString& label, const QString& note, int colour);
    Q_INVOKABLE void renameKeyMoment(int index, const QString& label);
    Q_INVOKABLE void setKeyMomentNote(int index, const QString& note);
    Q_INVOKABLE void setKeyMomentColour(int index, int colour);
    Q_INVOKABLE void removeKeyMoment(int index);
    Q_INVOKABLE void clearKeyMoments();
    int keyMomentCount() const { return int(moments_.size()); }
    Q_INVOKABLE int keyMomentFrame(int index) const;
    Q_INVOKABLE double keyMomentTimeMs(int index) const;
    Q_INVOKABLE QString keyMomentLabel(int index) const;
    Q_INVOKABLE QString keyMomentNote(int index) const;
    Q_INVOKABLE int keyMomentColour(int index) const;
    // The index of the moment on frame, or -1.
    Q_INVOKABLE int keyMomentOn(int frame) const;
    // Moves the control to the first moment after (before) the current frame;
    // returns its index, or -1 (and stays) when there is none.
    Q_INVOKABLE int nextKeyMoment();
    Q_INVOKABLE int previousKeyMoment();
    // frame,time_ms,label,note,colour (#RRGGBB); a header line first.
    Q_INVOKABLE void exportKeyMomentsCsv(const QString& path) const;
    // For C++ hosts.
    const std::vector<KeyMoment>& keyMoments() const { return moments_; }
    // The open clip's fingerprint (null without a clip).
    const ClipFingerprint& clipFingerprint() const { return fingerprint_; }

    // The control tells the companion after every open and close of a clip
    // (closing: clean is true), and whenever something a coach sees may have changed.
    TVN_NO_EXPORT void followClip(bool clean);
    TVN_NO_EXPORT void noteChange();

signals:
    void keyMomentsChanged();
    void recoveryChanged(bool available);
    // A recovery file of the clip just opened is there to recover.
    void recoveryAvailable(const QString& recoveryPath);
    void documentChanged(const QString& path);
    void saved(const QString& path);
    void opened(const QString& path);
    void autosaveFailed(const QString& reason);

private:
    TVN_NO_EXPORT analysis::AnalysisSnapshot snapshot() const;
    // Applies a decoded document (read from where) once its clip is found.
    TVN_NO_EXPORT void apply(const analysis::AnalysisSnapshot& snapshot, const QString& where);
    TVN_NO_EXPORT void tick();
    QString recoveryPathFor(const ClipFingerprint& fingerprint) const;
    void checkIndex(const char* call, int index) const;
    int insertMoment(KeyMoment moment);
    void momentsChanged();

    Trelvan& control_;
    std::unique_ptr<analysis::AnalysisPorts> ports_;
    std::unique_ptr<analysis::SnapshotBridge> bridge_;  // reads and applies the control's side of a snapshot
    std::unique_ptr<analysis::AutosaveWriter> writer_;
    std::vector<KeyMoment> moments_;
    ClipFingerprint fingerprint_;
    QString clip_;           // the clip the analysis belongs to; "" none
    QString documentPath_;
    QString recoveryDirectory_;
    bool autosave_ = true;
    bool recoveryFound_ = false;  // a recovery file from before this clip was opened
    bool applying_ = false;       // inside apply(): its own changes are not autosaved twice
    bool dirty_ = false;          // a change seen since the last snapshot
    struct Watched;               // the settings and the comparison as the last snapshot had them
    std::unique_ptr<Watched> watched_;
    TVN_NO_EXPORT Watched watched() const;  // as they are now (cheap: no drawings, no tracks)
    QTimer* tick_ = nullptr;
};

}  // namespace tvn
