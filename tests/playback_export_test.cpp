// Frame export on recording fakes: which component is asked, what the host gets
// back, and which methods prefix, ignore or pass failures.
#include "fakes/ControlHarness.h"
#include "fakes/ErrorFrom.h"

#include <gtest/gtest.h>

inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

using namespace tvn;
using namespace tvn::testing;

namespace {

const TvnError kEngineFailure(-2147219000, "engine refused", "VideoCapX");

struct Export {
    Export() {
        h.c().TVN_RawPlayerMode = true;
        h.openClip("clip.avi", 300, 10000);
        h.log.clear();
    }
    Trelvan& c() { return h.c(); }
    ControlHarness h;
};

QImage solid(QRgb colour, int w = 8, int h = 6) {
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

TEST(PlaybackExport, SaveFrameJpg) {
    struct Case {
        QString name;
        bool engineSays;
        bool result;
        QStringList log;
    };
    const Case cases[] = {
        {"", true, false, {}},  // an empty name never reaches the engine
        {"/tmp/f.jpg", true, true, {"VideoCapX1.SaveFrameJpeg(\"/tmp/f.jpg\", 150)"}},  // quality not checked
        {"/tmp/f.jpg", false, false, {"VideoCapX1.SaveFrameJpeg(\"/tmp/f.jpg\", 150)"}},
    };
    for (const Case& k : cases) {
        Export e;
        e.h.engine1->saveJpegResult = k.engineSays;
        QString name = k.name;
        int32_t quality = 150;
        EXPECT_EQ(e.c().TVN_SaveFrameJpg(name, quality), k.result);
        EXPECT_EQ(e.h.log.entries(), k.log);
    }
    Export e;
    e.h.engine1->failOn("SaveFrameJpeg", kEngineFailure);
    QString name = "x.jpg";
    int32_t quality = 80;
    const auto err = errorFrom([&] { e.c().TVN_SaveFrameJpg(name, quality); });
    ASSERT_TRUE(err) << "no error";
    EXPECT_EQ(err->source(), "(TVN_SaveFrameJpg)->VideoCapX");
}

TEST(PlaybackExport, FrameAsBitmapIsTheEnginesHandle) {
    Export e;
    e.h.engine1->frameBitmap = 0x1234;
    EXPECT_EQ(e.c().TVN_GetFrameAsBitmap(), 0x1234);
    EXPECT_EQ(e.h.log.entries(), QStringList({"VideoCapX1.GetFrameBitmap()"}));
    e.h.engine1->failOn("GetFrameBitmap", kEngineFailure);
    const auto err = errorFrom([&] { e.c().TVN_GetFrameAsBitmap(); });
    ASSERT_TRUE(err) << "no error";
    EXPECT_EQ(err->source(), "(TVN_GetFrameAsBitmap)->VideoCapX");
}

TEST(PlaybackExport, FrameAsPictureComesFromWhatIsShown) {
    struct Case {
        const char* name;
        bool engineShown, mixerShown;
        const char* failing;  // engine operation that fails, or nullptr
        QRgb colour;          // 0: nothing
        QStringList log;
    };
    const QRgb engineColour = 0xff102030, mixerColour = 0xff405060;
    const Case cases[] = {
        {"display", true, false, nullptr, engineColour, {"VideoCapX1.Visible", "VideoCapX1.CurrentFramePicture()"}},
        {"display over mixer", true, true, nullptr, engineColour,
         {"VideoCapX1.Visible", "VideoCapX1.CurrentFramePicture()"}},
        {"overlay", false, true, nullptr, mixerColour,
         {"VideoCapX1.Visible", "VideoMixerX1.Visible", "VideoMixerX1.MixedFramePicture(-1)"}},
        {"both hidden", false, false, nullptr, 0, {"VideoCapX1.Visible", "VideoMixerX1.Visible"}},
        {"engine fails", true, false, "CurrentFramePicture", 0,
         {"VideoCapX1.Visible", "VideoCapX1.CurrentFramePicture()"}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        Export e;
        e.h.engine1->currentPicture = Picture(solid(engineColour));
        e.h.mixer->mixedPicture = Picture(solid(mixerColour));
        e.h.engine1->Display()->setVisible(k.engineShown);
        e.h.mixer->Display()->setVisible(k.mixerShown);
        if (k.failing) e.h.engine1->failOn(k.failing, kEngineFailure);
        Picture pic;
        EXPECT_NO_THROW(pic = e.c().TVN_GetFrameAsIPic());
        if (k.colour == 0) {
            EXPECT_TRUE(pic.isNothing());
        } else {
            ASSERT_FALSE(pic.isNothing());
            EXPECT_EQ(pic.image().pixel(0, 0), k.colour);
        }
        EXPECT_EQ(e.h.log.entries(), k.log);
    }
}

TEST(PlaybackExport, SecondPictureGoesToPicture6) {
    Export e;
    Picture second(solid(0xff00ff00, 20, 10));
    e.c().TVN_SetSecondIPic(second);
    ASSERT_FALSE(e.h.probe().picture(6).picture().isNothing());
    EXPECT_EQ(e.h.probe().picture(6).picture().image().pixel(3, 3), 0xff00ff00u);
    EXPECT_TRUE(e.h.log.entries().isEmpty());
}

TEST(PlaybackExport, UploadReportsMinusOneOrZeroAndPassesFailuresUnchanged) {
    for (bool sent : {true, false}) {
        Export e;
        e.h.engine1->uploadResult = sent;
        EXPECT_EQ(e.c().TVN_UploadFrame("ftp.example", "coach", "pw", "/up", "f.jpg", 21, 75), sent ? -1 : 0);
        EXPECT_EQ(e.h.log.entries(), QStringList({"VideoCapX1.UploadFrame(\"ftp.example\", \"coach\", \"pw\", "
                                                  "\"/up\", \"f.jpg\", 21, 75)"}));
    }
    Export e;
    e.h.engine1->failOn("UploadFrame", kEngineFailure);
    const auto err = errorFrom([&] { e.c().TVN_UploadFrame("s", "u", "p", "/", "f.jpg", 21, 75); });
    ASSERT_TRUE(err) << "no error";
    EXPECT_EQ(err->source(), "VideoCapX");  // no prefix
}

TEST(PlaybackExport, FlipVideoMirrorsForAnyNonZeroValue) {
    struct Case {
        int16_t flip;
        bool flipped;
        QString mode;
    };
    const Case cases[] = {{1, true, "VideoCapX1.FlipMode = 101"},
                          {5, true, "VideoCapX1.FlipMode = 101"},
                          {-1, true, "VideoCapX1.FlipMode = 101"},
                          {0, false, "VideoCapX1.FlipMode = 0"}};
    for (const Case& k : cases) {
        SCOPED_TRACE(k.flip);
        Export e;
        e.c().TVN_FlipVideo(k.flip);
        EXPECT_EQ(e.h.probe().state().videoFlipped, k.flipped);
        ASSERT_FALSE(e.h.log.entries().isEmpty());
        EXPECT_EQ(e.h.log.entries().first(), k.mode);
        EXPECT_TRUE(e.h.log.contains("VideoCapX1.Option43"));  // TVN_ReDraw redrew
    }
    // Closing forgets the mirroring but leaves the engine's setting alone.
    Export e;
    e.c().TVN_FlipVideo(1);
    e.c().TVN_Close();
    EXPECT_FALSE(e.h.probe().state().videoFlipped);
    EXPECT_EQ(e.h.engine1->flipMode, 101);

    e.h.engine1->failOn("FlipMode", kEngineFailure);
    const auto err = errorFrom([&] { e.c().TVN_FlipVideo(1); });
    ASSERT_TRUE(err) << "no error";
    EXPECT_EQ(err->source(), "(TVN_FlipVideo)->VideoCapX");
}

TEST(PlaybackExport, LaunchMonitorChangesNothing) {
    Export e;
    EXPECT_FALSE(e.c().TVN_DisplayLaunchMonitor(true).isValid());
    EXPECT_FALSE(e.c().TVN_DisplayLaunchMonitor(false).isValid());
    EXPECT_TRUE(e.h.log.entries().isEmpty());
}

}  // namespace
