// trelvan-host CLIP [--quit-after MS]
//
// The smallest useful host: a window holding one Trelvan control that opens the
// clip given on the command line, plays it, and after half a second pauses and
// measures an angle with the quick-angle tool, as a coach dragging the mouse
// would. It prints what it did; with --quit-after it closes itself, so a script
// can run it offscreen (QT_QPA_PLATFORM=offscreen).
#include <trelvan/ClipProbe.h>
#include <trelvan/MediaRuntime.h>
#include <trelvan/Trelvan.h>

#include <QApplication>
#include <QMainWindow>
#include <QMouseEvent>
#include <QTimer>

#include <cstdio>

namespace {

void sendMouse(QWidget* target, QEvent::Type type, QPointF at) {
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, at, target->mapToGlobal(at), button, held, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

// One drag of the quick-angle tool: from the vertex along the first arm; the
// second arm is the horizontal through the vertex.
void measureAngle(tvn::Trelvan& player) {
    player.TVN_drawingTool = QStringLiteral("qangle");
    QWidget* video = player.visibleVideoWidget();
    const QPointF vertex(video->width() * 0.4, video->height() * 0.6);
    const QPointF end = vertex + QPointF(100, -100);
    sendMouse(video, QEvent::MouseButtonPress, vertex);
    sendMouse(video, QEvent::MouseMove, end);
    sendMouse(video, QEvent::MouseButtonRelease, end);
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    tvn::MediaRuntime::initialise();  // before the first control: FFmpeg's log into Qt logging, libcurl's set-up
    const QStringList args = app.arguments();
    if (args.size() < 2) {
        std::fprintf(stderr, "usage: trelvan-host CLIP [--quit-after MS]\n");
        return 2;
    }
    QString clip = args[1];
    const int quitAfter = args.size() > 3 && args[2] == QLatin1String("--quit-after") ? args[3].toInt() : 0;

    // Look before closing anything: a file that cannot be opened is refused here.
    const tvn::ClipProbe probe = tvn::probeClip(clip);
    if (!probe.canOpen) {
        std::fprintf(stderr, "cannot open %s: %s\n", qPrintable(clip), probe.error ? probe.error->what() : "unknown");
        return 1;
    }
    std::printf("probed %s: %dx%d, %.0f frames, %.0f ms\n", qPrintable(clip), probe.width, probe.height,
                probe.frameCount, probe.durationMs);

    QMainWindow window;
    auto* player = new tvn::Trelvan(&window);
    window.setCentralWidget(player);
    window.resize(800, 600);
    window.show();

    try {
        const int32_t frames = player->TVN_OpenFile(clip);
        std::printf("opened %s: %d frames of %.3f ms, %dx%d\n", qPrintable(clip), frames, player->TVN_FrameLenMS,
                    player->TVN_VideoWidth, player->TVN_VideoHeight);
        player->TVN_Play();
    } catch (const tvn::TvnError& error) {
        std::fprintf(stderr, "cannot open %s: %s\n", qPrintable(clip), error.what());
        return 1;
    }
    QObject::connect(player, &tvn::Trelvan::failed,
                     [](const tvn::TvnError& error) { std::fprintf(stderr, "failed: %s\n", error.what()); });

    QTimer::singleShot(500, player, [player] {
        player->TVN_Pause();
        measureAngle(*player);
        std::printf("paused at frame %d; angle %s\n", player->TVN_CurrentFrame, qPrintable(player->TVN_AngleText));
        std::fflush(stdout);
    });
    if (quitAfter > 0) QTimer::singleShot(quitAfter, &app, &QApplication::quit);
    return app.exec();
}
