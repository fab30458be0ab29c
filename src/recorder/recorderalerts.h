#pragma once
// The alerts of a recording: the rules applied to every snapshot the recorder writes (and to
// its rounds without a server), each alert raised and cleared written into the recording as
// an event and handed to the user's command, if there is one.

#include "alerts/alerttracker.h"
#include "recorder/recordedrow.h"
#include "recorder/recordingevent.h"

#include <functional>

class TAlertCommand;
class TRecordingWriter;

// The event a change is kept as.
TRecordingEvent RecordingEventOf(const TAlertChange& AChange);

class TRecorderAlerts {
public:
    using TReport = std::function<void(const QString&)>;
    // ACommand may be null; both it and the writer outlive this.
    TRecorderAlerts(const QString& AServer, const TAlertRules& ARules, int APeriodMs,
                    TRecordingWriter& AWriter, TAlertCommand* ACommand, TReport AReport);

    void sampled(qint64 ATimeMs, const TRecordedRows& ARows);
    void silent(qint64 ANowMs);

private:
    void apply(const QList<TAlertChange>& AChanges);

    QString FServer;
    int FPeriodMs;
    TAlertTracker FTracker;
    TRecordingWriter& FWriter;
    TAlertCommand* FCommand;
    TReport FReport;
};
