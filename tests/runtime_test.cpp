// What a host uses beside the control: probing a clip, and FFmpeg's log, which
// reaches the host only through the trelvan.ffmpeg category once enabled.
#include "control/ClipProbe.h"
#include "control/Trelvan.h"
#include "fakes/TestClips.h"

#include <QLoggingCategory>

extern "C" {
#include <libavutil/log.h>
}
#include <gtest/gtest.h>

using namespace tvn;
using namespace tvn::testclips;

TEST(ClipProbe, ReadsTheClipAsTheEngineDoesAndSaysWhyNot) {
    const ClipProbe good = probeClip(clip(ClipFormat::H264Mp4, {.frames = 45, .width = 160, .height = 120}));
    EXPECT_EQ(std::tuple(good.canOpen, good.width, good.height, good.frameCount, good.durationMs, good.error.has_value()),
              std::tuple(true, 160, 120, 45.0, 1500.0, false));
    EXPECT_NEAR(good.frameMs, 1000.0 / 30, 1e-9);
    const ClipProbe missing = probeClip(testFolder().path() + "/missing.mp4");
    ASSERT_TRUE(missing.error);
    EXPECT_EQ(std::tuple(missing.canOpen, missing.error->number()), std::tuple(false, err::FileNotFound));
    EXPECT_TRUE(missing.error->source().startsWith("(probeClip)->")) << missing.error->source().toStdString();
}

namespace {
QStringList ffmpegLines;
void keepFfmpegLines(QtMsgType, const QMessageLogContext& context, const QString& text) {
    if (QLatin1String(context.category) == QLatin1String("trelvan.ffmpeg")) ffmpegLines << text;
}
}  // namespace

TEST(MediaRuntime, FfmpegIsHeardOnlyThroughItsCategoryOnceEnabled) {
    // Index at the end, cut off: FFmpeg's MP4 reader complains that it finds none.
    const QString cut = writeFile(testFolder().path() + "/cut.mp4", readFile(clip(ClipFormat::H264Mp4)).left(2000));
    const QtMessageHandler previous = qInstallMessageHandler(keepFfmpegLines);
    const int hostLevel = av_log_get_level();
    probeClip(cut);
    {
        Trelvan control;
        QString name = clip(ClipFormat::H264Mp4);
        control.TVN_OpenFile(name);
    }
    EXPECT_EQ(av_log_get_level(), hostLevel) << "FFmpeg's global level is the host's";
    const QStringList byDefault = ffmpegLines;
    QLoggingCategory::setFilterRules(QStringLiteral("trelvan.ffmpeg.warning=true\ntrelvan.ffmpeg.info=true"));
    probeClip(cut);
    av_log(nullptr, AV_LOG_WARNING, "a warning of FFmpeg's\n");
    QLoggingCategory::setFilterRules(QString());
    qInstallMessageHandler(previous);
    EXPECT_EQ(byDefault, QStringList());
    EXPECT_TRUE(ffmpegLines.join('\n').contains("moov atom not found")) << ffmpegLines.join('\n').toStdString();
    EXPECT_TRUE(ffmpegLines.contains("a warning of FFmpeg's")) << ffmpegLines.join('\n').toStdString();
}
