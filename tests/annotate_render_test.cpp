#include "annotate_fixture.h"
#include "fakes/ErrorFrom.h"

#include <gtest/gtest.h>

#include <functional>

using namespace tvn;
using namespace tvn::testing;

namespace {

constexpr int32_t kWhite = 0xFFFFFF, kBlack = 0, kYellow = 0x00FFFF, kRed = 0x0000FF, kBlue = 0xFF0000;

// Rows of column x (in [y0, y1]) whose pixel has the colour.
QList<int> rowsOf(AnnotateHarness& h, int x, int y0, int y1, int32_t colour) {
    QList<int> rows;
    for (int y = y0; y <= y1; ++y)
        if (h.pixel(x, y) == colour) rows.append(y);
    return rows;
}

double mean(const QList<int>& v) {
    double s = 0;
    for (int i : v) s += i;
    return v.isEmpty() ? -1 : s / v.size();
}

bool anyPixel(AnnotateHarness& h, int32_t colour) {
    const QImage& img = h.probe().picture(1).image();
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (Surface::fromQColor(img.pixelColor(x, y)) == colour) return true;
    return false;
}

// A blank surface of Picture1's size with the text printed as the renderer prints it.
QImage printed(AnnotateHarness& h, const QString& font, double size, int32_t colour, double x, double y,
               const QStringList& lines, bool bold) {
    Surface ref(QStringLiteral("ref"), 15);
    ref.setSize(h.probe().picture(1).width(), h.probe().picture(1).height());
    ref.clearTo(kWhite);
    ref.setFontName(font);
    ref.setFontBold(bold);
    ref.setFontSize(size);
    ref.setForeColor(colour);
    ref.setCurrentPosition(x, y);
    for (const QString& line : lines) ref.print(line);
    return ref.image();
}

TEST(AnnotateRender, HandOverAndRefreshSeekCalls) {
    struct Case {
        const char* name;
        std::function<void(AnnotateHarness&)> setup;
        QStringList expected;
    };
    const Case cases[] = {
        {"paused: hand over and seek to the position + 1 ms",
         [](AnnotateHarness& h) { h.c().TVN_CurrentPos = 334.333; },
         {"VideoCapX1.Option43", "VideoCapX1.SetOverlayBitmap(0, handle, 0, 0, 320, 240, 16777215, -1)",
          "VideoCapX1.Seek(335.333)"}},
        {"playing: no seek",
         [](AnnotateHarness& h) {
             h.c().TVN_IsPlaying = true;
             h.c().TVN_TransparentColor = 0x00FF00;
         },
         {"VideoCapX1.Option43", "VideoCapX1.SetOverlayBitmap(0, handle, 0, 0, 320, 240, 65280, -1)"}},
        {"no clip", [](AnnotateHarness& h) { h.c().TVN_videoFileName.clear(); }, {"VideoCapX1.Option43"}},
        {"raw player mode", [](AnnotateHarness& h) { h.engine1->option43 = 0; }, {"VideoCapX1.Option43"}},
        {"foreign overlay", [](AnnotateHarness& h) { h.c().TVN_OverlayImage = 999999; }, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        AnnotateHarness h;
        c.setup(h);
        h.log.clear();
        h.c().TVN_ReDraw();
        QStringList calls = h.log.entries();
        calls.removeAll("VideoCapX1.Deinterlace = 0");
        EXPECT_EQ(calls, c.expected);
        if (c.expected.size() > 1) EXPECT_EQ(h.c().TVN_OverlayImage, h.probe().picture(1).handle());
    }
}

TEST(AnnotateRender, LineShadowsFollowColour) {
    for (int32_t colour : {kYellow, kBlack}) {
        SCOPED_TRACE(colour);
        AnnotateHarness h;
        h.c().TVN_drawingColor = colour;
        h.drag("line", 1500, 1500, 3000, 1500);  // pixel row 100, width 5
        const QList<int> main = rowsOf(h, 150, 85, 115, colour);
        if (colour == kYellow) {
            EXPECT_NEAR(mean(main), 100, 1);
            const QList<int> shadow = rowsOf(h, 150, 85, 115, kBlack);
            ASSERT_FALSE(shadow.isEmpty());
            // 10·w = 50 twips (3.3 pixels) below, width 5: it shows below the line only.
            EXPECT_GT(shadow.first(), main.last());
            EXPECT_NEAR(shadow.last(), 100 + 50 / 15.0 + 2, 1.1);
        } else {
            EXPECT_NEAR(mean(main), 100, 1);
            EXPECT_LE(main.last(), 103);  // no shadow below
        }
    }
}

TEST(AnnotateRender, OvalIsDrawnAsCircleOfHalfItsWidth) {
    AnnotateHarness h;
    AnnotationStore& st = h.store();
    st.Shape1[4] = ShapeObject{ShapeObject::Oval, 1500, 1500, 1000, 400, kRed, true};
    h.c().TVN_ReDraw();
    // Centre (2000, 1700) twips = (133.3, 113.3) pixels, radius 33.3 pixels.
    EXPECT_NEAR(mean(rowsOf(h, 133, 60, 100, kRed)), 80, 1);
    EXPECT_NEAR(mean(rowsOf(h, 133, 120, 160, kRed)), 146.7, 1);
    EXPECT_FALSE(rowsOf(h, 133, 70, 90, kBlack).isEmpty());  // its black shadow, 2 pixels wider
    EXPECT_EQ(h.pixel(133, 100), kWhite);                      // where a 400-high oval would be
}

TEST(AnnotateRender, RectangleShadowIsOffsetRightAndDown) {
    AnnotateHarness h;
    h.c().TVN_drawingColor = kBlue;
    h.drag("square", 1500, 1500, 3000, 3000);  // pixels (100,100)-(200,200)
    EXPECT_EQ(h.pixel(100, 150), kBlue);
    EXPECT_EQ(h.pixel(150, 150), kWhite);
    // The shadow box lies 5·w = 25 twips (1.7 pixels) right of and below the box.
    const QList<int> bottom = rowsOf(h, 150, 190, 210, kBlue);
    const QList<int> shadow = rowsOf(h, 150, 190, 210, kBlack);
    ASSERT_FALSE(shadow.isEmpty());
    EXPECT_NEAR(mean(bottom), 200, 1);
    EXPECT_GT(shadow.first(), bottom.last());
    EXPECT_TRUE(rowsOf(h, 150, 90, 110, kBlack).size() > 0);  // shows inside below the top edge
}

TEST(AnnotateRender, CaptionAndClockTexts) {
    struct Case {
        const char* caption;
        int32_t start;
        QStringList lines;
    };
    const Case cases[] = {
        {"", 0, {"12.345s"}},
        {"Serve", 0, {"Serve", "12.345s"}},
        {"", 20000, {"-7.655s"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.lines.join('|').toStdString());
        AnnotateHarness h;
        h.c().TVN_CurrentPos = 12345;
        h.c().tvn_ClockStartTimeMS = c.start;
        h.c().TVN_Text = c.caption;
        h.c().TVN_DisplayClock = true;
        h.c().TVN_ReDraw();
        const QImage expected = printed(h, "Arial Black", 8, kYellow, 0, 0, c.lines, true);
        EXPECT_TRUE(h.probe().picture(1).image() == expected);
        QStringList wrong = c.lines;
        wrong.last().replace("5s", "6s");
        EXPECT_FALSE(h.probe().picture(1).image() == printed(h, "Arial Black", 8, kYellow, 0, 0, wrong, true));
    }
}

TEST(AnnotateRender, TextsUseTheirOwnFontAndLeaveItOnTheSurface) {
    AnnotateHarness h;
    TextAnnotation& t = h.store().textNotes[3];
    t = TextAnnotation{"Hello", 300, 450, kBlue, "Liberation Serif", 14};
    h.c().TVN_ReDraw();
    EXPECT_TRUE(h.probe().picture(1).image() ==
                printed(h, "Liberation Serif", 14, kBlue, 300, 450, {"Hello"}, true));
    EXPECT_EQ(h.probe().picture(1).fontName(), "Liberation Serif");
}

TEST(AnnotateRender, GridSpacingAndOverflow) {
    {
        AnnotateHarness h;
        h.c().TVN_DisplayGrid = true;
        h.c().TVN_GridColor = kBlue;
        h.c().TVN_GridSpacing = 1500;  // every 100 pixels
        h.c().TVN_ReDraw();
        EXPECT_FALSE(rowsOf(h, 50, 98, 102, kBlue).isEmpty());
        EXPECT_FALSE(rowsOf(h, 50, 198, 202, kBlue).isEmpty());
        EXPECT_EQ(h.pixel(50, 50), kWhite);
        EXPECT_EQ(h.pixel(150, 150), kWhite);
        bool vertical = false;
        for (int x = 98; x <= 102; ++x) vertical |= h.pixel(x, 50) == kBlue;
        EXPECT_TRUE(vertical);
    }
    for (int16_t spacing : {int16_t(0), int16_t(-1500)}) {
        AnnotateHarness h;
        h.c().TVN_DisplayGrid = true;
        h.c().TVN_GridColor = kBlue;
        h.c().TVN_GridSpacing = spacing;
        h.c().TVN_ReDraw();
        EXPECT_FALSE(anyPixel(h, kBlue)) << spacing;
    }
    {
        AnnotateHarness h(2200, 100);  // 33000 twips wide
        h.c().TVN_DisplayGrid = true;
        h.c().TVN_GridSpacing = 1500;
        h.log.clear();
        const auto e = errorFrom([&] { h.c().TVN_ReDraw(); });
        ASSERT_TRUE(e) << "wide grid did not overflow";
        EXPECT_EQ(e->number(), err::Overflow);
        EXPECT_TRUE(e->source().startsWith("(TVN_ReDraw)->(RedrawAnnotations)->")) << e->source().toStdString();
        EXPECT_TRUE(h.log.withPrefix("VideoCapX1.SetOverlayBitmap").isEmpty());
    }
}

TEST(AnnotateRender, LiveAngleTextIsNormalisedCommittedTextIsNot) {
    const QString deg(QChar(0x00B0));
    EXPECT_EQ(AnnotationRenderer::normalisedAngleText(deg), "0" + deg);
    EXPECT_EQ(AnnotationRenderer::normalisedAngleText("44.5" + deg), "44" + deg);
    EXPECT_EQ(AnnotationRenderer::normalisedAngleText(" 45.5abc"), "46" + deg);
    EXPECT_EQ(AnnotationRenderer::normalisedAngleText(""), "0" + deg);
    EXPECT_THROW(AnnotationRenderer::normalisedAngleText("9e99"), TvnError);

    // Printed on the surface: the live text normalised, the committed text as stored.
    struct Case {
        bool live;
        QString stored, shown;
    };
    const Case cases[] = {{true, "", "0" + deg}, {true, deg, "0" + deg}, {true, "44.5" + deg, "44" + deg},
                          {false, deg, deg}, {false, "", ""}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.shown.toStdString());
        AnnotateHarness h;
        AnnotationStore& st = h.store();
        // Text corner at pixel (100, 100); both arms end there from the upper left.
        if (c.live) {
            st.Angle1 = LineObject{750, 750, 1500, 1500, kRed, true};
            st.Angle2 = LineObject{750, 1200, 1500, 1500, kRed, true};
            h.c().TVN_AngleText = c.stored;
        } else {
            st.angleNotes[5] = AngleAnnotation{750, 750, 1500, 1500, 750, 1200, 1500, 1500, 1, c.stored, kBlack,
                                               "Arial", 8, true};
        }
        h.c().TVN_ReDraw();
        const QImage expected = printed(h, "Arial Black", 8, c.live ? kRed : kBlack, 1500, 1500, {c.shown}, true);
        const QRect textArea(103, 103, 60, 20);
        EXPECT_TRUE(h.probe().picture(1).image().copy(textArea) == expected.copy(textArea));
        if (c.live) EXPECT_EQ(h.c().TVN_AngleText, c.stored);  // not rewritten by the redraw
    }
}

TEST(AnnotateRender, LightMouseOutlineOnlyForColouredArrows) {
    for (int32_t colour : {kRed, kBlack}) {
        SCOPED_TRACE(colour);
        AnnotateHarness h;
        h.c().TVN_drawingColor = colour;
        h.drag("lightmouse", 3000, 1500, 3000, 1500);  // tip at pixel (200, 100), arrow to the right
        // The long stroke runs left of the tip along row 100, width 5; the black outline is width 7.
        EXPECT_EQ(h.pixel(170, 100), colour);
        EXPECT_EQ(h.pixel(230, 100), kWhite);
        const int coloured = static_cast<int>(rowsOf(h, 170, 90, 110, colour).size());
        const int black = static_cast<int>(rowsOf(h, 170, 90, 110, kBlack).size());
        if (colour == kBlack) {
            EXPECT_LE(black, 6);
        } else {
            EXPECT_GE(black, 1);
            EXPECT_GE(coloured + black, 7);
        }
    }
}

TEST(AnnotateRender, FreeHandStrokesSurviveRedrawsUntilErased) {
    AnnotateHarness h;
    h.c().TVN_drawingColor = kBlue;
    h.c().TVN_drawingTool = "free";
    h.down(1500, 1500);
    h.move(3000, 1500);
    h.up(3000, 1500);
    EXPECT_EQ(h.pixel(150, 100), kBlue);
    h.c().TVN_drawingColor = kRed;
    h.drag("line", 1500, 2250, 3000, 2250);
    h.c().TVN_ReDraw();
    EXPECT_EQ(h.pixel(150, 100), kBlue);
    EXPECT_EQ(h.pixel(150, 150), kRed);
    h.c().TVN_EraseFreeHand();
    EXPECT_EQ(h.pixel(150, 100), kWhite);
    EXPECT_EQ(h.pixel(150, 150), kRed);  // other drawings stay
}

TEST(AnnotateRender, TrackingTrailWindow) {
    struct Case {
        int32_t frame, length;
        int32_t at10, seg10to11, at11, seg11to12;
    };
    // Points at pixels (50,50), (100,50), (150,50) for frames 10, 11, 12.
    const Case cases[] = {
        {12, 0, kWhite, kWhite, kRed, kRed},   // segment 11-12 only; the newest point has no dot
        {11, 0, kRed, kRed, kBlack, kWhite},   // segment 10-11 and a dot at 11
        {13, 0, kWhite, kWhite, kWhite, kWhite},
        {12, 5, kBlack, kRed, kBlack, kRed},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "frame " << c.frame << " length " << c.length);
        AnnotateHarness h;
        h.c().TVN_FrameLenMS = 40;
        h.c().TVN_NumFrames = 100;
        h.c().TVN_TotalLenMS = 4000;
        h.c().TVN_TrackingActive = -1;
        h.c().TVN_TrackingLength = c.length;
        h.store().trackTrail = {KiteTail{10, kRed, 5, 750, 750}, KiteTail{11, kRed, 5, 1500, 750},
                                KiteTail{12, kRed, 5, 2250, 750}};
        h.c().TVN_CurrentFrame = c.frame;
        h.c().TVN_ReDraw();
        EXPECT_EQ(h.pixel(50, 50), c.at10);
        EXPECT_EQ(h.pixel(75, 50), c.seg10to11);
        EXPECT_EQ(h.pixel(100, 50), c.at11);
        EXPECT_EQ(h.pixel(125, 50), c.seg11to12);
        EXPECT_EQ(h.pixel(150, 50), c.seg11to12);
    }
}

TEST(AnnotateRender, TrackerClickStoresPointAndStepsOneFrame) {
    AnnotateHarness h;
    h.c().TVN_FrameLenMS = 40;
    h.c().TVN_NumFrames = 100;
    h.c().TVN_TotalLenMS = 4000;
    h.c().TVN_CurrentFrame = 10;
    bool on = true;
    h.c().TVN_SetTracking(on);
    h.down(1000.5f, 2001.5f);
    h.up(1000.5f, 2001.5f);
    ASSERT_EQ(h.store().trackTrail.size(), 1);
    const KiteTail& p = h.store().trackTrail[0];
    EXPECT_EQ((std::array{p.frameNum, p.color, p.width, p.x, p.y}), (std::array{10, kYellow, 5, 1000, 2002}));
    EXPECT_EQ(h.c().TVN_CurrentFrame, 11);
}

}  // namespace
