// The second-clip overlay through the control on the real components, on clips
// made at test time whose frame n shows the number n as a grid of black and
// white cells. Where the two clips blend half and half, a cell that is white in
// one clip only is mid grey; white in both, white; in neither, black.
#include "recording_test_support.h"

#include "control/Trelvan.h"
#include "core/BitmapTable.h"
#include "core/TvnError.h"
#include "fakes/ControlProbe.h"
#include "fakes/ErrorFrom.h"
#include "fakes/TestClips.h"
#include "media/Components.h"

#include <QFile>
#include <QPainter>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <map>
#include <memory>

using namespace tvn;
using tvn::testing::errorFrom;
using namespace tvn::testclips;
using tvn::rectest::waitUntil;

namespace {

QString clip(const char* name, int fps) {
    ClipOptions o;
    o.frames = 30;
    o.fps = fps;
    o.keyInterval = 10;
    return makeClip(testFolder().path(), ClipFormat::H264Mp4, o, QLatin1String(name));
}

enum Level { Black = 0, Grey = 1, White = 2 };

// Level of the centre of cell k (4 columns x 3 rows) of a picture.
Level cellLevel(const QImage& image, int k) {
    const int cw = image.width() / 4, ch = image.height() / 3;
    const int x0 = (k % 4) * cw + cw / 3, y0 = (k / 4) * ch + ch / 3;
    int sum = 0, n = 0;
    for (int y = y0; y < y0 + ch / 3; ++y)
        for (int x = x0; x < x0 + cw / 3; ++x, ++n) sum += qGray(image.pixel(x, y));
    const int mean = n ? sum / n : 0;
    return mean < 50 ? Black : mean > 200 ? White : Grey;
}

// A control on the real components, shown at 320 x 240, with a 30-frame clip open.
std::unique_ptr<Trelvan> controlShowing(const char* clipName) {
    auto control = std::make_unique<Trelvan>(Components::defaults());
    control->resize(320, 240);
    control->show();
    QString main = clip(clipName, 30);
    EXPECT_EQ(control->TVN_OpenFile(main), 30);
    return control;
}

struct RealOverlay : ::testing::Test {
    void SetUp() override {
        control = controlShowing("main");
        QString second = clip("second", 25);
        control->TVN_Overlay(second);
        ASSERT_TRUE(ControlProbe(*control).state().overlayActive);
    }
    QImage mixed() { return control->TVN_GetFrameAsIPic().image(); }
    // Second clip on frame 3 (cells 0 and 1), main clip on frame 5 (cells 0 and 2).
    void showFiveOverThree() {
        control->TVN_SetOverlay2Frame(3);
        int32_t five = 5;
        control->TVN_SetFrame(five);
    }
    // Waits until the mixed picture shows the expected cell levels.
    ::testing::AssertionResult shows(const std::map<int, Level>& cells) {
        QImage last;
        const bool ok = waitUntil(
            [&] {
                last = mixed();
                if (last.isNull()) return false;
                for (const auto& [k, level] : cells)
                    if (cellLevel(last, k) != level) return false;
                return true;
            },
            3000);
        if (ok) return ::testing::AssertionSuccess();
        auto failure = ::testing::AssertionFailure() << "cells:";
        for (int k = 0; k < 12 && !last.isNull(); ++k) failure << ' ' << cellLevel(last, k);
        return failure;
    }
    std::unique_ptr<Trelvan> control;
};

TEST_F(RealOverlay, SecondClipBlendsHalfAndHalfAndMovesOnItsOwn) {
    // Both on frame 0: only the markers (cell 11) are white.
    EXPECT_TRUE(shows({{0, Black}, {1, Black}, {11, White}}));
    // Second clip on frame 3 (cells 0 and 1) over main frame 0.
    control->TVN_SetOverlay2Frame(3);
    EXPECT_TRUE(shows({{0, Grey}, {1, Grey}, {2, Black}, {11, White}}));
    // Main clip to frame 5 (cells 0 and 2); the second stays on 3.
    int32_t five = 5;
    control->TVN_SetFrame(five);
    EXPECT_TRUE(shows({{0, White}, {1, Grey}, {2, Grey}, {3, Black}, {11, White}}));
}

TEST_F(RealOverlay, MirroredSecondClipIsMirroredOnThePixels) {
    showFiveOverThree();
    control->TVN_FlipOverlay(true);
    // The second's cells 0, 1 and its marker move to columns 3, 2 and the bottom left.
    EXPECT_TRUE(shows({{0, Grey}, {1, Black}, {2, White}, {3, Grey}, {8, Grey}, {11, Grey}}));
    control->TVN_FlipOverlay(false);
    EXPECT_TRUE(shows({{0, White}, {1, Grey}, {2, Grey}, {3, Black}, {11, White}}));
}

TEST_F(RealOverlay, AdjustSetsOpacityAndPlacesTheMainClip) {
    showFiveOverThree();
    const QImage before = mixed();
    ASSERT_FALSE(before.isNull());
    const int w = before.width(), h = before.height();

    control->TVN_AdjustOverlay(0, 0, h, w, 100);  // opaque second clip
    EXPECT_TRUE(waitUntil([&] { return frameNumber(mixed()) == 3; }, 3000)) << frameNumber(mixed());
    control->TVN_AdjustOverlay(0, 0, h, w, 0);  // transparent second clip
    EXPECT_TRUE(waitUntil([&] { return frameNumber(mixed()) == 5; }, 3000)) << frameNumber(mixed());

    // The main clip squeezed into the right half; nothing covers the left half.
    control->TVN_AdjustOverlay(w / 2, 0, h, w / 2, 0);
    EXPECT_TRUE(waitUntil([&] { return frameNumber(mixed().copy(w / 2, 0, w - w / 2, h)) == 5; }, 3000));
    EXPECT_EQ(cellLevel(mixed(), 0), Black);  // main frame 5 has cell 0 white where it was
}

TEST(RealBitmapOverlay, KeyColourLeavesTheVideoVisible) {
    const auto owner = controlShowing("bitmap-main");
    Trelvan& control = *owner;
    int32_t six = 6;
    control.TVN_SetFrame(six);
    // The key colour (white, the default TVN_TransparentColor) everywhere but a
    // red square in the top-left corner, between the cells the frame code uses.
    QImage mark(320, 240, QImage::Format_RGB32);
    mark.fill(Qt::white);
    QPainter(&mark).fillRect(0, 0, 20, 20, Qt::red);
    int32_t handle = BitmapTable::instance().add(mark);
    control.TVN_SetBitmapOverlay(handle);
    EXPECT_EQ(control.TVN_OverlayImage, handle);
    QImage shown;
    EXPECT_TRUE(waitUntil(
        [&] {
            shown = control.TVN_GetFrameAsIPic().image();
            return !shown.isNull() && qRed(shown.pixel(10, 10)) > 200 && qGreen(shown.pixel(10, 10)) < 60;
        },
        3000));
    EXPECT_EQ(frameNumber(shown), 6);  // the video shows through the key colour
    BitmapTable::instance().release(handle);
}

// A second clip that cannot open fails the overlay with the file named, and
// leaves a control that can still close it, play and open another clip.
TEST(RealOverlayFailure, ABadSecondClipLeavesAControlThatCanCloseAndGoOn) {
    const auto owner = controlShowing("failure-main");
    Trelvan& control = *owner;
    QString main = control.TVN_videoFileName;
    QString bad = testFolder().filePath("not-a-clip.mp4");
    QFile file(bad);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(4096, 'x'));
    file.close();
    const auto e = errorFrom([&] { control.TVN_Overlay(bad); });
    ASSERT_TRUE(e) << "an unreadable second clip was accepted";
    EXPECT_TRUE(e->description().contains(bad)) << e->description().toStdString();
    EXPECT_TRUE(e->source().startsWith(QStringLiteral("(TVN_Overlay)->"))) << e->source().toStdString();
    QString none;
    EXPECT_NO_THROW(control.TVN_Overlay(none));
    EXPECT_FALSE(ControlProbe(control).state().overlayActive);
    int32_t frame = 7;
    EXPECT_NO_THROW(control.TVN_SetFrame(frame));
    EXPECT_TRUE(waitUntil([&] { return frameNumber(control.TVN_GetFrameAsIPic().image()) == 7; }, 3000));
    EXPECT_NO_THROW(control.TVN_Close());
    EXPECT_EQ(control.TVN_OpenFile(main), 30);
}

}  // namespace
