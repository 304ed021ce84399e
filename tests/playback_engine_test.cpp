// The playback of the control on the real FFmpeg components, on clips made at
// test time whose frame n shows the number n: the measures of an open clip,
// jumps and steps checked on the pixels of the picture handed to the host, and
// the film strip's nine thumbnails.
#include "control/Trelvan.h"
#include "core/TvnError.h"
#include "fakes/ControlProbe.h"
#include "fakes/EventLoopWait.h"
#include "fakes/TestClips.h"
#include "media/Components.h"

#include <QFileInfo>
#include <QImageReader>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>

using namespace tvn;
using namespace tvn::testclips;
using tvn::testing::waitFor;

namespace {

// 300 frames at 30 fps: 10 s.
QString tenSecondClip() {
    static const QString path = [] {
        ClipOptions o;
        o.frames = 300;
        o.fps = 30;
        o.keyInterval = 60;
        return makeClip(testFolder().path(), ClipFormat::H264Mp4, o, QStringLiteral("ten seconds"));
    }();
    return path;
}

struct RealControl : ::testing::Test {
    void SetUp() override {
        control = std::make_unique<Trelvan>(Components::defaults());
        control->resize(320, 240);
        QString name = tenSecondClip();
        opened = control->TVN_OpenFile(name);
    }
    int shownFrame() { return frameNumber(control->TVN_GetFrameAsIPic().image()); }

    std::unique_ptr<Trelvan> control;
    int32_t opened = 0;
};

TEST_F(RealControl, OpensWithItsMeasures) {
    EXPECT_EQ(opened, 300);
    EXPECT_EQ(control->TVN_NumFrames, 300);
    EXPECT_NEAR(control->TVN_FrameLenMS, 33.333, 0.001);
    EXPECT_NEAR(control->TVN_TotalLenMS, 10000, 1e-6);
    EXPECT_EQ(control->TVN_VideoWidth, 320);
    EXPECT_EQ(control->TVN_VideoHeight, 240);
    EXPECT_EQ(shownFrame(), 0);
}

TEST_F(RealControl, JumpsAndStepsShowTheFrameTheyName) {
    struct Case {
        const char* move;
        int frame;
    };
    const Case cases[] = {{"SetFrame 10", 10}, {"Step", 11}, {"SetPos 1000", 30}, {"Step", 31},
                          {"SetFrame 299", 299}, {"SetFrame 2", 2}, {"SetPos 5000", 150}};
    for (const Case& k : cases) {
        SCOPED_TRACE(k.move);
        const QString move = QString::fromLatin1(k.move);
        if (move.startsWith("SetFrame")) {
            int32_t f = move.section(' ', 1).toInt();
            control->TVN_SetFrame(f);
        } else if (move.startsWith("SetPos")) {
            double pos = move.section(' ', 1).toDouble();
            control->TVN_SetPos(pos);
        } else {
            control->TVN_StepOneFrame();
        }
        EXPECT_EQ(control->TVN_CurrentFrame, k.frame);
        EXPECT_EQ(shownFrame(), k.frame);
    }
}

TEST_F(RealControl, FilmStripShowsTheNextNineFramesAndReturns) {
    int32_t start = 40;
    control->TVN_SetFrame(start);
    control->TVN_ShowFilmStrip(true);
    ControlProbe probe(*control);
    const QImage strip = probe.picture(5).image();
    ASSERT_EQ(strip.width(), 320);
    ASSERT_EQ(strip.height(), 240);
    // Thumbnails of 106.67 x 80 pixels from x 0, 106.67, 213.33 and y 0, 80, 160; read each inside its cell.
    const int xs[] = {0, 107, 214}, ys[] = {0, 80, 160};
    for (int i = 0; i < 9; ++i) {
        const QImage cell = strip.copy(xs[i % 3], ys[i / 3], 106, 80);
        EXPECT_EQ(frameNumber(cell), start + i) << "thumbnail " << i;
    }
    EXPECT_EQ(control->TVN_CurrentFrame, start);
    EXPECT_EQ(shownFrame(), start);
    EXPECT_TRUE(probe.filmStripPanel()->isEnabled());
    control->TVN_ShowFilmStrip(false);
    EXPECT_TRUE(probe.filmStripPanel()->isHidden());
}

}  // namespace
