// The core vocabulary (numbers, errors, collections, bitmaps, surfaces) and
// the scripting shell run as a host would run it.
#include "core/BitmapTable.h"
#include "core/Collection.h"
#include "core/Numeric.h"
#include "core/TvnError.h"
#include "fakes/ErrorFrom.h"
#include "fakes/TestClips.h"
#include "platform/Surface.h"

#include <QImage>
#include <QLoggingCategory>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace tvn;
using tvn::testing::errorFrom;

namespace {

TEST(Numeric, RoundsHalvesToEvenAndChecksRanges) {
    struct Case { double in; double out; };
    for (const Case c : {Case{2.5, 2}, {3.5, 4}, {-2.5, -2}, {299.5, 300}, {0.49999, 0}})
        EXPECT_EQ(roundHalfEven(c.in), c.out) << c.in;
    EXPECT_EQ(toInt16(-32768.5), -32768);  // half to even stays inside
    for (double bad : {32767.5, std::nan("")}) {
        const auto e = errorFrom([&] { toInt16(bad); });
        EXPECT_EQ(e ? e->number() : 0, err::Overflow) << bad;
    }
    EXPECT_THROW(toInt32(2147483648.0), TvnError);
}

TEST(Errors, PrefixesStackOnePerLevelAndForeignExceptionsBecomeErrors) {
    auto inner = [] { throw TvnError(53, "File not found: 'x'", "Engine"); };
    const auto e =
        errorFrom([&] { withPrefix("Outer", [&] { withPrefix("Middle", [&] { withPrefix("Inner", inner); }); }); });
    ASSERT_TRUE(e) << "no error";
    EXPECT_EQ(std::tuple(e->number(), e->description(), e->source()),
              std::tuple(53, "File not found: 'x'", "(Outer)->(Middle)->(Inner)->Engine"));
    const auto foreign = errorFrom([&] { withPrefix("Proc", [] { throw std::runtime_error("disk full"); }); });
    ASSERT_TRUE(foreign) << "no error";
    EXPECT_EQ(std::tuple(foreign->number(), foreign->description(), bool(foreign->source().startsWith("(Proc)->"))),
              std::tuple(err::InvalidCall, "disk full", true));
    EXPECT_FALSE(ignoringErrors([] { throw TvnError(5, "x"); }));
    // A failure ignored leaves a trace at debug level.
    static QStringList logged;
    QLoggingCategory::setFilterRules("trelvan.control.debug=true");
    const QtMessageHandler before =
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& m) { logged << m; });
    ignoringErrors([] { throw TvnError(53, "File not found: 'gone.avi'", "Kill"); });
    qInstallMessageHandler(before);
    QLoggingCategory::setFilterRules({});
    EXPECT_TRUE(logged.join(' ').contains("File not found: 'gone.avi'")) << logged.join(' ').toStdString();
}

TEST(CollectionTest, IsOneBasedAndRejectsBadIndices) {
    Collection c({"A", "B"});
    c.Add("C");
    c.Remove(1);
    EXPECT_EQ(std::tuple(c.Count(), c.Item(1), c.Item(2)), std::tuple(2, "B", "C"));
    for (int bad : {0, 3}) {
        const auto e = errorFrom([&] { c.Item(bad); });
        EXPECT_EQ(e ? e->number() : 0, err::SubscriptOutOfRange) << bad;
    }
}

TEST(BitmapTableTest, HandlesAreStableUntilReleased) {
    auto& table = BitmapTable::instance();
    const int32_t h = table.add(testclips::solid(4, 4, Qt::red));
    const QImage blue = testclips::solid(4, 4, Qt::blue);
    EXPECT_TRUE(table.update(h, blue));
    EXPECT_EQ(table.image(h).pixel(0, 0), QColor(Qt::blue).rgb());
    table.release(h);
    EXPECT_EQ(std::tuple(table.image(h).isNull(), table.update(h, blue)), std::tuple(true, false));
}

// Pixel helpers: colour of a surface pixel as 0x00BBGGRR.
int32_t at(const Surface& s, int x, int y) { return Surface::fromQColor(QColor(s.image().pixel(x, y))); }

TEST(SurfaceTest, DrawsInTwipsWithExactColours) {
    Surface s("test", 15.0);
    s.setSize(100 * 15, 50 * 15);
    s.clearTo(0xFFFFFF);
    s.setDrawWidth(1);
    s.line(10 * 15, 10 * 15, 30 * 15, 10 * 15, 0x00FFFF);  // yellow
    EXPECT_EQ(std::tuple(at(s, 20, 10), at(s, 20, 12)), std::tuple(0x00FFFF, 0xFFFFFF));
    // A zero-length line is a dot of the pen width.
    s.setDrawWidth(5);
    s.line(60 * 15, 30 * 15, 60 * 15, 30 * 15, 0xFF0000);
    EXPECT_EQ(std::tuple(at(s, 60, 30), at(s, 61, 31), at(s, 66, 30)), std::tuple(0xFF0000, 0xFF0000, 0xFFFFFF));
    // No anti-aliasing: only the colours drawn exist.
    for (int y = 0; y < 50; ++y)
        for (int x = 0; x < 100; ++x) {
            const int32_t c = at(s, x, y);
            ASSERT_TRUE(c == 0xFFFFFF || c == 0x00FFFF || c == 0xFF0000) << x << "," << y << " " << c;
        }
}

TEST(SurfaceTest, PrintMovesToTheNextLine) {
    Surface s("text", 15.0);
    s.setSize(200 * 15, 100 * 15);
    s.setFontName("Arial");
    s.setFontSize(12);
    s.setCurrentPosition(0, 0);
    s.print("Hello");
    const double firstLine = s.currentY();
    s.print("World");
    EXPECT_EQ(s.currentX(), 0);
    EXPECT_GT(firstLine, 100);  // one line of a 12-point font is well over 100 twips
    EXPECT_NEAR(s.currentY(), 2 * firstLine, 1);
}

// Runs the scripting shell the build made (TVNSH, set by the test main) on a
// script, under the offscreen platform the tests run on.
struct ShellRun { QString out; int exitCode = -1; };

ShellRun runShell(const QStringList& args, const QString& script = {}) {
    QProcess p;
    p.start(qEnvironmentVariable("TVNSH"), args);
    p.write(script.toUtf8());
    p.closeWriteChannel();
    EXPECT_TRUE(p.waitForFinished(60000)) << "tvnsh did not finish";
    return {QString::fromUtf8(p.readAllStandardOutput()), p.exitCode()};
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
call TVN_SetFrame nan
call TVN_SetOverlay2Frame -inf
call TVN_MouseDown 1 0 1e39 0
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
    EXPECT_TRUE(lines.contains(R"(  videoFileName = "")"));
    EXPECT_TRUE(r.out.contains("error 450:"));  // wrong number of arguments
    EXPECT_TRUE(r.out.contains("error 13:"));   // 99999 does not fit an Integer
    // Nor does what is no number fit a whole one, nor 1e39 a Single: refused, never cast.
    for (const char* refused : {"argument frameNumber 'nan' does not fit Long", "argument newFrame '-inf' does not fit Long",
                                "argument x '1e39' does not fit Single"})
        EXPECT_TRUE(r.out.contains(refused)) << refused;
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
    EXPECT_EQ(std::tuple(lines.filter(QRegularExpression("^event ")).size(), lines.value(0)),
              std::tuple(8, "property TVN_videoFileName As String"));
    EXPECT_TRUE(lines.contains("method TVN_SetFrame(ByRef frameNumber As Long) As Variant"));
    EXPECT_EQ(std::tuple(lines.value(84), lines.value(85)),
              std::tuple("property TVN_AlphaLevel As Long", "event VideoEnd()"));
    EXPECT_EQ(lines.value(89), "event KeyPress(ByRef KeyAscii As Integer)");
}

TEST(Tvnsh, PrintsEventsAndTimesOutAwaits) {
    const ShellRun r = runShell({}, "key 65\nawait VideoEnd 100\n");
    EXPECT_TRUE(r.out.contains("event KeyPress(65)")) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains("await VideoEnd timed out"));
    EXPECT_EQ(r.exitCode, 1);
}

}  // namespace
