// trelvan-studio: the reference host.
// Usage: trelvan-studio [--snapshot FILE] [CLIP]
//   --snapshot FILE  opens the clip, saves a picture of the window as FILE (PNG) and exits:
//                    a check that the studio starts, shows the clip and closes cleanly.
#include "StudioWindow.h"
#include "media/MediaRuntime.h"

#include <QApplication>
#include <QPixmap>
#include <QTimer>
#include <cstdio>

int main(int argc, char** argv) {
    tvn::MediaRuntime::initialise();  // before any thread uses FFmpeg or libcurl
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Trelvan"));  // settings in ~/.config/Trelvan/
    QApplication::setApplicationName(QStringLiteral("Trelvan Studio"));
    QStringList args = app.arguments().mid(1);
    QString snapshot;
    const int at = static_cast<int>(args.indexOf(QStringLiteral("--snapshot")));
    if (at >= 0 && at + 1 < args.size()) {
        snapshot = args[at + 1];
        args.remove(at, 2);
    }
    studio::StudioWindow window;
    window.show();
    if (!args.isEmpty() && !window.openClip(args.first()) && !snapshot.isEmpty()) return 1;
    if (!snapshot.isEmpty()) {
        QTimer::singleShot(500, &window, [&] {
            const bool ok = window.grab().save(snapshot, "PNG");
            std::printf("%s %s\n", ok ? "wrote" : "could not write", qPrintable(snapshot));
            app.exit(ok ? 0 : 1);
        });
    }
    return app.exec();
}
