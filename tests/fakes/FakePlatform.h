#pragma once

#include "core/TvnError.h"
#include "fakes/CallLog.h"
#include "platform/Platform.h"

#include <QList>
#include <QMap>
#include <functional>

namespace tvn::testing {

// A timer fired by hand: fire() runs one tick if it is enabled.
class FakeTimer : public Timer {
public:
    void setInterval(int ms) override { interval_ = ms; }
    int interval() const override { return interval_; }
    void setEnabled(bool enabled) override { enabled_ = enabled; }
    bool isEnabled() const override { return enabled_; }
    // One tick, as the event loop would deliver it; false when disabled.
    bool fire() {
        if (!enabled_) return false;
        fireTick();
        return true;
    }

private:
    int interval_ = 0;
    bool enabled_ = false;
};

// Time moves only when the test (or a wait) moves it. Waits, pending-event runs
// and file deletions are logged as "Sleep(ms)", "DoEvents", "Kill(path)".
class FakePlatform : public Platform {
public:
    explicit FakePlatform(CallLog& log) : log_(log) {}

    uint32_t now = 0;
    QMap<QString, QString> textFiles;  // what readTextFile answers, by path
    QStringList missingFiles;          // deleteFile fails for these
    // Runs inside processEvents, so a test can act "while pending events run".
    std::function<void()> onProcessEvents;

    void advance(uint32_t ms) { now += ms; }
    // Timers in creation order: the control creates Timer1, Timer2, LessonTimer.
    FakeTimer& timer(int index) { return *timers_.at(index); }

    uint32_t tickMs() override { return now; }
    void waitMs(int ms) override;
    void processEvents() override;
    std::unique_ptr<Timer> createTimer() override;
    void deleteFile(const QString& path) override;
    QString readTextFile(const QString& path) override;

private:
    CallLog& log_;
    QList<FakeTimer*> timers_;
};

}  // namespace tvn::testing
