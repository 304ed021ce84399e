#include "fakes/FakePlatform.h"

namespace tvn::testing {

void FakePlatform::waitMs(int ms) {
    log_.add(QStringLiteral("Sleep(%1)").arg(ms));
    if (ms > 0) now += static_cast<uint32_t>(ms);
}

void FakePlatform::processEvents() {
    log_.add(QStringLiteral("DoEvents"));
    if (onProcessEvents) onProcessEvents();
}

std::unique_ptr<Timer> FakePlatform::createTimer() {
    auto timer = std::make_unique<FakeTimer>();
    timers_.append(timer.get());
    return timer;
}

void FakePlatform::deleteFile(const QString& path) {
    log_.add(QStringLiteral("Kill(\"%1\")").arg(path));
    if (missingFiles.contains(path))
        throw TvnError(err::FileNotFound, QStringLiteral("File not found: '%1'").arg(path), QStringLiteral("Kill"));
}

QString FakePlatform::readTextFile(const QString& path) {
    log_.add(QStringLiteral("ReadTextFile(\"%1\")").arg(path));
    auto it = textFiles.find(path);
    if (it == textFiles.end())
        throw TvnError(err::FileNotFound, QStringLiteral("File not found: '%1'").arg(path), QStringLiteral("Input"));
    return *it;
}

}  // namespace tvn::testing
