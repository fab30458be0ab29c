#pragma once
// What /metrics says, kept ready between scrapes: each recorder thread puts its server's
// figures here as it records a snapshot, and a scrape only joins the texts, so it never
// waits for a server and never runs a statement. Prometheus's text format; labels are the
// server and, where a figure has parts, the status or the alert rule, never a session.

#include "metrics/serverfigures.h"

#include <QByteArray>
#include <QMap>
#include <QString>
#include <array>
#include <mutex>
#include <vector>

class TMetricsState {
public:
    // A server recorded from the start, so that one never sampled shows (as down).
    void addServer(const QString& AServer);
    // The figures of a snapshot answered at AAtMs (ms since the epoch) after ADurationMs.
    void sampled(const QString& AServer, const TServerFigures& AFigures, qint64 AAtMs,
                 qint64 ADurationMs);
    // A round that failed: no figures until the next snapshot, one more error.
    void failed(const QString& AServer, qint64 ADurationMs);
    // The open alerts of a server by rule, as the recorder's alert rules count them now;
    // replaces what was set before (a rule left out has none open).
    void setOpenAlerts(const QString& AServer, const QMap<QString, int>& AByRule);

    // The whole exposition, every family once.
    QByteArray render() const;

private:
    enum TFamily {
        Up,
        Sessions,
        Blocked,
        BlockingWait,
        HeadBlockers,
        OldestRequest,
        Cpu,
        SampleDuration,
        SampleErrors,
        LastSample,
        OpenAlerts,
        FamilyCount
    };
    struct TServer {
        QString Name;
        QByteArray Label; // server="...", escaped
        qint64 Errors = 0;
        std::array<QByteArray, FamilyCount> Lines;
    };
    TServer& server(const QString& AName);
    void setErrors(TServer& AServer);

    mutable std::mutex FMutex;
    std::vector<TServer> FServers; // in the order they came
};

// A label value as the text format writes it: backslash, quote and line end escaped.
QByteArray EscapeLabelValue(const QString& AValue);
