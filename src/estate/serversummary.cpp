#include "estate/serversummary.h"

#include "database/dberror.h"
#include "database/dbrecordset.h"

#include <QSet>
#include <algorithm>
#include <map>
#include <tuple>

const QString& SummaryQueryText() {
    // The summary's own session is the one row every answer has, so the counts come even
    // when no request runs; the counts' subqueries are uncorrelated.
    static const QString text = QStringLiteral(
        "select (select count(*) from sys.dm_exec_sessions) as sessions,"
        " (select count(*) from sys.dm_exec_sessions where is_user_process = 1) as user_sessions,"
        " r.session_id, r.request_id, r.start_time, r.cpu_time, r.blocking_session_id,"
        " r.wait_time, s.is_user_process\n"
        "from sys.dm_exec_sessions me\n"
        "left join sys.dm_exec_requests r on r.session_id <> me.session_id\n"
        "left join sys.dm_exec_sessions s on s.session_id = r.session_id\n"
        "where me.session_id = @@SPID");
    return text;
}

TSummaryRead ReadSummaryRows(TDbRecordset& ARows) {
    if (ARows.fieldCount() != 9)
        throw EDbError(QStringLiteral("The summary query returned %1 columns instead of 9")
                           .arg(ARows.fieldCount()));
    TSummaryRead read;
    for (; !ARows.eof(); ARows.moveNext()) {
        read.Sessions = ARows.field(0).asInteger();
        read.UserSessions = ARows.field(1).asInteger();
        if (ARows.field(2).isNull())
            continue; // no request but the summary's own
        TSummaryRequest r;
        r.SessionId = ARows.field(2).asInteger();
        r.RequestId = ARows.field(3).asInteger();
        r.StartTime = ARows.field(4).isNull() ? 0 : ARows.field(4).asDateTime();
        r.CpuMs = ARows.field(5).asLargeInt();
        r.BlockingSessionId = ARows.field(6).isNull() ? 0 : ARows.field(6).asInteger();
        r.WaitMs = ARows.field(7).asLargeInt();
        r.User = !ARows.field(8).isNull() && ARows.field(8).asBoolean();
        read.Requests.append(r);
    }
    return read;
}

namespace {

// Sessions that others wait for and that wait for nobody themselves. A blocker without a
// request (asleep inside an open transaction) is a head too.
int headBlockers(const QSet<int>& blockers, const QSet<int>& waiting) {
    int heads = 0;
    for (int b : blockers)
        if (!waiting.contains(b))
            ++heads;
    return heads;
}

using TRunKey = std::tuple<int, int, double>;

} // namespace

TServerSummary Summarize(const TSummaryRead& ARead, qint64 AAtMs, const TSummaryRead* APrevious,
                         qint64 APreviousAtMs) {
    TServerSummary s;
    s.Valid = true;
    s.TakenAtMs = AAtMs;
    s.Sessions = ARead.Sessions;
    s.UserSessions = ARead.UserSessions;
    QSet<int> blockers, waiting;
    for (const TSummaryRequest& r : ARead.Requests) {
        if (r.User)
            ++s.Running;
        // Negative ids name no session (-2 an orphaned transaction, -3 deferred
        // recovery, -4 a latch owner that cannot be told): waiting, but on no one here.
        if (r.BlockingSessionId > 0) {
            ++s.Blocked;
            s.LongestWaitMs = std::max(s.LongestWaitMs, r.WaitMs);
            blockers.insert(r.BlockingSessionId);
            waiting.insert(r.SessionId);
        }
    }
    s.HeadBlockers = headBlockers(blockers, waiting);
    const qint64 interval = AAtMs - APreviousAtMs;
    if (APrevious && interval > 0) {
        std::map<TRunKey, qint64> before;
        for (const TSummaryRequest& r : APrevious->Requests)
            before[{r.SessionId, r.RequestId, r.StartTime}] = r.CpuMs;
        qint64 gained = 0;
        for (const TSummaryRequest& r : ARead.Requests) {
            const auto it = before.find({r.SessionId, r.RequestId, r.StartTime});
            gained += std::max<qint64>(0, it == before.end() ? r.CpuMs : r.CpuMs - it->second);
        }
        s.CpuPerSec = double(gained) * 1000.0 / double(interval);
    }
    return s;
}

TServerSummary SummarizeSnapshot(const TRecList& ARows, qint64 AAtMs) {
    TServerSummary s;
    s.Valid = true;
    s.TakenAtMs = AAtMs;
    QSet<int> sessions, userSessions, blockers, waiting;
    double cpu = 0;
    bool anyRate = false;
    for (const TMonitorRec* r : ARows) {
        sessions.insert(r->SPID);
        if (r->IsUser) {
            userSessions.insert(r->SPID);
            if (r->Status == QLatin1String("running") || r->Status == QLatin1String("runnable") ||
                r->Status == QLatin1String("suspended"))
                ++s.Running;
        }
        if (r->Blocking > 0) {
            ++s.Blocked;
            s.LongestWaitMs = std::max<qint64>(s.LongestWaitMs, r->WaitTime);
            blockers.insert(r->Blocking);
            waiting.insert(r->SPID);
        }
        if (r->CpuRate >= 0) {
            cpu += r->CpuRate;
            anyRate = true;
        }
    }
    s.Sessions = int(sessions.size());
    s.UserSessions = int(userSessions.size());
    s.HeadBlockers = headBlockers(blockers, waiting);
    s.CpuPerSec = anyRate ? cpu : -1;
    return s;
}

TEstateLevel EstateLevel(const TServerSummary& ASummary) {
    if (!ASummary.Error.isEmpty())
        return TEstateLevel::Failed;
    if (ASummary.Blocked > 0 && ASummary.LongestWaitMs > kEstateBlockingMs)
        return TEstateLevel::Blocking;
    return TEstateLevel::Quiet;
}
