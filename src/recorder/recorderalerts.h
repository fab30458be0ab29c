#pragma once
// The alerts of a recording: the rules applied to every snapshot the recorder writes (and to
// its rounds without a server), each alert raised and cleared written into the recording as
// an event and handed to the user's command, if there is one.

#include "alerts/alerttracker.h"
#include "recorder/recordedrow.h"
#include "recorder/recordingevent.h"

#include <QMap>
#include <functional>

class TAlertCommand;
class TRecordingStore;

// The event a change is kept as.
TRecordingEvent RecordingEventOf(const TAlertChange& AChange);

class TRecorderAlerts {
public:
    using TReport = std::function<void(const QString&)>;
    // ACommand may be null; both it and the writer outlive this.
    TRecorderAlerts(const QString& AServer, const TAlertRules& ARules, int APeriodMs,
                    TRecordingStore& AWriter, TAlertCommand* ACommand, TReport AReport);

    // Told the open alerts by rule whenever an alert is raised or cleared.
    std::function<void(const QMap<QString, int>& AByRule)> OpenChanged;

    void sampled(qint64 ATimeMs, const TRecordedRows& ARows);
    void silent(qint64 ANowMs);

private:
    void apply(const QList<TAlertChange>& AChanges);

    QString FServer;
    int FPeriodMs;
    TAlertTracker FTracker;
    TRecordingStore& FWriter;
    TAlertCommand* FCommand;
    TReport FReport;
};
