#pragma once
// What tests and the demo script into the instance: databases, sessions with their
// connections, and requests. Every field has a sensible default; any column of the
// impersonated views can be set through `overrides` by its SQL Server name.
// Times are days since 1900-01-01 00:00 (SQL Server's day zero), local time.

#include "values.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace testserver {

using ColumnOverrides = std::map<std::string, Value>;

struct ScriptedDatabase {
    std::string name;
    int databaseId = 0;        // 0: the next free id
    ColumnOverrides overrides; // sys.databases columns
};

// A table of a database's catalog (sys.schemas, sys.objects, sys.indexes,
// sys.partitions): what a lock's wait resource (KEY: db:hobt, OBJECT: db:object) names.
struct ScriptedIndex {
    int indexId = 1;                 // 0 a heap, 1 the clustered index, from 2 others
    std::optional<std::string> name; // none for a heap
    bool unique = false;
    bool primaryKey = false;
    std::int64_t hobtId = 0; // its one partition's, which is also the partition id
    std::int64_t rows = 0;
};

struct ScriptedTable {
    std::string database; // by name
    std::string schema = "dbo";
    std::string name;
    int objectId = 0;
    std::vector<ScriptedIndex> indexes;
};

// A table of a database as a lock names it: its object id and the hobt ids of its indexes.
struct LockTarget {
    int objectId = 0;
    std::vector<std::int64_t> hobtIds;
};

struct ScriptedConnection {
    std::optional<double> connectTime; // default: the session's login time
    std::string netTransport = "TCP";
    std::string protocolType = "TSQL";
    std::string authScheme = "SQL";
    std::string encryptOption = "FALSE";
    std::string clientNetAddress = "10.0.0.20";
    int clientTcpPort = 50000;
    std::string localNetAddress = "10.0.0.1";
    int localTcpPort = 1433;
    int netPacketSize = 4096;
    ColumnOverrides overrides; // sys.dm_exec_connections columns
};

struct ScriptedSession {
    int sessionId = 0; // 0: the next free id from 51 up
    std::string loginName = "sa";
    std::optional<std::string> originalLoginName; // default: loginName
    std::optional<std::string> hostName = "WORKSTATION";
    std::optional<std::string> programName = "Application";
    std::optional<std::string> clientInterfaceName = "ODBC";
    std::optional<std::string> ntUserName;
    std::optional<std::string> ntDomain;
    std::optional<int> hostProcessId = 4242;
    std::string status = "sleeping";
    bool isUserProcess = true;
    std::optional<double> loginTime; // default: now
    std::optional<double> lastRequestStartTime;
    std::optional<double> lastRequestEndTime;
    int cpuTime = 0;
    int memoryUsage = 2;
    int totalScheduledTime = 0;
    int totalElapsedTime = 0;
    std::int64_t reads = 0;
    std::int64_t writes = 0;
    std::int64_t logicalReads = 0;
    std::int64_t rowCount = 0;
    int transactionIsolationLevel = 2;
    int lockTimeout = -1;
    int openTransactionCount = 0;
    int databaseId = 1;
    bool withConnection = true; // ignored for system sessions, which never have one
    ScriptedConnection connection;
    std::optional<std::string> inputBuffer; // a "Language Event" with this text
    ColumnOverrides overrides;              // sys.dm_exec_sessions columns
};

struct ScriptedRequest {
    int sessionId = 0;
    int requestId = 0;
    std::string status = "running";
    std::string command = "SELECT";
    std::optional<double> startTime; // default: now
    // The batch text; it gets a sql_handle that sys.dm_exec_sql_text resolves.
    std::optional<std::string> sqlText;
    // Byte offsets into the UTF-16 text, as SQL Server gives them; -1 ends with the batch.
    int statementStartOffset = 0;
    int statementEndOffset = -1;
    std::optional<std::string> waitType;
    int waitTime = 0;
    std::string lastWaitType;
    std::string waitResource;
    int blockingSessionId = 0;
    std::optional<int> databaseId; // default: the session's
    int transactionIsolationLevel = 2;
    int lockTimeout = -1;
    int openTransactionCount = 0;
    bool executingManagedCode = false;
    int cpuTime = 0;
    int totalElapsedTime = 0;
    int nestLevel = 0;
    int grantedQueryMemory = 0;
    std::int64_t reads = 0;
    std::int64_t writes = 0;
    std::int64_t logicalReads = 0;
    std::int64_t rowCount = 0;
    // Showplan XML of the current statement, under the plan handle of sqlText (which it
    // needs): sys.dm_exec_text_query_plan gives it for the statement's offsets and for
    // the whole batch, sys.dm_exec_query_plan for the batch (NULL when it is nested too
    // deeply for the xml type, as SQL Server documents).
    std::optional<std::string> plan;
    // The same with the counters so far, as sys.dm_exec_query_statistics_xml gives it
    // while the request runs (SQL Server 2016 SP1 on; without it, no row).
    std::optional<std::string> livePlan;
    ColumnOverrides overrides; // sys.dm_exec_requests columns
};

// A batch's plan as the plan cache keeps it between runs, under the plan handle of its
// text: sys.dm_exec_query_plan gives the batch's, sys.dm_exec_text_query_plan each
// statement's by its byte offsets (and the batch's for 0 and -1).
struct ScriptedPlan {
    std::string batchText;
    int databaseId = 1;
    std::string batchPlan; // showplan XML of all its statements
    struct Statement {
        int startOffset = 0;
        int endOffset = -1;
        std::string xml;
    };
    std::vector<Statement> statements;
};

// One round of changes applied atomically, in the order of the fields: how the demo
// moves many sessions at once without a sampling query seeing half a step. Changes to a
// session that has gone meanwhile (a `kill`) are skipped, so nothing brings it back.
struct ScriptedChanges {
    struct RequestKey {
        int sessionId = 0;
        int requestId = 0;
    };
    struct SessionUpdate {
        int sessionId = 0;
        ColumnOverrides columns; // sys.dm_exec_sessions columns
    };
    struct RequestUpdate {
        int sessionId = 0;
        int requestId = 0;
        ColumnOverrides columns; // sys.dm_exec_requests columns
    };
    struct InputBufferText {
        int sessionId = 0;
        std::string text; // a "Language Event"
    };
    struct LivePlan {
        int sessionId = 0;
        int requestId = 0;
        std::optional<std::string> xml; // none: the request's live plan goes
    };

    std::vector<RequestKey> removedRequests;
    std::vector<int> endedSessions; // as a logout; never one a TDS client stands behind
    std::vector<ScriptedSession> newSessions;
    std::vector<SessionUpdate> sessionUpdates;
    std::vector<ScriptedRequest> newRequests; // replacing a request with the same key
    std::vector<RequestUpdate> requestUpdates;
    std::vector<InputBufferText> inputBuffers;
    std::vector<LivePlan> livePlans; // of requests that are there

    bool empty() const {
        return removedRequests.empty() && endedSessions.empty() && newSessions.empty() &&
               sessionUpdates.empty() && newRequests.empty() && requestUpdates.empty() &&
               inputBuffers.empty() && livePlans.empty();
    }
};

} // namespace testserver
