// Drawing on the real FFmpeg display: pointer events sent to the engine's
// display widget draw through the control, and the picture the user sees shows
// the drawing over the frame, keyed on the transparent colour.
#include "control/Trelvan.h"
#include "core/TvnError.h"
#include "fakes/ControlProbe.h"
#include "fakes/EventLoopWait.h"
#include "fakes/TestClips.h"
#include "media/Components.h"
#include "platform/Surface.h"

#include <QCoreApplication>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <memory>

using namespace tvn;
using namespace tvn::testclips;
using tvn::testing::waitFor;

namespace {

QString shortClip() {
    static const QString path = [] {
        ClipOptions o;
        o.frames = 30;
        return makeClip(testFolder().path(), ClipFormat::H264Mp4, o, QStringLiteral("annotate"));
    }();
    return path;
}

void send(QWidget* w, QEvent::Type type, QPointF pos, Qt::MouseButton button, Qt::MouseButtons buttons) {
    QMouseEvent event(type, pos, w->mapToGlobal(pos), button, buttons, Qt::NoModifier);
    QCoreApplication::sendEvent(w, &event);
}

int32_t colourAt(QWidget* w, int x, int y) { return Surface::fromQColor(w->grab().toImage().pixelColor(x, y)); }

TEST(AnnotateReal, LineDrawnWithThePointerShowsOverTheVideo) {
    Trelvan control(Components::defaults());
    control.resize(320, 240);
    QString name = shortClip();
    ASSERT_EQ(control.TVN_OpenFile(name), 30);
    QList<QPointF> downs, ups;
    QObject::connect(&control, &Trelvan::MouseDown, [&](int16_t&, int16_t&, float& x, float& y) { downs.append({x, y}); });
    QObject::connect(&control, &Trelvan::MouseUp, [&](int16_t&, int16_t&, float& x, float& y) { ups.append({x, y}); });

    control.TVN_drawingTool = QStringLiteral("line");
    QWidget* display = control.visibleVideoWidget();
    ASSERT_NE(display, &control);
    send(display, QEvent::MouseButtonPress, {40, 60}, Qt::LeftButton, Qt::LeftButton);
    send(display, QEvent::MouseMove, {280, 60}, Qt::NoButton, Qt::LeftButton);
    send(display, QEvent::MouseButtonRelease, {280, 60}, Qt::LeftButton, Qt::NoButton);
    ASSERT_EQ(control.lastNotificationError(), nullptr)
        << control.lastNotificationError()->source().toStdString() << ": "
        << control.lastNotificationError()->description().toStdString();

    ControlProbe probe(control);
    const LineObject& line = probe.store().Lines[0];
    EXPECT_TRUE(line.Visible);
    EXPECT_FLOAT_EQ(line.X1, 600);
    EXPECT_FLOAT_EQ(line.Y1, 900);
    EXPECT_FLOAT_EQ(line.X2, 4200);
    EXPECT_EQ(probe.store().nextLineSlot, 1);
    ASSERT_EQ(downs.size(), 1);
    EXPECT_NEAR(downs[0].x(), 40, 0.01);
    EXPECT_NEAR(downs[0].y(), 60, 0.01);
    ASSERT_EQ(ups.size(), 1);
    EXPECT_NEAR(ups[0].x(), 280, 0.01);

    // The user sees the yellow line over the frame, and the frame elsewhere.
    EXPECT_TRUE(waitFor([&] { return colourAt(display, 160, 60) == 0x00FFFF; }, 3000))
        << std::hex << colourAt(display, 160, 60);
    EXPECT_NE(colourAt(display, 160, 150), 0x00FFFF);
    control.TVN_EraseAll();
    EXPECT_TRUE(waitFor([&] { return colourAt(display, 160, 60) != 0x00FFFF; }, 3000));
}

}  // namespace
