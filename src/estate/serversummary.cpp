#include "estate/serversummary.h"

#include "database/dbconnection.h"
#include "database/dberror.h"
#include "database/dbrecordset.h"

#include <QHash>
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
        " r.wait_time, s.is_user_process, r.total_elapsed_time,"
        " case when r.total_elapsed_time >= 60000 then s.login_time end, b.login_time,"
        " case when r.total_elapsed_time >= 60000 then r.command end\n"
        "from sys.dm_exec_sessions me\n"
        "left join sys.dm_exec_requests r on r.session_id <> me.session_id\n"
        "left join sys.dm_exec_sessions s on s.session_id = r.session_id\n"
        "left join sys.dm_exec_sessions b on b.session_id = r.blocking_session_id\n"
        "where me.session_id = @@SPID");
    return text;
}

TSummaryRead ReadSummaryRows(TDbRecordset& ARows) {
    if (ARows.fieldCount() != 13)
        throw EDbError(QStringLiteral("The summary query returned %1 columns instead of 13")
                           .arg(ARows.fieldCount()));
    const auto text = [&ARows](int AField) {
        return ARows.field(AField).isNull() ? QString() : ARows.field(AField).asString();
    };
    const auto time = [&ARows](int AField) {
        return ARows.field(AField).isNull() ? 0.0 : ARows.field(AField).asDateTime();
    };
    TSummaryRead read;
    for (; !ARows.eof(); ARows.moveNext()) {
        read.Sessions = ARows.field(0).asInteger();
        read.UserSessions = ARows.field(1).asInteger();
        if (ARows.field(2).isNull())
            continue; // no request but the summary's own
        TSummaryRequest r;
        r.SessionId = ARows.field(2).asInteger();
        r.RequestId = ARows.field(3).asInteger();
        r.StartTime = time(4);
        r.CpuMs = ARows.field(5).asLargeInt();
        r.BlockingSessionId = ARows.field(6).isNull() ? 0 : ARows.field(6).asInteger();
        r.WaitMs = ARows.field(7).asLargeInt();
        r.User = !ARows.field(8).isNull() && ARows.field(8).asBoolean();
        r.ElapsedMs = ARows.field(9).isNull() ? 0 : ARows.field(9).asLargeInt();
        // Known by SPID and login time, named later from the names kept (SessionNames).
        r.Session = {.Spid = r.SessionId, .LoginTime = time(10), .Command = text(12)};
        if (r.BlockingSessionId > 0 && !ARows.field(11).isNull())
            read.Blockers.insert(r.BlockingSessionId, TSummarySession{.Spid = r.BlockingSessionId,
                                                                      .LoginTime = time(11)});
        read.Requests.append(r);
    }
    return read;
}

namespace {

// The sessions a read names: the blockers, and those of requests running a minute or more.
template <typename F> void forEachNamed(TSummaryRead& ARead, F AVisit) {
    for (auto it = ARead.Blockers.begin(); it != ARead.Blockers.end(); ++it)
        AVisit(*it);
    for (TSummaryRequest& r : ARead.Requests)
        if (r.Session.LoginTime != 0)
            AVisit(r.Session);
}

} // namespace

QList<int> UnnamedSessions(const TSummaryRead& ARead, const TSessionNames& ANames) {
    QSet<int> spids;
    forEachNamed(const_cast<TSummaryRead&>(ARead), [&](const TSummarySession& s) {
        const auto known = ANames.constFind(s.Spid);
        if (known == ANames.cend() || known->LoginTime != s.LoginTime)
            spids.insert(s.Spid);
    });
    QList<int> sorted(spids.cbegin(), spids.cend());
    std::sort(sorted.begin(), sorted.end());
    return sorted;
}

QString SessionNamesQuery(const QList<int>& ASpids) {
    QStringList ids;
    for (int spid : ASpids)
        ids << QString::number(spid);
    return QStringLiteral("select session_id, login_time, login_name, host_name, program_name,"
                          " db_name(database_id)\nfrom sys.dm_exec_sessions\n"
                          "where session_id in (%1)")
        .arg(ids.join(QLatin1Char(',')));
}

void ReadSessionNames(TDbRecordset& ARows, TSessionNames& ANames) {
    if (ARows.fieldCount() != 6)
        throw EDbError(QStringLiteral("The sessions' names came in %1 columns instead of 6")
                           .arg(ARows.fieldCount()));
    const auto text = [&ARows](int AField) {
        return ARows.field(AField).isNull() ? QString() : ARows.field(AField).asString();
    };
    for (; !ARows.eof(); ARows.moveNext()) {
        const int spid = ARows.field(0).asInteger();
        ANames.insert(spid, {spid, ARows.field(1).asDateTime(), text(2), text(3), text(4), text(5),
                             QString()});
    }
}

void NameSessions(TSummaryRead& ARead, TSessionNames& ANames) {
    TSessionNames kept;
    forEachNamed(ARead, [&](TSummarySession& s) {
        const auto known = ANames.constFind(s.Spid);
        // A session that went meanwhile is not named for the one now behind its SPID.
        if (known == ANames.cend() || known->LoginTime != s.LoginTime)
            return;
        const QString command = s.Command; // the request's, not the names'
        s = *known;
        s.Command = command;
        kept.insert(s.Spid, *known);
    });
    ANames.swap(kept);
}

std::optional<TSummaryRead> QuerySummary(TDbConnection& AConnection, int ATimeoutSec,
                                         TSessionNames& ANames) {
    TSummaryRead read;
    {
        std::optional<TDbRecordset> rows = AConnection.tryExecute(SummaryQueryText(), ATimeoutSec);
        if (!rows)
            return std::nullopt;
        read = ReadSummaryRows(*rows);
    }
    const QList<int> unnamed = UnnamedSessions(read, ANames);
    // A connection taken by someone else in between leaves them unnamed for a turn.
    if (!unnamed.isEmpty())
        if (std::optional<TDbRecordset> names =
                AConnection.tryExecute(SessionNamesQuery(unnamed), ATimeoutSec))
            ReadSessionNames(*names, ANames);
    NameSessions(read, ANames);
    return read;
}

namespace {

// Sessions that others wait for and that wait for nobody themselves. A blocker without a
// request (asleep inside an open transaction) is a head too.
bool isRequestStatus(const QString& AStatus) {
    return AStatus == QLatin1String("running") || AStatus == QLatin1String("runnable") ||
           AStatus == QLatin1String("suspended");
}

int headBlockers(const QSet<int>& blockers, const QSet<int>& waiting) {
    int heads = 0;
    for (int b : blockers)
        if (!waiting.contains(b))
            ++heads;
    return heads;
}

using TRunKey = std::tuple<int, int, double>;

// A session that waits: for whom, how long.
struct TWait {
    int Spid;
    int BlockedBy;
    qint64 WaitMs;
};

// Follows every wait up to the session at the top of its chain and sums what waits behind
// each. A circle of waits (a deadlock the server is about to end) has no head and is left
// out; a session with several waiting requests counts once.
QList<TSummaryChain> chainsOf(const QList<TWait>& AWaits,
                              const QHash<int, TSummarySession>& ASessions) {
    QHash<int, int> blockedBy;
    for (const TWait& w : AWaits)
        blockedBy.insert(w.Spid, w.BlockedBy);
    QHash<int, int> headOf; // memo: the top of each waiting session's chain, 0 for none
    const auto head = [&](int spid) {
        QList<int> path;
        QSet<int> onPath;
        int at = spid;
        int top = 0;
        for (;;) {
            if (headOf.contains(at)) {
                top = headOf.value(at);
                break;
            }
            if (!blockedBy.contains(at)) {
                top = at;
                break;
            }
            if (onPath.contains(at))
                break; // a circle: no head
            onPath.insert(at);
            path.append(at);
            at = blockedBy.value(at);
        }
        for (int p : path)
            headOf.insert(p, top);
        return top;
    };
    QHash<int, TSummaryChain> chains;
    QHash<int, QSet<int>> counted;
    for (const TWait& w : AWaits) {
        const int top = head(w.Spid);
        if (top <= 0)
            continue;
        TSummaryChain& c = chains[top];
        if (c.Head.Spid == 0)
            c.Head = ASessions.value(top, TSummarySession{.Spid = top});
        c.LongestWaitMs = std::max(c.LongestWaitMs, w.WaitMs);
        QSet<int>& seen = counted[top];
        if (!seen.contains(w.Spid)) {
            seen.insert(w.Spid);
            ++c.Waiting;
        }
    }
    QList<TSummaryChain> list = chains.values();
    std::sort(list.begin(), list.end(), [](const TSummaryChain& a, const TSummaryChain& b) {
        return a.LongestWaitMs != b.LongestWaitMs ? a.LongestWaitMs > b.LongestWaitMs
                                                  : a.Head.Spid < b.Head.Spid;
    });
    return list;
}

void sortOldestFirst(QList<TSummaryRunning>& ARequests) {
    std::sort(ARequests.begin(), ARequests.end(),
              [](const TSummaryRunning& a, const TSummaryRunning& b) {
                  return a.ElapsedMs != b.ElapsedMs ? a.ElapsedMs > b.ElapsedMs
                                                    : a.Session.Spid < b.Session.Spid;
              });
}

} // namespace

void FindChains(TServerSummary& ASummary, const TSummaryRead& ARead) {
    QList<TWait> waits;
    QHash<int, TSummarySession> sessions;
    ASummary.UserRequests.clear();
    for (const TSummaryRequest& r : ARead.Requests) {
        sessions.insert(r.SessionId, r.Session);
        if (r.BlockingSessionId > 0)
            waits.append({r.SessionId, r.BlockingSessionId, r.WaitMs});
        if (r.User)
            ASummary.UserRequests.append({r.Session, r.ElapsedMs});
    }
    // A head's own request (when it has one) names its command too; the blocker's
    // columns name it otherwise, asleep in its transaction.
    for (auto it = ARead.Blockers.cbegin(); it != ARead.Blockers.cend(); ++it)
        if (!sessions.contains(it.key()) || sessions.value(it.key()).Login.isEmpty())
            sessions.insert(it.key(), it.value());
    ASummary.Chains = chainsOf(waits, sessions);
    sortOldestFirst(ASummary.UserRequests);
    if (ASummary.UserRequests.size() > kKeptRequests)
        ASummary.UserRequests.resize(kKeptRequests);
}

void FindChains(TServerSummary& ASummary, const TRecList& ARows) {
    // Thousands of rows, a handful of chains: the sessions are looked up only for the
    // heads, and only the oldest requests are kept.
    QList<TWait> waits;
    QSet<int> blockers;
    for (const TMonitorRec* r : ARows)
        if (r->Blocking > 0) {
            waits.append({r->SPID, r->Blocking, r->WaitTime});
            blockers.insert(r->Blocking);
        }
    QHash<int, TSummarySession> sessions;
    std::vector<const TMonitorRec*> requests;
    const auto sessionOf = [](const TMonitorRec* r) {
        return TSummarySession{r->SPID,     r->LoginTime, r->Login,  r->Host,
                               r->ProgName, r->DB,        r->Command};
    };
    for (const TMonitorRec* r : ARows) {
        if (!blockers.isEmpty() && blockers.contains(r->SPID))
            sessions.insert(r->SPID, sessionOf(r));
        if (r->IsUser && !r->SelfID && isRequestStatus(r->Status))
            requests.push_back(r);
    }
    ASummary.Chains = chainsOf(waits, sessions);
    const auto older = [](const TMonitorRec* a, const TMonitorRec* b) {
        return a->ElapsedTime != b->ElapsedTime ? a->ElapsedTime > b->ElapsedTime
                                                : a->SPID < b->SPID;
    };
    const std::size_t kept = std::min(requests.size(), std::size_t(kKeptRequests));
    std::partial_sort(requests.begin(), requests.begin() + std::ptrdiff_t(kept), requests.end(),
                      older);
    ASummary.UserRequests.clear();
    for (std::size_t i = 0; i < kept; ++i)
        ASummary.UserRequests.append({sessionOf(requests[i]), requests[i]->ElapsedTime});
}

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
    FindChains(s, ARead);
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
            if (isRequestStatus(r->Status))
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
    FindChains(s, ARows);
    return s;
}

TEstateLevel EstateLevel(const TServerSummary& ASummary) {
    if (!ASummary.Error.isEmpty())
        return TEstateLevel::Failed;
    if (ASummary.Blocked > 0 && ASummary.LongestWaitMs > kEstateBlockingMs)
        return TEstateLevel::Blocking;
    return TEstateLevel::Quiet;
}
