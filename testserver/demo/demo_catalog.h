#pragma once
// What the demo workload is made of: the applications that connect (program, logins,
// hosts, databases, habits) with the batches they run, the extra databases and the
// extra system tasks. Plain data; DemoWorkload brings it to life.

#include <string>
#include <vector>

namespace testserver {

// How a statement spends its time, which decides its waits and its counters.
enum class DemoLoad {
    Cpu,      // short lookups: running or runnable (SOS_SCHEDULER_YIELD)
    Read,     // scans: PAGEIOLATCH_SH
    Parallel, // parallel plans: CXPACKET
    Write,    // modifications: WRITELOG
    Network,  // a client slow to fetch: ASYNC_NETWORK_IO
    Backup,   // BACKUP DATABASE: BACKUPIO, ASYNC_IO_COMPLETION; reports percent_complete
    Check,    // DBCC CHECKDB: CXPACKET, PAGEIOLATCH_SH; reports percent_complete
    Delay,    // WAITFOR DELAY: suspended on WAITFOR throughout
    Instant,  // BEGIN/COMMIT TRANSACTION and the like
};

struct DemoStatement {
    std::string text;
    std::string command; // sys.dm_exec_requests.command while it runs
    DemoLoad load = DemoLoad::Cpu;
    double minSeconds = 0.1;
    double maxSeconds = 1.0;
    int nestLevel = 1;
};

struct DemoBatch {
    std::vector<DemoStatement> statements;
    // The statements joined by CR LF, and each one's byte offsets into its UTF-16 form
    // as sys.dm_exec_requests gives them (the last one ends with -1).
    std::string text;
    std::vector<int> startOffsets;
    std::vector<int> endOffsets;
    // A transaction stays open from its first statement to its last (locking batches).
    bool transactional = false;
};

DemoBatch makeBatch(std::vector<DemoStatement> statements, bool transactional = false);

struct DemoApplication {
    std::string program;
    std::string clientInterface;
    std::vector<std::string> logins;
    std::string ntDomain; // Windows logins are "DOMAIN\name"; empty for SQL logins
    std::vector<std::string> hosts;
    std::vector<std::string> databases;
    double weight = 1;                    // share of the user sessions
    double idleMin = 5, idleMax = 60;     // seconds between batches
    double lifeMin = 600, lifeMax = 7200; // seconds a connection lasts
    bool leavesAfterBatch = false;        // a job step: connects, runs one batch, goes
    int isolationLevel = 2;               // read committed
    std::vector<DemoBatch> batches;
    // For applications whose sessions take part in blocking chains: what a head ran
    // before it went idle inside its transaction, and what the blocked ones run.
    std::vector<DemoBatch> headBatches;
    std::vector<DemoBatch> lockingBatches;
};

struct DemoSystemTask {
    int sessionId;
    std::string command;
    std::string status;
    std::string waitType;
};

struct DemoCatalog {
    std::vector<DemoApplication> applications;
    std::vector<std::string> databases; // created unless the instance has them
    std::vector<DemoSystemTask> systemTasks;
};

const DemoCatalog& demoCatalog();

} // namespace testserver
