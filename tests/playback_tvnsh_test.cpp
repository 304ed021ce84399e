// Playback through the scripting shell on a clip made at test time: the
// positions a script reads back after jumps and steps, a saved JPEG, and
// drawings that stand over the video in a snapshot.
#include "fakes/TestClips.h"

#include <QColor>
#include <QCoreApplication>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tvn::testclips;

namespace {

// 300 frames at 30 fps (10 s), 320 x 240, frame n showing the number n.
QString clip() {
    static const QString path = [] {
        ClipOptions o;
        o.frames = 300;
        return makeClip(testFolder().path(), ClipFormat::H264Mp4, o, QStringLiteral("shell clip"));
    }();
    return path;
}

struct ShellRun {
    QString out;
    int exitCode = -1;
};

// The shell named by TVNSH (ctest sets it), else the one built beside the tests.
QString shellPath() {
    QString shell = qEnvironmentVariable("TVNSH");
    if (shell.isEmpty()) shell = QCoreApplication::applicationDirPath() + QStringLiteral("/../tvnsh");
    return QFileInfo(shell).isExecutable() ? shell : QString();
}

ShellRun runScript(const QString& script) {
    const QString shell = shellPath();
    ShellRun run;
    if (shell.isEmpty()) {
        ADD_FAILURE() << "no tvnsh: TVNSH is not set and none was built beside the tests";
        return run;
    }
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    p.setProcessEnvironment(env);
    p.start(shell, {});
    p.write(script.toUtf8());
    p.closeWriteChannel();
    EXPECT_TRUE(p.waitForFinished(60000)) << "tvnsh did not finish";
    run.out = QString::fromUtf8(p.readAllStandardOutput());
    run.exitCode = p.exitCode();
    return run;
}

QString quoted(const QString& s) { return '"' + s + '"'; }

TEST(PlaybackShell, JumpsStepsJpegAndPositionsReadBack) {
    const QString jpeg = testFolder().filePath("frame 30.jpg");
    const ShellRun r = runScript(QString(R"(call TVN_OpenFile %1
get TVN_NumFrames
get TVN_FrameLenMS
get TVN_TotalLenMS
call TVN_SetFrame 10
get TVN_CurrentPos
call TVN_StepOneFrame
call TVN_GetFrame
call TVN_SetPos 1000.0
get TVN_CurrentFrame
call TVN_SaveFrameJpg %2 90
call TVN_GetPos
call TVN_SetFrame 500
get TVN_CurrentFrame
call TVN_StepOneFrame
get TVN_CurrentPos
call TVN_Close
call TVN_GetPos
get TVN_CurrentFrame
)")
                                         .arg(quoted(clip()), quoted(jpeg)));
    EXPECT_EQ(r.exitCode, 0);
    const QString expected = QString(R"(TVN_OpenFile -> 300
  videoFileName = %1
TVN_NumFrames = 300
TVN_FrameLenMS = 33.3333333333333
TVN_TotalLenMS = 10000
TVN_SetFrame -> (empty)
  frameNumber = 10
TVN_CurrentPos = 333.333333333333
TVN_StepOneFrame -> (empty)
TVN_GetFrame -> 11
TVN_SetPos -> (empty)
  pos = 1000
TVN_CurrentFrame = 30
TVN_SaveFrameJpg -> True
  FileName = %2
  quality = 90
TVN_GetPos -> 1000
TVN_SetFrame -> (empty)
  frameNumber = 300
TVN_CurrentFrame = 300
TVN_StepOneFrame -> (empty)
TVN_CurrentPos = 10000
TVN_Close -> (empty)
TVN_GetPos -> 0
TVN_CurrentFrame = -1
)")
                                 .arg(quoted(clip()), quoted(jpeg));
    EXPECT_EQ(r.out.toStdString(), expected.toStdString());
    const QImage saved(jpeg);
    ASSERT_FALSE(saved.isNull());
    EXPECT_EQ(frameNumber(saved), 30);
}

// Pixels of the colour (within a tolerance for scaling) inside the rectangle.
int countNear(const QImage& image, const QRect& area, QColor colour) {
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (std::abs(c.red() - colour.red()) < 60 && std::abs(c.green() - colour.green()) < 60 &&
                std::abs(c.blue() - colour.blue()) < 60)
                ++n;
        }
    return n;
}

TEST(PlaybackShell, LineQuickAngleAndTextStandOverTheVideo) {
    const QString before = testFolder().filePath("before.png");
    const QString after = testFolder().filePath("after.png");
    const ShellRun r = runScript(QString(R"(call TVN_OpenFile %1
call TVN_SetFrame 10
snapshot %2
set TVN_drawingColor 255
set TVN_drawingTool line
pointer down 40 40
pointer move 120 60
pointer up 120 60
set TVN_drawingTool qangle
pointer down 160 180
pointer move 240 120
pointer up 240 120
get TVN_AngleText
set TVN_drawingTool text
pointer down 40 400
pointer up 40 400
key 72
key 105
key 13
snapshot %3
expect TVN_CurrentFrame = 10
)")
                                         .arg(quoted(clip()), quoted(before), quoted(after)));
    EXPECT_EQ(r.exitCode, 0) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains("TVN_AngleText = \"37°\"")) << r.out.toStdString();  // atan(60 / 80)
    EXPECT_TRUE(r.out.contains("event KeyPress(13)"));

    const QImage plain(before), drawn(after);
    ASSERT_FALSE(plain.isNull());
    ASSERT_FALSE(drawn.isNull());
    ASSERT_EQ(drawn.size(), QSize(640, 480));
    const QColor red(255, 0, 0), yellow(255, 255, 0);
    // The video underneath is the frame code of frame 10 (black and white only).
    EXPECT_EQ(frameNumber(plain), 10);
    EXPECT_EQ(countNear(plain, plain.rect(), red), 0);
    // The line's middle, the quick angle's arm and the typed text, over the video.
    EXPECT_GT(countNear(drawn, QRect(75, 43, 10, 10), red), 0);
    EXPECT_GT(countNear(drawn, QRect(195, 145, 10, 10), red), 0);
    EXPECT_GT(countNear(drawn, QRect(30, 385, 60, 40), yellow), 10);
    // Away from the drawings the video is as it was.
    EXPECT_EQ(drawn.pixel(600, 300), plain.pixel(600, 300));
}

}  // namespace
