#pragma once

#include "core/TvnError.h"
#include "platform/Platform.h"

#include <QList>
#include <QMap>
#include <QStringList>
#include <functional>

namespace tvn::testing {

// A timer fired by hand: fire() runs one tick if it is enabled.
class FakeTimer : public Timer {
public:
    void setInterval(int ms) override { interval_ = ms; }
    int interval() const override { return interval_; }
    void setEnabled(bool enabled) override { enabled_ = enabled; }
    bool isEnabled() const override { return enabled_; }
    bool fire() {
        const bool enabled = enabled_;
        if (enabled) fireTick();
        return enabled;
    }

private:
    int interval_ = 0;
    bool enabled_ = false;
};

// Time moves only when the test (or a wait) moves it; files are a map.
class FakePlatform : public Platform {
public:
    uint32_t now = 0;
    QMap<QString, QString> textFiles;  // what readTextFile answers, by path
    QStringList missingFiles;          // deleteFile fails for these
    QStringList deleted;
    std::function<void()> onProcessEvents;  // runs as pending events would

    void advance(uint32_t ms) { now += ms; }
    // Timers in creation order: the control creates Timer1, Timer2, LessonTimer.
    FakeTimer& timer(int index) { return *timers_.at(index); }

    uint32_t tickMs() override { return now; }
    void waitMs(int ms) override { now += static_cast<uint32_t>(std::max(ms, 0)); }
    void processEvents() override {
        if (onProcessEvents) onProcessEvents();
    }
    std::unique_ptr<Timer> createTimer() override {
        auto timer = std::make_unique<FakeTimer>();
        timers_.append(timer.get());
        return timer;
    }
    void deleteFile(const QString& path) override {
        deleted << path;
        if (missingFiles.contains(path)) throw TvnError(err::FileNotFound, "File not found: '" + path + "'", "Kill");
    }
    QString readTextFile(const QString& path, qint64 maxBytes) override {
        if (!textFiles.contains(path)) throw TvnError(err::FileNotFound, "File not found: '" + path + "'", "Input");
        if (textFiles[path].toUtf8().size() > maxBytes)
            throw TvnError(err::PathFileAccess, "Text file '" + path + "' is too large", "Input");
        return textFiles[path];
    }

private:
    QList<FakeTimer*> timers_;
};

}  // namespace tvn::testing
