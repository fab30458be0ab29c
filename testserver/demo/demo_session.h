#pragma once
// One user session of the demo workload as DemoWorkload keeps it between steps, and the
// instance's rows it is written as.

#include "demo_catalog.h"
#include "demo_random.h"
#include "demo_request.h"
#include "scripting.h"

#include <cstdint>
#include <limits>
#include <optional>
#include <string>

namespace testserver {

inline constexpr double kDemoSecondsPerDay = 86400.0;
inline constexpr double kDemoNever = std::numeric_limits<double>::infinity();

struct DemoSession {
    int id = 0;
    std::size_t app = 0;
    std::string login;
    std::string host;
    int databaseId = 1;
    bool anchored = false;  // stays for good: every application and login is always there
    double nextBatchAt = 0; // simulated seconds
    double logoutAt = kDemoNever;
    double releaseAt = kDemoNever; // a head blocker commits then
    int openTransactions = 0;
    std::optional<DemoRequest> request;
    bool requestShown = false; // its row exists in the instance
    std::int64_t cpu = 0, reads = 0, writes = 0, logicalReads = 0, rows = 0;
    std::int64_t elapsedMs = 0;
    int memory = 2;
    double lastStart = 0, lastEnd = 0; // instance clock, days
    bool dirty = false;
    std::optional<std::string> inputBuffer; // to write this step
};

// The session as the instance scripts it at login, `clock` being the instance's time in
// days. An `initial` session (one the demo starts with) has lived a while already: its
// logout, last request and counters are drawn, and `s` takes them.
ScriptedSession describeSession(DemoSession& s, const DemoApplication& a, bool initial,
                                double clock, DemoRandom& random);
// The sys.dm_exec_sessions columns that a step changed.
ColumnOverrides sessionColumns(const DemoSession& s);

} // namespace testserver
