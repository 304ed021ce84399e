#pragma once

#include "platform/Platform.h"

#include <QElapsedTimer>

namespace tvn {

// The real system: a monotonic clock, the Qt event loop and the file system.
class DesktopPlatform : public Platform {
public:
    DesktopPlatform();

    uint32_t tickMs() override;
    void waitMs(int milliseconds) override;
    void processEvents() override;
    std::unique_ptr<Timer> createTimer() override;
    void deleteFile(const QString& path) override;
    QString readTextFile(const QString& path, qint64 maxBytes) override;

private:
    QElapsedTimer clock_;
};

}  // namespace tvn
