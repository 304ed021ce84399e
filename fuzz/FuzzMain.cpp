// trelvan-fuzz: takes damaged clips through a real control, one after another in
// one process, and prints one line per clip, so that scripts/fuzz can tell which
// clip a crash, a hang or a sanitizer report belongs to.
//
//   trelvan-fuzz [--seed N] [--first I] [--count N] [--work DIR] [--limit S] [--play-ms MS] SEED_CLIP...
//       makes clips I .. I+N-1 of run N by damaging the seed clips (see ClipMutator),
//       each written to DIR before it is opened and removed once it has run
//   trelvan-fuzz --replay [--limit S] [--play-ms MS] CLIP...
//       runs the given files as they are
//
// Output, one line each, flushed before the next step:
//   begin ID FILE | SEED | DAMAGE      before a clip is opened
//   end ID OUTCOME [end] DETAIL        OUTCOME: played, error, silent or unclear
//   hang ID in STEP                    the clip passed its limit; the process exits with 3
//   leak ID                            the clip left memory unreachable; the process exits with 4
// A crash or sanitizer report ends the process after a begin line without its end.
#include "ClipMutator.h"
#include "ClipRun.h"
#include "Watchdog.h"
#include "control/Trelvan.h"
#include "media/MediaRuntime.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <cstdio>
#include <cstdlib>
#if defined(__SANITIZE_ADDRESS__) && __has_include(<sanitizer/lsan_interface.h>)
#include <sanitizer/lsan_interface.h>
#define TVN_FUZZ_LEAK_CHECK 1
#endif

namespace {

struct Options {
    uint64_t seed = 1;
    int first = 0;
    int count = 100;
    QString work = QStringLiteral(".");
    int limitSeconds = 30;
    int playMs = 800;
    bool replay = false;
    bool log = false;
    QStringList clips;
};

[[noreturn]] void usage() {
    std::fprintf(stderr,
                 "usage: trelvan-fuzz [--seed N] [--first I] [--count N] [--work DIR] [--limit S] [--play-ms MS] "
                 "[--log] SEED_CLIP...\n"
                 "       trelvan-fuzz --replay [--limit S] [--play-ms MS] [--log] CLIP...\n");
    std::exit(2);
}

Options parse(const QStringList& args) {
    Options o;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        auto value = [&]() -> QString {
            if (i + 1 >= args.size()) usage();
            return args[++i];
        };
        if (a == "--seed") o.seed = value().toULongLong();
        else if (a == "--first") o.first = value().toInt();
        else if (a == "--count") o.count = value().toInt();
        else if (a == "--work") o.work = value();
        else if (a == "--limit") o.limitSeconds = value().toInt();
        else if (a == "--play-ms") o.playMs = value().toInt();
        else if (a == "--replay") o.replay = true;
        else if (a == "--log") o.log = true;
        else if (a.startsWith("--")) usage();
        else o.clips << a;
    }
    if (o.clips.isEmpty() || o.limitSeconds < 1 || o.count < 0) usage();
    return o;
}

void print(const QString& line) {
    std::fputs(qPrintable(line + '\n'), stdout);
    std::fflush(stdout);
}

QByteArray readAll(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "trelvan-fuzz: cannot read %s\n", qPrintable(path));
        std::exit(2);
    }
    return f.readAll();
}

// Clip id's own seed: the run's seed and the clip's number mixed, so that any
// one clip can be made again alone.
uint64_t clipSeed(uint64_t runSeed, int id) { return runSeed * 0x100000001B3ull ^ (uint64_t(id) << 20) ^ 0xC1A5ull; }

tvnfuzz::ClipOutcome::Kind runOne(tvnfuzz::ClipRun& run, tvnfuzz::Watchdog& watchdog, const QString& id, const QString& file,
            const QString& origin) {
    print(QStringLiteral("begin %1 %2 | %3").arg(id, file, origin));
    watchdog.arm(id.toStdString());
    const tvnfuzz::ClipOutcome outcome = run.run(file);
    watchdog.disarm();
    print(QStringLiteral("end %1 %2%3 %4")
              .arg(id, QLatin1String(tvnfuzz::ClipOutcome::name(outcome.kind)),
                   outcome.reachedEnd ? QStringLiteral(" end") : QString(), outcome.detail));
    // Memory the clip left unreachable is its leak; the check is done here,
    // after each clip, so that the report names it (LeakSanitizer with
    // detect_leaks=1; otherwise the check does nothing).
#ifdef TVN_FUZZ_LEAK_CHECK
    if (__lsan_do_recoverable_leak_check() != 0) {
        print(QStringLiteral("leak %1").arg(id));
        std::exit(4);
    }
#endif
    return outcome.kind;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    tvn::MediaRuntime::initialise();
    QApplication app(argc, argv);
    const Options o = parse(app.arguments().mid(1));
    // Damaged clips make FFmpeg talk a lot; the outcome lines say what matters.
    QLoggingCategory::setFilterRules(o.log ? QStringLiteral("trelvan.ffmpeg.warning=true") : QStringLiteral("*=false"));

    QDir().mkpath(o.work);
    const QString jpeg = QDir(o.work).filePath(QStringLiteral("frame-%1.jpg").arg(QCoreApplication::applicationPid()));
    tvnfuzz::Watchdog watchdog(std::chrono::seconds(o.limitSeconds));
    tvn::Trelvan control;
    control.resize(320, 240);
    control.show();
    QCoreApplication::processEvents();
    tvnfuzz::ClipRun run(control, watchdog, jpeg, o.playMs);

    if (o.replay) {
        for (const QString& clip : o.clips) runOne(run, watchdog, QFileInfo(clip).fileName(), clip, QStringLiteral("replay"));
        watchdog.arm("exit");
        return 0;
    }
    QList<QByteArray> seeds;
    for (const QString& clip : o.clips) seeds << readAll(clip);
    for (int id = o.first; id < o.first + o.count; ++id) {
        tvnfuzz::ClipMutator mutator(clipSeed(o.seed, id));
        const int seedIndex = int(mutator.below(uint64_t(seeds.size())));
        const int donorIndex = int(mutator.below(uint64_t(seeds.size())));
        QString recipe;
        const QByteArray damaged = mutator.mutate(seeds[seedIndex], seeds[donorIndex], recipe);
        const QFileInfo seedInfo(o.clips[seedIndex]);
        const QString file =
            QDir(o.work).filePath(QStringLiteral("clip-%1-%2.%3").arg(o.seed).arg(id).arg(seedInfo.suffix()));
        QFile out(file);
        if (!out.open(QIODevice::WriteOnly) || out.write(damaged) != damaged.size()) {
            std::fprintf(stderr, "trelvan-fuzz: cannot write %s\n", qPrintable(file));
            return 2;
        }
        out.close();
        const auto outcome = runOne(run, watchdog, QString::number(id), file,
               QStringLiteral("%1 + %2 | %3").arg(seedInfo.fileName(), QFileInfo(o.clips[donorIndex]).fileName(), recipe));
        // A clip that failed without a clear error stays for scripts/fuzz to keep.
        if (outcome == tvnfuzz::ClipOutcome::Kind::Played || outcome == tvnfuzz::ClipOutcome::Kind::Error)
            QFile::remove(file);
    }
    // Closing down is watched too: a worker that never stops hangs here.
    watchdog.arm("exit");
    return 0;
}
