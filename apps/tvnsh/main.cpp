// tvnsh: drives one Trelvan control from a script, one statement a line.
//   tvnsh [--size WxH] [SCRIPT]     statements from SCRIPT, or standard input
//   tvnsh --members                 every property, method and event in interface order
#include "ScriptShell.h"
#include "control/Trelvan.h"
#include "core/TvnError.h"
#include "media/MediaRuntime.h"

#include <QApplication>
#include <QFile>
#include <QTextStream>
#include <cstdio>

int main(int argc, char** argv) {
    // With no display, the control runs offscreen: same pictures, no window.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
        qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    tvn::MediaRuntime::initialise();  // before any thread uses FFmpeg or libcurl
    QApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    bool membersOnly = false;
    QSize size(640, 480);
    QString script;
    for (int i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--members")) {
            membersOnly = true;
        } else if (args[i] == QLatin1String("--size") && i + 1 < args.size()) {
            const QStringList wh = args[++i].split(u'x');
            if (wh.size() != 2 || wh[0].toInt() < 1 || wh[1].toInt() < 1) {
                std::fprintf(stderr, "tvnsh: --size takes WxH, for example 640x480\n");
                return 2;
            }
            size = QSize(wh[0].toInt(), wh[1].toInt());
        } else if (args[i] == QLatin1String("--help") || args[i] == QLatin1String("-h")) {
            std::printf("usage: tvnsh [--size WxH] [SCRIPT] | tvnsh --members\n");
            return 0;
        } else {
            script = args[i];
        }
    }
    QTextStream out(stdout);
    try {
        tvn::Trelvan control;
        control.setWindowTitle(QStringLiteral("tvnsh"));
        control.resize(size);
        control.show();
        QCoreApplication::processEvents();
        tvnsh::ScriptShell shell(control, out);
        if (membersOnly) {
            shell.printMembers();
            return 0;
        }
        QFile file;
        if (script.isEmpty()) {
            if (!file.open(stdin, QIODevice::ReadOnly)) return 2;
        } else {
            file.setFileName(script);
            if (!file.open(QIODevice::ReadOnly)) {
                std::fprintf(stderr, "tvnsh: cannot read %s: %s\n", qPrintable(script), qPrintable(file.errorString()));
                return 2;
            }
        }
        QTextStream in(&file);
        const int code = shell.run(in);
        out.flush();
        return code;
    } catch (const tvn::TvnError& e) {
        out << "error " << e.number() << ": " << e.description() << " [" << e.source() << "]\n";
        return 1;
    }
}
