#include "alerts/alerttracker.h"

#include <QSet>
#include <cmath>

namespace {

// A login time to the millisecond: the same session read by two queries compares equal.
qint64 loginMs(double ADays) {
    return ADays > 0 ? std::llround((ADays - 25569.0) * 86400000.0) : 0;
}

// A session's login time is not always known (a head blocker the grid's filters hide):
// then the SPID alone says it is the same session.
bool sameSession(const TSummarySession& a, const TSummarySession& b) {
    return a.Spid == b.Spid &&
           (a.LoginTime <= 0 || b.LoginTime <= 0 || loginMs(a.LoginTime) == loginMs(b.LoginTime));
}

// The start of a request is worked out from how long it has run, so two looks at it differ
// by the time the answers took; a new request of the same session starts at least a rule's
// threshold (minutes) later.
constexpr qint64 kSameStartMs = 5000;

} // namespace

TAlertTracker::TAlertTracker(const TAlertRules& ARules) : FRules(ARules) {}

QList<TAlertTracker::TCandidate> TAlertTracker::candidates(const QString& AServer,
                                                           const TServerSummary& ASummary) const {
    QList<TCandidate> list;
    const TAlertRule& blocking = FRules.rule(TAlertKind::Blocking);
    const TAlertRule& count = FRules.rule(TAlertKind::BlockedCount);
    const bool countOn = count.Enabled && AlertAppliesTo(count, AServer);
    int blocked = 0;
    for (const TSummaryChain& c : ASummary.Chains) {
        if (blocking.Enabled && c.LongestWaitMs > qint64(blocking.Threshold) * 1000 &&
            AlertAppliesTo(blocking, AServer) && !AlertExcludes(blocking, c.Head))
            list.append({TAlertKind::Blocking, c.Head, c.LongestWaitMs, c.Waiting, 0});
        if (countOn && !AlertExcludes(count, c.Head))
            blocked += c.Waiting;
    }
    if (countOn && blocked > count.Threshold)
        list.append({TAlertKind::BlockedCount, {}, 0, blocked, 0});
    const TAlertRule& longRequest = FRules.rule(TAlertKind::LongRequest);
    if (longRequest.Enabled && AlertAppliesTo(longRequest, AServer)) {
        const qint64 limit = qint64(longRequest.Threshold) * 60000;
        for (const TSummaryRunning& r : ASummary.UserRequests) {
            if (r.ElapsedMs <= limit)
                break; // the oldest come first
            if (!AlertExcludes(longRequest, r.Session))
                list.append({TAlertKind::LongRequest, r.Session, r.ElapsedMs, 0,
                             ASummary.TakenAtMs - r.ElapsedMs});
        }
    }
    return list;
}

TAlert* TAlertTracker::continued(TServerState& AState, const TCandidate& ACandidate) {
    for (TAlert& a : AState.Open) {
        if (a.Kind != ACandidate.Kind)
            continue;
        switch (a.Kind) {
        case TAlertKind::Blocking:
            if (sameSession(a.Subject, ACandidate.Subject))
                return &a;
            break;
        case TAlertKind::LongRequest:
            if (sameSession(a.Subject, ACandidate.Subject) &&
                std::abs(a.SinceMs - ACandidate.SinceMs) <= kSameStartMs)
                return &a;
            break;
        case TAlertKind::BlockedCount:
        case TAlertKind::Unanswered:
            return &a;
        }
    }
    return nullptr;
}

TAlert TAlertTracker::raise(const QString& AServerKey, TServerState& AState,
                            const TCandidate& ACandidate, qint64 ANowMs, qint64 ASnapshotTime) {
    TAlert a;
    a.Id = FNextId++;
    a.Kind = ACandidate.Kind;
    a.ServerKey = AServerKey;
    a.Server = AState.Name;
    a.Subject = ACandidate.Subject;
    a.Threshold = FRules.rule(a.Kind).Threshold;
    a.StartMs = ANowMs;
    a.SinceMs = ACandidate.SinceMs;
    a.WaitMs = ACandidate.WaitMs;
    a.Waiting = ACandidate.Waiting;
    a.SnapshotTime = ASnapshotTime;
    a.Key = AlertRuleKey(a.Kind);
    if (a.Subject.Spid > 0)
        a.Key += QStringLiteral("/%1/%2").arg(a.Subject.Spid).arg(loginMs(a.Subject.LoginTime));
    if (a.Kind == TAlertKind::LongRequest)
        a.Key += QStringLiteral("/%1").arg(a.SinceMs / 1000);
    // A key that is open already (two requests of one session a few seconds apart) gets
    // the alert's number, so that each episode has its own.
    if (AState.Open.contains(a.Key))
        a.Key += QStringLiteral("#%1").arg(a.Id);
    AState.Open.insert(a.Key, a);
    return a;
}

void TAlertTracker::checkSilence(const QString& AServerKey, TServerState& AState, qint64 ANowMs,
                                 QList<TAlertChange>& AChanges) {
    const TAlertRule& rule = FRules.rule(TAlertKind::Unanswered);
    const QString key = AlertRuleKey(TAlertKind::Unanswered);
    if (AState.Open.contains(key) || !rule.Enabled || !AlertAppliesTo(rule, AState.Name) ||
        AState.AnsweredMs < 0 || AState.PeriodMs <= 0)
        return;
    if (ANowMs - AState.AnsweredMs >= qint64(rule.Threshold) * AState.PeriodMs)
        AChanges.append(
            {TAlertChangeKind::Raised,
             raise(AServerKey, AState,
                   {TAlertKind::Unanswered, {}, ANowMs - AState.AnsweredMs, 0, AState.AnsweredMs},
                   ANowMs, -1)});
}

QList<TAlertChange> TAlertTracker::observe(const QString& AServerKey, const QString& AServer,
                                           const TServerSummary& ASummary, int APeriodMs,
                                           qint64 ANowMs) {
    QList<TAlertChange> changes;
    TServerState& state = FServers[AServerKey];
    state.Name = AServer;
    state.PeriodMs = APeriodMs;
    if (!ASummary.Error.isEmpty() || !ASummary.Valid) {
        if (state.AnsweredMs < 0)
            state.AnsweredMs = ANowMs; // silent from the first look
        checkSilence(AServerKey, state, ANowMs, changes);
        return changes;
    }
    state.AnsweredMs = ANowMs;
    QSet<QString> holding;
    for (const TCandidate& c : candidates(AServer, ASummary)) {
        if (TAlert* open = continued(state, c)) {
            open->WaitMs = std::max(open->WaitMs, c.WaitMs);
            open->Waiting = std::max(open->Waiting, c.Waiting);
            holding.insert(open->Key);
            continue;
        }
        const TAlert raised = raise(AServerKey, state, c, ANowMs, ASummary.TakenAtMs);
        holding.insert(raised.Key);
        changes.append({TAlertChangeKind::Raised, raised});
    }
    // What no longer holds has ended; the server answered, so its silence too.
    for (auto it = state.Open.begin(); it != state.Open.end();) {
        if (holding.contains(it.key())) {
            ++it;
            continue;
        }
        TAlert ended = it.value();
        ended.EndMs = ANowMs;
        changes.append({TAlertChangeKind::Cleared, ended});
        it = state.Open.erase(it);
    }
    return changes;
}

QList<TAlertChange> TAlertTracker::tick(qint64 ANowMs) {
    QList<TAlertChange> changes;
    for (auto it = FServers.begin(); it != FServers.end(); ++it)
        checkSilence(it.key(), it.value(), ANowMs, changes);
    return changes;
}

QList<TAlertChange> TAlertTracker::forget(const QString& AServerKey, qint64 ANowMs) {
    QList<TAlertChange> changes;
    const auto it = FServers.find(AServerKey);
    if (it == FServers.end())
        return changes;
    for (TAlert a : it->Open) {
        a.EndMs = ANowMs;
        changes.append({TAlertChangeKind::Cleared, a});
    }
    FServers.erase(it);
    return changes;
}

QList<TAlert> TAlertTracker::openAlerts() const {
    QList<TAlert> list;
    for (const TServerState& s : FServers)
        for (const TAlert& a : s.Open)
            list.append(a);
    std::sort(list.begin(), list.end(),
              [](const TAlert& a, const TAlert& b) { return a.Id < b.Id; });
    return list;
}

int TAlertTracker::openCount(const QString& AServerKey) const {
    const auto it = FServers.constFind(AServerKey);
    return it == FServers.cend() ? 0 : int(it->Open.size());
}
