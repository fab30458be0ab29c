#include "recorder/recorderalerts.h"

#include "alerts/alertcommand.h"
#include "recorder/recordingstore.h"

#include <QCoreApplication>

TRecordingEvent RecordingEventOf(const TAlertChange& AChange) {
    const TAlert& a = AChange.Alert;
    const bool cleared = AChange.Change == TAlertChangeKind::Cleared;
    return {cleared ? a.EndMs : a.StartMs,
            cleared ? QStringLiteral("cleared") : QStringLiteral("raised"),
            AlertRuleKey(a.Kind),
            a.Key,
            QStringLiteral("%1 — %2").arg(AlertSummaryText(a), AlertSubjectText(a)),
            a.SnapshotTime,
            AlertDetailsJson(a)};
}

TRecorderAlerts::TRecorderAlerts(const QString& AServer, const TAlertRules& ARules, int APeriodMs,
                                 TRecordingStore& AWriter, TAlertCommand* ACommand,
                                 TReport AReport)
    : FServer(AServer), FPeriodMs(APeriodMs), FTracker(ARules), FWriter(AWriter),
      FCommand(ACommand), FReport(std::move(AReport)) {}

void TRecorderAlerts::sampled(qint64 ATimeMs, const TRecordedRows& ARows) {
    TRecList rows;
    rows.reserve(qsizetype(ARows.size()));
    for (const TRecordedRow& r : ARows)
        rows.append(const_cast<TMonitorRec*>(&r.Rec)); // read only; the list owns nothing
    TServerSummary summary;
    summary.Valid = true;
    summary.TakenAtMs = ATimeMs;
    FindChains(summary, rows);
    apply(FTracker.observe(FServer, FServer, summary, FPeriodMs, ATimeMs));
}

void TRecorderAlerts::silent(qint64 ANowMs) {
    apply(FTracker.tick(ANowMs));
}

void TRecorderAlerts::apply(const QList<TAlertChange>& AChanges) {
    if (!AChanges.isEmpty() && OpenChanged) {
        QMap<QString, int> byRule;
        for (const TAlert& a : FTracker.openAlerts())
            ++byRule[AlertRuleKey(a.Kind)];
        OpenChanged(byRule);
    }
    for (const TAlertChange& c : AChanges) {
        FWriter.addEvent(RecordingEventOf(c));
        const bool raised = c.Change == TAlertChangeKind::Raised;
        FReport(raised ? QCoreApplication::translate("Alerts", "Оповещение: %1 — %2")
                             .arg(AlertSummaryText(c.Alert), AlertSubjectText(c.Alert))
                       : QCoreApplication::translate("Alerts", "Оповещение снято: %1 — %2, %3 с")
                             .arg(AlertSummaryText(c.Alert), AlertSubjectText(c.Alert))
                             .arg((c.Alert.EndMs - c.Alert.StartMs) / 1000));
        if (FCommand)
            FCommand->enqueue(c);
    }
}
