#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace tvn {

// A named thread that lives as long as its owner and runs one job at a time,
// for workers started and stopped again and again (a player on every play and
// every change made while playing): the thread starts with the first job and
// then waits for the next one instead of being made and joined each time.
// The job itself watches for its owner's stop request; wait() returns once it
// has returned. The destructor waits for the job in hand and ends the thread.
class JobThread {
public:
    // name: the thread's name as the system shows it (15 characters at most).
    explicit JobThread(const char* name) : name_(name) {}
    ~JobThread();
    JobThread(const JobThread&) = delete;
    JobThread& operator=(const JobThread&) = delete;

    // Runs job on the thread. The job before has ended (wait()).
    void run(std::function<void()> job);
    // Returns once no job runs.
    void wait();

private:
    void loop();

    const char* name_;
    std::thread thread_;
    std::mutex mutex_;                // guards job_, busy_, quit_
    std::condition_variable changed_;  // signalled when job_, busy_ or quit_ change
    std::function<void()> job_;       // the job handed over, until the thread takes it
    bool busy_ = false;               // a job has been handed over and has not returned
    bool quit_ = false;
};

}  // namespace tvn
