#include "demo_runner.h"

#include "demo_workload.h"

#include <chrono>
#include <cstdio>
#include <exception>

namespace testserver {

DemoRunner::DemoRunner(DemoWorkload& workload, double periodSeconds)
    : workload_(workload), period_(periodSeconds) {}

DemoRunner::~DemoRunner() {
    stop();
}

void DemoRunner::start() {
    if (thread_.joinable())
        return;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = false;
    }
    thread_ = std::thread([this] { run(); });
}

void DemoRunner::stop() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable())
        thread_.join();
}

void DemoRunner::run() {
    using Clock = std::chrono::steady_clock;
    const auto period =
        std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(period_));
    auto last = Clock::now();
    std::unique_lock<std::mutex> lock(mutex_);
    while (!wake_.wait_for(lock, period, [this] { return stopping_; })) {
        const auto now = Clock::now();
        const double seconds = std::chrono::duration<double>(now - last).count();
        last = now;
        lock.unlock();
        try {
            workload_.step(seconds);
        } catch (const std::exception& e) {
            // The listener keeps serving; the instance merely stops changing.
            std::fprintf(stderr, "dervel-testserver: the demo stopped: %s\n", e.what());
            return;
        }
        lock.lock();
    }
}

} // namespace testserver
