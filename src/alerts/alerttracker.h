#pragma once
// Turns what is seen of each server into alert episodes: an alert is raised once when its
// rule's condition starts to hold for a subject and cleared when it stops, never repeated
// while it lasts. Plain logic: the window feeds it the estate's summaries, dervel-record
// its snapshots; neither the clock nor the servers are its own.

#include "alerts/alert.h"

#include <QHash>
#include <QList>
#include <QStringList>

class TAlertTracker {
public:
    explicit TAlertTracker(const TAlertRules& ARules = TAlertRules::Defaults());

    const TAlertRules& rules() const { return FRules; }
    // New rules apply from the next observation: what they no longer see ends there.
    void setRules(const TAlertRules& ARules) { FRules = ARules; }

    // A summary of a server, at the period the server is watched at. A failed summary
    // (its Error set) says nothing of the sessions: only silence is measured from it.
    QList<TAlertChange> observe(const QString& AServerKey, const QString& AServer,
                                const TServerSummary& ASummary, int APeriodMs, qint64 ANowMs);
    // Time passed without a summary: a server silent for the rule's periods is raised.
    QList<TAlertChange> tick(qint64 ANowMs);
    // The server is no longer watched (disconnected, removed): its alerts end now.
    QList<TAlertChange> forget(const QString& AServerKey, qint64 ANowMs);

    QList<TAlert> openAlerts() const;
    bool watches(const QString& AServerKey) const { return FServers.contains(AServerKey); }
    QStringList servers() const { return FServers.keys(); }
    int openCount(const QString& AServerKey) const;

private:
    struct TServerState {
        QString Name;
        int PeriodMs = 0;
        qint64 AnsweredMs = -1;      // the last summary that came
        QHash<QString, TAlert> Open; // by episode key
    };
    struct TCandidate {
        TAlertKind Kind;
        TSummarySession Subject;
        qint64 WaitMs = 0;
        int Waiting = 0;
        qint64 SinceMs = 0;
    };
    QList<TCandidate> candidates(const QString& AServer, const TServerSummary& ASummary) const;
    // The open alert the candidate continues, if any.
    TAlert* continued(TServerState& AState, const TCandidate& ACandidate);
    TAlert raise(const QString& AServerKey, TServerState& AState, const TCandidate& ACandidate,
                 qint64 ANowMs, qint64 ASnapshotTime);
    void checkSilence(const QString& AServerKey, TServerState& AState, qint64 ANowMs,
                      QList<TAlertChange>& AChanges);

    TAlertRules FRules;
    QHash<QString, TServerState> FServers;
    qint64 FNextId = 1;
};
