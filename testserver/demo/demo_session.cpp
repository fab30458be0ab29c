#include "demo_session.h"

#include <algorithm>

namespace testserver {

namespace {

double toDays(double seconds) {
    return seconds / kDemoSecondsPerDay;
}

} // namespace

ScriptedSession describeSession(DemoSession& s, const DemoApplication& a, bool initial,
                                double clock, DemoRandom& random) {
    ScriptedSession out;
    const bool windows = !a.ntDomain.empty();
    out.loginName = windows ? a.ntDomain + "\\" + s.login : s.login;
    if (windows) {
        out.ntDomain = a.ntDomain;
        out.ntUserName = s.login;
    }
    out.hostName = s.host;
    out.programName = a.program;
    out.clientInterfaceName = a.clientInterface;
    out.hostProcessId = static_cast<int>(random.integer(800, 31000));
    out.databaseId = s.databaseId;
    out.transactionIsolationLevel = a.isolationLevel;
    out.memoryUsage = s.memory;
    const double loginAgo = initial ? random.between(60, std::min(a.lifeMax, 8 * 3600.0)) : 0;
    out.loginTime = clock - toDays(loginAgo);
    if (initial) {
        // Part of its life has passed already.
        if (s.logoutAt < kDemoNever)
            s.logoutAt = random.between(0, a.lifeMax);
        // Connected a while ago and ran something since.
        s.lastEnd = clock - toDays(random.between(0, std::min(loginAgo, a.idleMax)));
        s.lastStart = s.lastEnd - toDays(random.between(0.01, 2));
        out.lastRequestStartTime = s.lastStart;
        out.lastRequestEndTime = s.lastEnd;
        out.inputBuffer = a.batches[random.index(a.batches.size())].text;
        s.cpu = random.integer(0, 20000);
        s.reads = random.integer(0, 200000);
        s.writes = random.integer(0, 5000);
        s.logicalReads = s.reads * 12 + random.integer(0, 1000);
        out.cpuTime = static_cast<int>(s.cpu);
        out.reads = s.reads;
        out.writes = s.writes;
        out.logicalReads = s.logicalReads;
    }
    const std::size_t host = static_cast<std::size_t>(
        std::find(a.hosts.begin(), a.hosts.end(), s.host) - a.hosts.begin());
    out.connection.clientNetAddress =
        "10.20." + std::to_string(10 + s.app) + "." + std::to_string(21 + host);
    out.connection.clientTcpPort = static_cast<int>(random.integer(49152, 65535));
    out.connection.localNetAddress = "10.20.0.5";
    out.connection.localTcpPort = 1433;
    out.connection.authScheme = !windows ? "SQL" : a.ntDomain == "CONTOSO" ? "KERBEROS" : "NTLM";
    out.connection.netPacketSize =
        a.clientInterface == ".Net SqlClient Data Provider" ? 8000 : 4096;
    return out;
}

ColumnOverrides sessionColumns(const DemoSession& s) {
    ColumnOverrides c = {{"status", std::string(s.request ? "running" : "sleeping")},
                         {"open_transaction_count", std::int64_t{s.openTransactions}},
                         {"cpu_time", s.cpu},
                         {"reads", s.reads},
                         {"writes", s.writes},
                         {"logical_reads", s.logicalReads},
                         {"row_count", s.rows},
                         {"total_elapsed_time", s.elapsedMs},
                         {"total_scheduled_time", s.cpu},
                         {"memory_usage", std::int64_t{s.memory}}};
    if (s.lastStart > 0)
        c["last_request_start_time"] = s.lastStart;
    if (s.lastEnd > 0 && !s.request)
        c["last_request_end_time"] = s.lastEnd;
    return c;
}

} // namespace testserver
