#pragma once
// Drives a DemoWorkload in real time on a thread of its own: every period it steps the
// simulation by the time that really passed. Stops cleanly on stop() or destruction.

#include <condition_variable>
#include <mutex>
#include <thread>

namespace testserver {

class DemoWorkload;

class DemoRunner {
public:
    explicit DemoRunner(DemoWorkload& workload, double periodSeconds = 0.25);
    ~DemoRunner(); // stops
    DemoRunner(const DemoRunner&) = delete;
    DemoRunner& operator=(const DemoRunner&) = delete;

    void start();
    void stop(); // returns once the thread has ended; a step under way completes first

private:
    void run();

    DemoWorkload& workload_;
    double period_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    std::thread thread_;
};

} // namespace testserver
