#pragma once

#include <QEventLoop>
#include <QTimer>

namespace tvn::testing {

// Runs the event loop until done() holds or timeoutMs of real time have
// passed; true when done. For tests of the real components, whose workers
// reach the UI thread through queued calls.
template <class Pred>
bool waitFor(Pred done, int timeoutMs) {
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done()) loop.quit();
    });
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    poll.start(5);
    if (!done()) loop.exec();
    return done();
}

// Lets timers and queued calls run for ms of real time.
inline void runFor(int ms) { waitFor([] { return false; }, ms); }

}  // namespace tvn::testing
