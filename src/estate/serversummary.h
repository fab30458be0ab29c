#pragma once
// What the estate view shows of a server: a handful of figures read by one small query on
// the session and request views, or taken from the grid's snapshot for the server the
// grid watches.

#include "sampling/monitorrec.h"

#include <QList>
#include <QMetaType>
#include <QString>
#include <cstdint>

class TDbRecordset;

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
};

// The summary's one statement: a row per request of any session but the summary's own (or
// one row without a request), each with the session counts. Only sys.dm_exec_sessions and
// sys.dm_exec_requests are read: no lock views, no memory grants, no plans or texts.
const QString& SummaryQueryText();

struct TSummaryRead {
    int Sessions = 0;
    int UserSessions = 0;
    QList<TSummaryRequest> Requests;
};
// Reads the summary query's rows; throws EDbError for a result of another shape.
TSummaryRead ReadSummaryRows(TDbRecordset& ARows);

// The figures of one read; CpuPerSec from the CPU the requests of `APrevious` (read at
// `APreviousAtMs`) had, or negative without one. A request seen in both reads counts the
// CPU it gained; one new since counts all of its own; one that ended meanwhile is lost.
TServerSummary Summarize(const TSummaryRead& ARead, qint64 AAtMs, const TSummaryRead* APrevious,
                         qint64 APreviousAtMs);

// The same figures from the grid's rows (for the watched server, which is not queried
// twice). They are the rows the grid's filters let through.
TServerSummary SummarizeSnapshot(const TRecList& ARows, qint64 AAtMs);

// How the server's row is coloured: the worst of what the summary says.
enum class TEstateLevel { Quiet, Blocking, Failed };
inline constexpr qint64 kEstateBlockingMs = 30000; // a blocking wait longer than this
TEstateLevel EstateLevel(const TServerSummary& ASummary);

Q_DECLARE_METATYPE(TServerSummary)
