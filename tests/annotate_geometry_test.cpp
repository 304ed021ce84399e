#include "annotate/Geometry.h"
#include "core/TvnError.h"
#include "fakes/ControlHarness.h"
#include "fakes/ErrorFrom.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace tvn;
using namespace tvn::testing;

namespace {

LineObject arm(float x1, float y1, float x2, float y2) { return LineObject{x1, y1, x2, y2, 0, true}; }

struct GeometryCase {
    const char* name;
    LineObject a, b;
    int16_t code;
    double degrees;  // NAN: no measurement (code 0)
    const char* text;
};

TEST(AnnotateGeometry, EndpointCodesAnglesAndTexts) {
    const GeometryCase cases[] = {
        {"right angle", arm(0, 0, 100, 0), arm(0, 0, 0, 100), 1, 90, "90°"},
        {"straight", arm(0, 0, 100, 0), arm(0, 0, -100, 0), 1, 180, "180°"},
        {"45 not 135", arm(0, 0, 100, 0), arm(0, 0, 100, 100), 1, 45, "45°"},
        {"53.13", arm(0, 0, 100, 50), arm(0, 0, 100, -50), 1, 2 * std::atan(0.5) * 180 / kAnglePi, "53°"},
        {"second from end of first", arm(100, 0, 0, 0), arm(0, 0, 100, 100), 21, 45, "45°"},
        {"start of first is end of second", arm(0, 0, 100, 0), arm(100, 100, 0, 0), 12, 45, "45°"},
        {"far ends meet", arm(100, 0, 0, 0), arm(100, 100, 0, 0), 2, 45, "45°"},
        {"far ends differ in y", arm(100, 0, 0, 0), arm(100, 100, 0, 1), 0, NAN, ""},
        {"same axis same way", arm(0, 0, 100, 0), arm(0, 0, 50, 0), 1, 0, "°"},
        {"vertical same way", arm(0, 0, 0, 100), arm(0, 0, 0, 30), 1, 0, "°"},
        {"vertical opposite", arm(0, 0, 0, 100), arm(0, 0, 0, -30), 1, 180, "180°"},
        {"zero-length arm", arm(5, 5, 5, 5), arm(5, 5, 10, 10), 0, NAN, ""},
        {"no common point", arm(0, 0, 10, 0), arm(1, 1, 10, 10), 0, NAN, ""},
        {"obtuse 135", arm(0, 0, 100, 0), arm(0, 0, -100, 100), 1, 135, "135°"},
        {"reflex folds back", arm(0, 0, -100, 10), arm(0, 0, -100, -10), 1, 2 * std::atan(0.1) * 180 / kAnglePi,
         "11°"},
    };
    for (const GeometryCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(SharedEndpoint(c.a, c.b), c.code);
        if (c.code == 0) {
            int32_t p[6] = {7, 7, 7, 7, 7, 7};
            const auto e = errorFrom([&] { ArcPoints(c.a, c.b, p[0], p[1], p[2], p[3], p[4], p[5]); });
            ASSERT_TRUE(e) << "ArcPoints accepted arms without a common end point";
            EXPECT_EQ(e->number(), -2147220504);
            EXPECT_EQ(e->description(), "Lines do not create an arc!");
            for (int v : p) EXPECT_EQ(v, 7);  // outputs untouched
            continue;
        }
        int32_t ax, ay, vx, vy, bx, by;
        ArcPoints(c.a, c.b, ax, ay, vx, vy, bx, by);
        const double a = AngleBetween(ax, ay, vx, vy, bx, by);
        EXPECT_NEAR(a, c.degrees, 1e-9);
        EXPECT_EQ(angleTextOf(a), QString::fromUtf8(c.text));
    }
}

TEST(AnnotateGeometry, ExactAxisValuesAndOverflow) {
    EXPECT_EQ(AngleBetween(0, 10, 0, 0, 0, 5), 0.0);
    EXPECT_EQ(AngleBetween(10, 0, 0, 0, -3, 0), 180.0);
    EXPECT_EQ(AngleBetween(0, 10, 0, 0, 7, 0), 90.0);
    EXPECT_EQ(AngleBetween(-7, 0, 0, 0, 0, -10), 90.0);
    const int32_t big = std::numeric_limits<int32_t>::max();
    const auto e = errorFrom([&] { AngleBetween(big, 1, -10, 0, 5, 5); });
    ASSERT_TRUE(e) << "overflowing difference accepted";
    EXPECT_EQ(e->number(), err::Overflow);
}

TEST(AnnotateGeometry, ArcPointsRoundHalfToEven) {
    int32_t p[6];
    ArcPoints(arm(2.5f, 3.5f, 10.5f, 0), arm(2.5f, 3.5f, 0, 11.5f), p[0], p[1], p[2], p[3], p[4], p[5]);
    const int32_t expected[6] = {10, 0, 2, 4, 0, 12};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(p[i], expected[i]) << i;
}

TEST(AnnotateGeometry, UpdateAngleTextKeepsTextWhenArmsDoNotMeet) {
    ControlHarness h;
    AnnotationStore& st = h.probe().store();
    h.c().TVN_AngleText = "old";
    st.Angle1 = arm(0, 0, 100, 0);
    st.Angle2 = arm(1, 0, 0, 100);
    h.probe().UpdateAngleText();
    EXPECT_EQ(h.c().TVN_AngleText, "old");
    st.Angle2 = arm(0, 0, 0, 100);
    h.probe().UpdateAngleText();
    EXPECT_EQ(h.c().TVN_AngleText, QString::fromUtf8("90°"));
    // An overflowing coordinate fails with the procedure's prefix and keeps the text.
    st.Angle1 = arm(0, 0, 3e9f, 0);
    const auto e = errorFrom([&] { h.probe().UpdateAngleText(); });
    ASSERT_TRUE(e) << "overflow not raised";
    EXPECT_EQ(e->number(), err::Overflow);
    EXPECT_TRUE(e->source().startsWith("(UpdateAngleText)->")) << e->source().toStdString();
    EXPECT_EQ(h.c().TVN_AngleText, QString::fromUtf8("90°"));
}

}  // namespace
