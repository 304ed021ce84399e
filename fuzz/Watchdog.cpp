#include "Watchdog.h"

#include <algorithm>
#include <cstdio>
#include <unistd.h>

namespace tvnfuzz {

Watchdog::Watchdog(std::chrono::milliseconds limit) : limit_(limit), thread_([this] { watch(); }) {}

Watchdog::~Watchdog() {
    {
        std::scoped_lock lock(mutex_);
        quit_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

void Watchdog::arm(std::string label) {
    {
        std::scoped_lock lock(mutex_);
        label_ = std::move(label);
        deadline_ = std::chrono::steady_clock::now() + limit_;
        armed_ = true;
    }
    changed_.notify_all();
}

void Watchdog::disarm() {
    std::scoped_lock lock(mutex_);
    armed_ = false;
}

void Watchdog::watch() {
    std::unique_lock lock(mutex_);
    while (!quit_) {
        if (!armed_) {
            changed_.wait(lock);
            continue;
        }
        if (changed_.wait_until(lock, deadline_) == std::cv_status::timeout && armed_ &&
            std::chrono::steady_clock::now() >= deadline_) {
            // write(2) directly: the UI thread may be stuck anywhere, even inside stdio.
            char line[512];
            const int n = std::snprintf(line, sizeof line, "hang %s in %s\n", label_.c_str(), step_.load());
            if (n > 0) (void)!::write(STDOUT_FILENO, line, std::min<size_t>(size_t(n), sizeof line - 1));
            ::_exit(3);
        }
    }
}

}  // namespace tvnfuzz
