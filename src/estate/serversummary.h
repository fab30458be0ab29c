#pragma once
// What the estate view shows of a server: a handful of figures read by one small query on
// the session and request views, or taken from the grid's snapshot for the server the
// grid watches.

#include "sampling/monitorrec.h"

#include <QHash>
#include <QList>
#include <QMetaType>
#include <QString>
#include <cstdint>
#include <optional>

class TDbConnection;
class TDbRecordset;

// A session as the alert rules see it: who, from where, doing what.
struct TSummarySession {
    int Spid = 0;
    double LoginTime = 0; // days since 1899-12-30; 0 when not known
    QString Login;
    QString Host;
    QString Program;
    QString Database;
    QString Command; // of its request; empty for a session without one
};

// A head blocker and the sessions held up behind it, directly or further down.
struct TSummaryChain {
    TSummarySession Head;
    qint64 LongestWaitMs = 0; // the longest wait of the sessions behind it
    int Waiting = 0;          // how many sessions wait behind it
};

// A request of a user session, running or waiting, with how long it has run.
struct TSummaryRunning {
    TSummarySession Session;
    qint64 ElapsedMs = 0;
};

inline constexpr int kKeptRequests = 100;

struct TServerSummary {
    bool Valid = false; // figures were read at least once
    int Sessions = 0;   // all sessions, system ones too
    int UserSessions = 0;
    int Running = 0;          // requests of user sessions
    int Blocked = 0;          // requests that wait for another session
    int HeadBlockers = 0;     // sessions that hold others up and wait for nobody
    qint64 LongestWaitMs = 0; // the longest of the blocked requests' waits
    double CpuPerSec = -1;    // ms of CPU per second; negative until two samples
    qint64 SampleMs = 0;      // what the summary took, from the client's side
    qint64 TakenAtMs = 0;     // when it arrived (ms since the epoch)
    QString Error;            // the driver's text when the last summary failed
    // What the alert rules read: every blocking chain, the longest wait's first; the
    // requests of user sessions, the oldest first, up to kKeptRequests of them (but the
    // summary's or the grid's own).
    QList<TSummaryChain> Chains;
    QList<TSummaryRunning> UserRequests;
};

// One request as the summary query returns it.
struct TSummaryRequest {
    int SessionId = 0;
    int RequestId = 0;
    double StartTime = 0; // days since 1899-12-30: with the ids, which run of a request
    qint64 CpuMs = 0;
    int BlockingSessionId = 0;
    qint64 WaitMs = 0;
    bool User = false;
    qint64 ElapsedMs = 0;
    // Its session, and its command: only for a request running a minute or more (the
    // shortest a long-request rule takes), so that the many short ones cost no text; the
    // session's names come from TSessionNames.
    TSummarySession Session;
};

// The summary's statement: a row per request of any session but the summary's own (or
// one row without a request), each with the session counts and, for a request that waits
// for another session, which session that is (its SPID and login time). Only
// sys.dm_exec_sessions and sys.dm_exec_requests are read: no lock views, no memory
// grants, no plans or texts.
const QString& SummaryQueryText();

struct TSummaryRead {
    int Sessions = 0;
    int UserSessions = 0;
    QList<TSummaryRequest> Requests;
    // The sessions others wait for, by SPID: named once TSessionNames has them.
    QHash<int, TSummarySession> Blockers;
};
// Reads the summary query's rows; throws EDbError for a result of another shape.
TSummaryRead ReadSummaryRows(TDbRecordset& ARows);

// The names of sessions, kept per server from one summary to the next: a session's login,
// host and program do not change while it lasts (the same SPID and login time), so each is
// asked for once, by a second small statement, when it first holds someone up or has run a
// request for a minute. Its database is the one it was in then.
using TSessionNames = QHash<int, TSummarySession>;
// The sessions of a read that the names do not know yet (by SPID and login time).
QList<int> UnnamedSessions(const TSummaryRead& ARead, const TSessionNames& ANames);
// The statement that names sessions by SPID.
QString SessionNamesQuery(const QList<int>& ASpids);
// Adds what that statement returned to the names.
void ReadSessionNames(TDbRecordset& ARows, TSessionNames& ANames);
// Names the read's blockers and long requests from the names and forgets the names of
// sessions that are neither any more.
void NameSessions(TSummaryRead& ARead, TSessionNames& ANames);
// The summary of a server, its sessions named: none when another statement holds the
// connection just now. Throws EDbError.
std::optional<TSummaryRead> QuerySummary(TDbConnection& AConnection, int ATimeoutSec,
                                         TSessionNames& ANames);

// The figures of one read; CpuPerSec from the CPU the requests of `APrevious` (read at
// `APreviousAtMs`) had, or negative without one. A request seen in both reads counts the
// CPU it gained; one new since counts all of its own; one that ended meanwhile is lost.
TServerSummary Summarize(const TSummaryRead& ARead, qint64 AAtMs, const TSummaryRead* APrevious,
                         qint64 APreviousAtMs);

// The same figures from the grid's rows (for the watched server, which is not queried
// twice). They are the rows the grid's filters let through.
TServerSummary SummarizeSnapshot(const TRecList& ARows, qint64 AAtMs);

// The chains and user requests of a read or of a snapshot's rows, as the summary keeps
// them. The rows' own session (the sampler's) is left out.
void FindChains(TServerSummary& ASummary, const TSummaryRead& ARead);
void FindChains(TServerSummary& ASummary, const TRecList& ARows);

// How the server's row is coloured: the worst of what the summary says.
enum class TEstateLevel { Quiet, Blocking, Failed };
inline constexpr qint64 kEstateBlockingMs = 30000; // a blocking wait longer than this
TEstateLevel EstateLevel(const TServerSummary& ASummary);

Q_DECLARE_METATYPE(TServerSummary)
