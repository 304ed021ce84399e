// Analysis documents: a save reopened picture for picture, the refusals that
// leave the analysis on screen as it was, the shipped schema, key moments, and
// the recovery of a session killed mid-work.
#include "analysis/Analysis.h"
#include "analysis/AnalysisDocument.h"
#include "control/Trelvan.h"
#include "core/Twips.h"
#include "fakes/ControlProbe.h"
#include "fakes/ErrorFrom.h"
#include "fakes/EventLoopWait.h"
#include "fakes/TestClips.h"
#include "motion/MotionAnalysis.h"
#include "platform/Surface.h"
#include "support/MarkerClip.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>
#include <csignal>

using namespace tvn;
using tvn::testing::errorFrom;

namespace {

QString markerClip() {
    bench::MarkerClip c;
    c.width = 160, c.height = 120, c.frames = 60, c.radius = 35, c.noise = 3;
    return c.make(testclips::testFolder().filePath(QStringLiteral("analysis-marker.mp4")));
}

QString writeFile(const QString& path, const QByteArray& text) {
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(text);
    return path;
}

// A control showing clip, with its recovery files in dir.
struct Session {
    explicit Session(const QString& clip, const QString& recovery) {
        control.resize(160, 120);
        control.show();
        control.analysis()->setRecoveryDirectory(recovery);
        QString file = clip;
        control.TVN_OpenFile(file);
        tx = twipsPerPixelX(&control), ty = twipsPerPixelY(&control);
    }
    void drag(const char* tool, QPointF from, QPointF to) {
        control.TVN_drawingTool = QString::fromLatin1(tool);
        int16_t left = 1, none = 0;
        float x1 = float(from.x() * tx), y1 = float(from.y() * ty), x2 = float(to.x() * tx), y2 = float(to.y() * ty);
        control.TVN_MouseDown(left, none, x1, y1);
        control.TVN_MouseMove(left, none, x2, y2);
        control.TVN_MouseUp(left, none, x2, y2);
    }
    QImage pictureOn(int32_t frame) {
        control.TVN_SetFrame(frame);
        return ControlProbe(control).picture(1).image().copy();
    }
    Trelvan control{Components::defaults()};
    double tx = 15, ty = 15;
};

TEST(AnalysisDocument, ReopensEveryKindOfWorkPixelForPixel) {
    QTemporaryDir dir;
    const QString clip = markerClip(), second = testclips::clip(testclips::ClipFormat::H264Mp4, {.frames = 30, .width = 160, .height = 120});
    const QString document = dir.filePath(QStringLiteral("work.tvna.json"));
    std::vector<QImage> before;
    QString savedJson;
    {
        Session s(clip, dir.path());
        Trelvan& c = s.control;
        c.TVN_drawingWidth = 3;
        c.TVN_DisplayGrid = true, c.TVN_GridSpacing = 20, c.TVN_GridColor = 0x808080;
        c.TVN_DisplayClock = true, c.TVN_DisplayTarget = true;
        c.TVN_drawingColor = 0x0000FF;
        s.drag("line", {10, 10}, {90, 40});
        c.TVN_drawingColor = 0x00FF00;
        s.drag("square", {20, 60}, {60, 100});
        s.drag("circle", {100, 60}, {140, 100});
        s.drag("free", {30, 30}, {70, 80});
        c.TVN_Text = QStringLiteral("take-off"), c.TVN_FontSize = 12, c.TVN_TextColor = 0xFFFF00;
        s.drag("text", {100, 20}, {100, 20});
        s.drag("qangle", {80, 110}, {120, 90});
        s.drag("qangle", {80, 110}, {40, 90});
        bool on = true;
        c.TVN_SetTracking(on);
        s.drag("kitetail", {50, 50}, {50, 50});
        s.drag("target", {70, 70}, {70, 70});
        c.TVN_drawingColor = 0xFF00FF;
        s.drag("line", {130, 10}, {150, 50});
        c.TVN_Undo();  // the history travels too: the redo must still be there after the reopen
        MotionAnalysis& m = *c.motion();
        m.calibrate(0, 0, 100 * s.tx, 0, 2, QStringLiteral("m"));
        m.trackPoint(80 * s.tx, 60 * s.ty, false);
        ASSERT_TRUE(tvn::testing::waitFor([&] { return !m.busy(); }, 60000));
        m.setShowLineLengths(true);
        QString overlay = second;
        c.TVN_Overlay(overlay);
        c.placeSecondClip(10, 10, 80, 60, 70);
        c.TVN_SetOverlay2Frame(12);
        c.analysis()->markKeyMomentAt(20, QStringLiteral("contact"), QStringLiteral("left foot"), 0x00FFFF);
        for (int32_t frame : {0, 25, 59}) before.push_back(s.pictureOn(frame));
        ASSERT_NE(before[0], Session(clip, dir.path()).pictureOn(0)) << "nothing was drawn";
        c.analysis()->save(document);
        savedJson = c.analysis()->toJson();
        EXPECT_FALSE(QFile::exists(c.analysis()->recoveryPath())) << "a save leaves no recovery file";
    }
    Session r(testclips::clip(testclips::ClipFormat::H264Mp4, {.frames = 10, .width = 160, .height = 120}), dir.path());
    r.control.analysis()->open(document);
    EXPECT_EQ(r.control.TVN_videoFileName, clip);
    EXPECT_EQ(r.control.analysis()->toJson(), savedJson);
    for (int i = 0; int32_t frame : {0, 25, 59}) EXPECT_EQ(r.pictureOn(frame), before[i++]) << "frame " << frame;
    const AnnotationStore& store = ControlProbe(r.control).store();
    const int16_t undone = store.nextLineSlot;
    r.control.TVN_Redo();
    EXPECT_TRUE(store.Lines[undone].Visible) << "the undone line does not come back";

    // The saved document satisfies the shipped schema.
    QProcess python;
    python.start(QStringLiteral("python3"), {QStringLiteral("-c"),
        QStringLiteral("import json,sys,jsonschema; jsonschema.validate(json.load(open(sys.argv[1])), json.load(open(sys.argv[2])))"),
        document, Analysis::schemaPath()});
    ASSERT_TRUE(python.waitForFinished(60000));
    EXPECT_EQ(python.exitCode(), 0) << python.readAllStandardError().toStdString();
}

// Each faulty document is refused with its reason, and the analysis on screen stays as it was.
TEST(AnalysisDocument, RefusesFaultyDocumentsAndLeavesTheAnalysisAsItWas) {
    QTemporaryDir dir;
    const QString clip = markerClip();
    Session s(clip, dir.path());
    Analysis& a = *s.control.analysis();
    a.markKeyMomentAt(5, QStringLiteral("release"), {}, 0xFF);
    const QByteArray good = a.toJson().toUtf8();
    // The same clip's copy under another name: the document made on it is refused on a different clip.
    const QString other = testclips::clip(testclips::ClipFormat::H264Mp4, {.frames = 10, .width = 160, .height = 120});
    QByteArray otherClip = good;
    otherClip.replace(QByteArray("\"hash\":\""), QByteArray("\"hash\":\"00"));
    otherClip.replace(clip.toUtf8(), other.toUtf8());
    QByteArray newer = good, missing = good, outOfRange = good;
    newer.replace("\"version\":1", "\"version\":7");
    missing.replace("\"next\"", "\"nxt\"");
    outOfRange.replace("\"position\":0", "\"position\":99");
    struct Case { QByteArray text; int32_t number; const char* says; };
    const std::vector<Case> cases{
        {good.left(good.indexOf("\"drawings\"")) + "\"drawings\":{,", err::InvalidCall, "line "},
        {newer, err::InvalidCall, "newer"},
        {missing, err::InvalidCall, "drawings.lines.next: missing"},
        {outOfRange, err::InvalidCall, "drawings.history.position"},
        {otherClip, err::InvalidCall, "another clip"},
        {"[]", err::InvalidCall, "not an analysis document"},
    };
    s.drag("line", {10, 10}, {90, 40});
    const QImage picture = s.pictureOn(3);
    const QString onScreen = a.toJson();
    for (size_t i = 0; i < cases.size(); ++i) {
        const auto e = errorFrom([&] { a.open(writeFile(dir.filePath(QStringLiteral("bad%1.json").arg(i)), cases[i].text)); });
        ASSERT_TRUE(e) << i;
        EXPECT_EQ(e->number(), cases[i].number) << i;
        EXPECT_TRUE(e->description().contains(QLatin1String(cases[i].says))) << i << ": " << e->description().toStdString();
        EXPECT_EQ(a.toJson(), onScreen) << i;
    }
    EXPECT_EQ(s.pictureOn(3), picture);
    // The line and column of a parse error are those of the fault.
    EXPECT_EQ(analysis::AnalysisDocument::lineAndColumn("{\n  \"a\": 1,\n  x", 14), std::pair(3, 3));
}

// A clip moved next to its document is found by its fingerprint.
TEST(AnalysisDocument, FindsAMovedClipBesideTheDocument) {
    QTemporaryDir dir;
    const QString moved = dir.filePath(QStringLiteral("renamed.mp4"));
    QFile::copy(markerClip(), dir.filePath(QStringLiteral("orig.mp4")));
    QString document = dir.filePath(QStringLiteral("orig.tvna.json"));
    {
        Session s(dir.filePath(QStringLiteral("orig.mp4")), dir.path());
        s.control.analysis()->markKeyMomentAt(7, QStringLiteral("contact"), {}, 0);
        s.control.analysis()->save(document);
    }
    ASSERT_TRUE(QFile::rename(dir.filePath(QStringLiteral("orig.mp4")), moved));
    Session r(testclips::clip(testclips::ClipFormat::H264Mp4, {.frames = 10, .width = 160, .height = 120}), dir.path());
    r.control.analysis()->open(document);
    EXPECT_EQ(r.control.TVN_videoFileName, moved);
    EXPECT_EQ(r.control.analysis()->keyMomentFrame(0), 7);
}

TEST(KeyMoments, KeptInFrameOrderSteppedThroughAndExported) {
    QTemporaryDir dir;
    Session s(markerClip(), dir.path());
    Analysis& a = *s.control.analysis();
    a.markKeyMomentAt(40, QStringLiteral("release"), {}, 0x0000FF);
    a.markKeyMomentAt(10, QStringLiteral("take-off"), QStringLiteral("knee, \"drive\""), 0x00FF00);
    int32_t frame = 25;
    s.control.TVN_SetFrame(frame);
    EXPECT_EQ(a.markKeyMoment(QStringLiteral("contact"), {}, 0xFF0000), 1);
    a.markKeyMomentAt(40, QStringLiteral("release2"), {}, 0x0000FF);  // the same frame: changed, not added
    a.renameKeyMoment(2, QStringLiteral("release"));
    EXPECT_EQ(a.keyMomentCount(), 3);
    EXPECT_EQ(a.nextKeyMoment(), 2);
    EXPECT_EQ(s.control.TVN_CurrentFrame, 40);
    EXPECT_EQ(a.nextKeyMoment(), -1);
    EXPECT_EQ(a.previousKeyMoment(), 1);
    EXPECT_EQ(a.previousKeyMoment(), 0);
    EXPECT_EQ(s.control.TVN_CurrentFrame, 10);
    a.removeKeyMoment(1);
    const auto bad = errorFrom([&] { a.renameKeyMoment(2, {}); });
    EXPECT_EQ(bad ? bad->number() : 0, err::SubscriptOutOfRange);
    const QString csv = dir.filePath(QStringLiteral("moments.csv"));
    a.exportKeyMomentsCsv(csv);
    QFile f(csv);
    f.open(QIODevice::ReadOnly);
    EXPECT_EQ(f.readAll(), QStringLiteral("frame,time_ms,label,note,colour\n10,%1,take-off,\"knee, \"\"drive\"\"\",#00ff00\n"
                                          "40,%2,release,,#ff0000\n")
                               .arg(a.keyMomentTimeMs(0), 0, 'f', 3).arg(a.keyMomentTimeMs(1), 0, 'f', 3).toUtf8());
    EXPECT_NEAR(a.keyMomentTimeMs(1), 40 * s.control.TVN_FrameLenMS, 0.5);
}

// A tvnsh session killed by SIGKILL: its work up to a second before the kill is
// offered on the next open of the clip; a clean close leaves nothing behind.
TEST(AnalysisRecovery, AKilledSessionLosesAtMostItsLastSecond) {
    QTemporaryDir dir;
    const QString clip = markerClip();
    QProcess shell;
    shell.start(qEnvironmentVariable("TVNSH"), {});
    shell.write(QStringLiteral("set analysis.recoveryDirectory \"%1\"\ncall TVN_OpenFile \"%2\"\n"
                               "call analysis.markKeyMomentAt 12 take-off knee 255\nset TVN_DisplayGrid True\n"
                               "echo marked\nwait 60000\n")
                    .arg(dir.path(), clip).toUtf8());
    QByteArray out;
    while (!out.contains("marked") && shell.waitForReadyRead(30000)) out += shell.readAllStandardOutput();
    ASSERT_TRUE(out.contains("marked")) << out.toStdString();
    QThread::msleep(1000);  // the shell keeps working (its event loop runs) for this second
    ::kill(pid_t(shell.processId()), SIGKILL);
    shell.waitForFinished(10000);

    Session s(clip, dir.path());
    Analysis& a = *s.control.analysis();
    ASSERT_TRUE(a.hasRecovery());
    EXPECT_EQ(a.keyMomentCount(), 0) << "recovered before asked";
    a.recover();
    EXPECT_EQ(a.keyMomentLabel(0), QStringLiteral("take-off"));
    EXPECT_TRUE(s.control.TVN_DisplayGrid);
    s.control.TVN_DisplayGrid = false;
    a.flushAutosave();
    const QString recovery = a.recoveryPath();
    EXPECT_TRUE(QFile::exists(recovery));
    s.control.TVN_Close();
    a.flushAutosave();
    EXPECT_FALSE(QFile::exists(recovery)) << "a clean close keeps the recovery file";
}

}  // namespace
