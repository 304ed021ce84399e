#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

namespace tvnfuzz {

// Ends the process when one clip takes longer than its limit, after printing
// "hang LABEL in STEP" on standard output: a hang is a failure of the clip that
// caused it, and the process cannot be trusted to go on with the next one.
class Watchdog {
public:
    explicit Watchdog(std::chrono::milliseconds limit);
    ~Watchdog();

    void arm(std::string label);
    void disarm();
    // The step the UI thread is in now (a string literal), named in the hang line.
    void setStep(const char* step) { step_.store(step); }

private:
    void watch();

    const std::chrono::milliseconds limit_;
    std::mutex mutex_;  // guards label_, deadline_, armed_, quit_
    std::condition_variable changed_;
    std::string label_;
    std::chrono::steady_clock::time_point deadline_;
    bool armed_ = false;
    bool quit_ = false;
    std::atomic<const char*> step_{""};
    std::thread thread_;
};

}  // namespace tvnfuzz
