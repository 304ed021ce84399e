#include "ClipRun.h"

#include "Watchdog.h"
#include "control/Trelvan.h"
#include "core/TvnError.h"
#include "export/VideoExport.h"

#include <QEventLoop>
#include <QFile>
#include <QTimer>
#include <algorithm>
#include <exception>
#include <stdexcept>

namespace tvnfuzz {

const char* ClipOutcome::name(Kind kind) {
    switch (kind) {
        case Kind::Played: return "played";
        case Kind::Error: return "error";
        case Kind::Silent: return "silent";
        case Kind::Unclear: return "unclear";
    }
    return "?";
}

ClipRun::ClipRun(tvn::Trelvan& control, Watchdog& watchdog, QString jpegPath, int playMs)
    : control_(control), watchdog_(watchdog), jpegPath_(std::move(jpegPath)), playMs_(playMs) {}

template <class Body>
void ClipRun::step(const char* name, Body&& body) {
    watchdog_.setStep(name);
    auto note = [&](ClipOutcome::Kind kind, const QString& text) {
        // The first failure decides the outcome, except that an unclear one always shows.
        if (outcome_.kind == ClipOutcome::Kind::Played || kind == ClipOutcome::Kind::Unclear) {
            outcome_.kind = kind;
            outcome_.detail = QStringLiteral("%1: %2").arg(QLatin1String(name), text).simplified();
        }
    };
    auto noteError = [&](const tvn::TvnError& e) {
        const bool clear = e.number() != 0 && !e.description().trimmed().isEmpty();
        note(clear ? ClipOutcome::Kind::Error : ClipOutcome::Kind::Unclear,
             QStringLiteral("%1 %2 [%3]").arg(e.number()).arg(e.description(), e.source()));
    };
    try {
        body();
    } catch (const tvn::TvnError& e) {
        noteError(e);
    } catch (const std::exception& e) {
        note(ClipOutcome::Kind::Unclear, QStringLiteral("not a TvnError: %1").arg(QString::fromUtf8(e.what())));
    } catch (...) {
        note(ClipOutcome::Kind::Unclear, QStringLiteral("unknown exception"));
    }
    // A component's failure reported through a notification counts as the step's.
    if (const tvn::TvnError* e = control_.lastNotificationError()) {
        noteError(*e);
        control_.clearNotificationError();
    }
}

void ClipRun::play(int32_t jumpTo) {
    int32_t first = 0;
    double rate = 4.0;
    control_.TVN_SetFrame(first);
    control_.TVN_SetRate(rate);
    QEventLoop loop;
    QTimer budget;
    budget.setSingleShot(true);
    QObject::connect(&budget, &QTimer::timeout, &loop, &QEventLoop::quit);
    const auto ended = QObject::connect(&control_, &tvn::Trelvan::VideoEnd, &loop, [&] {
        outcome_.reachedEnd = true;
        loop.quit();
    });
    // A jump while the picture runs (the control pauses for it, and the host
    // plays on, as after a slider drag), then a rate change while it runs.
    QTimer jump;
    jump.setSingleShot(true);
    QObject::connect(&jump, &QTimer::timeout, &loop, [&] {
        step("TVN_SetFrame while playing", [&] {
            int32_t f = jumpTo;
            control_.TVN_SetFrame(f);
            control_.TVN_Play();
        });
        step("TVN_SetRate while playing", [&] {
            double slower = 3.0;
            control_.TVN_SetRate(slower);
        });
    });
    control_.TVN_Play();
    budget.start(playMs_);
    jump.start(playMs_ / 8);
    loop.exec();
    QObject::disconnect(ended);
    control_.TVN_Pause();
}

void ClipRun::overlay(const QString& clip, int32_t frames) {
    // The same clip again as the second, half-transparent clip: the mixer
    // decodes both on its own sources, deinterlaced this time.
    control_.TVN_DoDeinterlace = true;
    step("TVN_Overlay", [&] {
        QString name = clip;
        control_.TVN_Overlay(name);
    });
    step("TVN_SetOverlay2Frame", [&] { control_.TVN_SetOverlay2Frame(frames / 3); });
    step("TVN_Play overlay", [&] {
        control_.TVN_Play();
        QEventLoop loop;
        QTimer::singleShot(playMs_ / 2, &loop, &QEventLoop::quit);
        loop.exec();
        control_.TVN_Pause();
    });
    step("TVN_SaveFrameJpg overlay", [&] { saveJpeg(); });
}

void ClipRun::saveJpeg() {
    QString name = jpegPath_;
    int32_t quality = 75;
    control_.TVN_SaveFrameJpg(name, quality);
    QFile::remove(jpegPath_);
}

// The export runs on its worker; the loop waits for its end, bounded, so a
// hang shows as an unclear outcome (and the watchdog's step) instead of a stuck run.
void ClipRun::exportVideo(int32_t frames) {
    constexpr int kExportLimitMs = 20000;  // inside the driver's limit for a whole clip
    tvn::VideoExport& exporter = *control_.videoExport();
    const int last = std::min(frames - 1, 11);
    exporter.clearTiming();
    exporter.setRange(0, last);
    exporter.addSlowMotion(0, last / 2, 2);
    QEventLoop loop;
    bool ended = false;
    const auto f = QObject::connect(&exporter, &tvn::VideoExport::finished, &loop, [&] {
        ended = true;
        loop.quit();
    });
    const auto g = QObject::connect(&exporter, &tvn::VideoExport::failed, &loop, [&] {
        ended = true;
        loop.quit();
    });
    const QString file = jpegPath_ + QStringLiteral(".mp4");
    exporter.start(file);
    QTimer::singleShot(kExportLimitMs, &loop, &QEventLoop::quit);
    if (!ended) loop.exec();
    QObject::disconnect(f);
    QObject::disconnect(g);
    QFile::remove(file);
    if (!ended) {
        exporter.cancel();
        throw std::runtime_error("the video export did not end in 20 s");
    }
}

ClipOutcome ClipRun::run(const QString& clip) {
    outcome_ = {};
    control_.clearNotificationError();
    control_.TVN_DoDeinterlace = false;
    int32_t frames = 0;
    step("TVN_OpenFile", [&] {
        QString name = clip;
        frames = control_.TVN_OpenFile(name);
    });
    if (outcome_.kind != ClipOutcome::Kind::Played) return outcome_;
    if (frames <= 0) {
        outcome_.kind = ClipOutcome::Kind::Silent;
        outcome_.detail = QStringLiteral("TVN_OpenFile returned %1 without an error").arg(frames);
        return outcome_;
    }
    step("TVN_SetFrame middle", [&] {
        int32_t f = frames / 2;
        control_.TVN_SetFrame(f);
    });
    for (int i = 0; i < 3; ++i) step("TVN_StepOneFrame", [&] { control_.TVN_StepOneFrame(); });
    step("TVN_SetFrame back", [&] {
        int32_t f = std::max(0, frames / 2 - 2);
        control_.TVN_SetFrame(f);
    });
    step("TVN_SetPos late", [&] {
        double pos = control_.TVN_TotalLenMS * 0.9;
        control_.TVN_SetPos(pos);
    });
    step("TVN_SaveFrameJpg", [&] { saveJpeg(); });
    step("TVN_SetFrame last", [&] {
        int32_t f = frames - 1;
        control_.TVN_SetFrame(f);
    });
    step("TVN_StepOneFrame past end", [&] { control_.TVN_StepOneFrame(); });
    step("TVN_Play", [&] { play(frames / 2); });
    overlay(clip, frames);
    step("VideoExport", [&] { exportVideo(frames); });
    step("TVN_Close", [&] { control_.TVN_Close(); });
    watchdog_.setStep("");
    return outcome_;
}

}  // namespace tvnfuzz
