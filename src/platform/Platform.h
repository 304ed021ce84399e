#pragma once

#include "platform/Timer.h"

#include <QPointer>
#include <QString>
#include <cstdint>
#include <memory>

namespace tvn {

// What the control needs from the system besides drawing: a millisecond tick,
// a wait, running pending events, timers, and a few file services. Injected,
// so tests drive time by hand and never sleep.
class Platform {
public:
    virtual ~Platform() = default;

    // Milliseconds from an arbitrary start, wrapping at 2^32.
    virtual uint32_t tickMs() = 0;
    virtual void waitMs(int milliseconds) = 0;
    // Lets pending window messages (events, timers) run.
    virtual void processEvents() = 0;
    // Lets pending window messages run inside an operation of `control`; false
    // when a handler that ran meanwhile destroyed it (a host slot deleting the
    // control). The caller then returns at once, touching nothing of the
    // control's: its members are gone.
    [[nodiscard]] bool processEventsAndSurvive(QObject* control) {
        const QPointer<QObject> alive(control);
        processEvents();
        return !alive.isNull();
    }
    virtual std::unique_ptr<Timer> createTimer() = 0;
    // Raises FileNotFound (53) or PathFileAccess (75) naming the file.
    virtual void deleteFile(const QString& path) = 0;
    // The whole file as text (UTF-8); raises FileNotFound (53) naming the file,
    // and PathFileAccess (75) for what is not a regular file or holds more than
    // maxBytes (RegularFile).
    virtual QString readTextFile(const QString& path, qint64 maxBytes) = 0;
};

}  // namespace tvn
