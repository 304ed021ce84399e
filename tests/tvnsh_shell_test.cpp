#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTextStream>
#include <gtest/gtest.h>

namespace {

// Runs the scripting shell the build made on a script; returns its standard output.
struct ShellRun {
    QString out;
    int exitCode = -1;
};

ShellRun runShell(const QStringList& args, const QString& script = {}) {
    const QString shell = qEnvironmentVariable("TVNSH");
    ShellRun run;
    if (shell.isEmpty()) {
        ADD_FAILURE() << "TVNSH is not set (ctest sets it to the built tvnsh)";
        return run;
    }
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    p.setProcessEnvironment(env);
    p.start(shell, args);
    if (!script.isEmpty()) p.write(script.toUtf8());
    p.closeWriteChannel();
    EXPECT_TRUE(p.waitForFinished(60000)) << "tvnsh did not finish";
    run.out = QString::fromUtf8(p.readAllStandardOutput());
    run.exitCode = p.exitCode();
    return run;
}

TEST(Tvnsh, CallsSetsExpectationsAndErrors) {
    QTemporaryDir dir;
    const QString png = dir.filePath("snap.png");
    const ShellRun r = runShell({"--size", "320x240"}, QString(R"(# a comment
set TVN_drawingWidth 7
expect TVN_drawingWidth = 7
set TVN_Text "say \"hi\""
get TVN_Text
call TVN_SetFrame 10
call TVN_GetPos
call TVN_OpenFile ""
call TVN_FlipVideo 1 2
set TVN_drawingWidth 99999
call TVN_SaveFrameJpg "" 80
snapshot %1
expect TVN_drawingWidth > 7
echo still running
)").arg(png));
    EXPECT_EQ(r.exitCode, 1);  // the failed expect
    const QStringList lines = r.out.split('\n');
    EXPECT_TRUE(lines.contains(R"(TVN_Text = "say \"hi\"")")) << r.out.toStdString();
    // A by-reference argument is printed as the method left it.
    const int setFrame = lines.indexOf("TVN_SetFrame -> (empty)");
    ASSERT_GE(setFrame, 0) << r.out.toStdString();
    EXPECT_EQ(lines.value(setFrame + 1), "  frameNumber = 10");
    EXPECT_TRUE(lines.contains("TVN_GetPos -> 0"));
    EXPECT_TRUE(lines.contains("TVN_OpenFile -> 0"));
    EXPECT_TRUE(lines.contains(R"(  videoFileName = "")"));
    EXPECT_TRUE(r.out.contains("error 450:"));  // wrong number of arguments
    EXPECT_TRUE(r.out.contains("error 13:"));   // 99999 does not fit an Integer
    EXPECT_TRUE(lines.contains("TVN_SaveFrameJpg -> False"));
    EXPECT_TRUE(r.out.contains("expect failed: TVN_drawingWidth > 7"));
    EXPECT_TRUE(lines.contains("still running"));
    QImage snap(png);
    EXPECT_EQ(snap.size(), QSize(320, 240));
}

TEST(Tvnsh, ListsEveryMemberInInterfaceOrder) {
    const ShellRun r = runShell({"--members"});
    EXPECT_EQ(r.exitCode, 0);
    const QStringList lines = r.out.trimmed().split('\n');
    EXPECT_EQ(lines.filter(QRegularExpression("^property ")).size(), 41);
    EXPECT_EQ(lines.filter(QRegularExpression("^method ")).size(), 44);
    EXPECT_EQ(lines.filter(QRegularExpression("^event ")).size(), 8);
    EXPECT_EQ(lines.value(0), "property TVN_videoFileName As String");
    EXPECT_EQ(lines.value(24), "method TVN_Close() As Variant");
    EXPECT_TRUE(lines.contains("method TVN_SetFrame(ByRef frameNumber As Long) As Variant"));
    EXPECT_TRUE(lines.contains("method TVN_UploadFrame(ByVal server As String, ByVal username As String, "
                               "ByVal password As String, ByVal path As String, ByVal FileName As String, "
                               "ByVal Port As Long, ByVal quality As Long) As Long"));
    EXPECT_EQ(lines.value(84), "property TVN_AlphaLevel As Long");
    EXPECT_EQ(lines.value(85), "event VideoEnd()");
    EXPECT_EQ(lines.value(89), "event KeyPress(ByRef KeyAscii As Integer)");
}

TEST(Tvnsh, PrintsEventsAndTimesOutAwaits) {
    const ShellRun r = runShell({}, "key 65\nawait VideoEnd 100\n");
    EXPECT_TRUE(r.out.contains("event KeyPress(65)")) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains("await VideoEnd timed out"));
    EXPECT_EQ(r.exitCode, 1);
}

}  // namespace
