#pragma once
// A busy, plausible instance for demonstrations, screenshots and benchmarks: user
// sessions of several applications (1С:Предприятие, a web shop, SSMS, reports, SQL Agent
// jobs, ...) that log in and out, run multi-statement batches through running, runnable
// and suspended with realistic waits and growing counters, and every minute or so form a
// blocking chain behind a sleeping session with an open transaction, which later
// commits. System sessions and extra databases come with it.
//
// Time is simulated: step() advances it, and every time written is the instance's clock,
// so the same seed and the same clock give the same sequence. Sessions ended meanwhile
// (`kill`) are dropped from the model and never come back.

#include <memory>

namespace testserver {

class Instance;

class DemoWorkload {
public:
    // Scripts about `sessions` user sessions into the instance at once. With `chainHold`
    // seconds, the first chain forms at once and every head holds its chain that long:
    // a server of an estate that is in trouble for the whole demonstration.
    DemoWorkload(Instance& instance, unsigned seed, int sessions = 200, double chainHold = 0);
    ~DemoWorkload();
    DemoWorkload(const DemoWorkload&) = delete;
    DemoWorkload& operator=(const DemoWorkload&) = delete;

    // Advances the simulation by `seconds` and applies the changes in one transaction.
    void step(double seconds);
    double elapsed() const;   // simulated seconds since the start
    int sessionCount() const; // the demo's user sessions now

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace testserver
