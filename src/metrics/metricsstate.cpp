#include "metrics/metricsstate.h"

namespace {

struct TFamilyText {
    const char* Name;
    const char* Type;
    const char* Help;
};

// In TMetricsState::TFamily's order.
const TFamilyText kFamilies[] = {
    {"dervel_up", "gauge", "1 when the last sample of the server succeeded, 0 otherwise."},
    {"dervel_sessions", "gauge", "Sessions of the server by status."},
    {"dervel_blocked_sessions", "gauge", "Requests waiting for another session."},
    {"dervel_blocking_wait_seconds_max", "gauge",
     "The longest wait of a request blocked by another session."},
    {"dervel_head_blockers", "gauge", "Sessions that block others and wait for nobody."},
    {"dervel_oldest_request_seconds", "gauge",
     "How long the longest-running request of a user session has run."},
    {"dervel_cpu_seconds_per_second", "gauge",
     "CPU time the sessions gained per second since the sample before (1: a core busy)."},
    {"dervel_sample_duration_seconds", "gauge", "What the last sample took."},
    {"dervel_sample_errors_total", "counter", "Samples that failed since the recorder started."},
    {"dervel_last_sample_timestamp_seconds", "gauge",
     "When the last successful sample was answered, in seconds since the epoch."},
    {"dervel_open_alerts", "gauge", "Alerts of the recorder's rules open now, by rule."},
};
static_assert(std::size(kFamilies) == 11);

// The statuses every server shows, at 0 when none is in them: a series that vanished
// would read as "no data" rather than "none".
const char* const kStatuses[] = {"running", "runnable", "suspended", "sleeping", "background"};

QByteArray number(double AValue) {
    return QByteArray::number(AValue, 'g', 15);
}

QByteArray line(int AFamily, const QByteArray& ALabels, const QByteArray& AValue) {
    return QByteArray(kFamilies[AFamily].Name) + '{' + ALabels + "} " + AValue + '\n';
}

} // namespace

QByteArray EscapeLabelValue(const QString& AValue) {
    QByteArray out;
    for (const char c : AValue.toUtf8()) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '"')
            out += "\\\"";
        else if (c == '\n')
            out += "\\n";
        else
            out += c;
    }
    return out;
}

TMetricsState::TServer& TMetricsState::server(const QString& AName) {
    for (TServer& s : FServers)
        if (s.Name == AName)
            return s;
    TServer& s = FServers.emplace_back();
    s.Name = AName;
    s.Label = "server=\"" + EscapeLabelValue(AName) + '"';
    s.Lines[Up] = line(Up, s.Label, "0");
    setErrors(s);
    return s;
}

void TMetricsState::setErrors(TServer& AServer) {
    AServer.Lines[SampleErrors] =
        line(SampleErrors, AServer.Label, QByteArray::number(AServer.Errors));
}

void TMetricsState::addServer(const QString& AServer) {
    std::lock_guard lock(FMutex);
    server(AServer);
}

void TMetricsState::sampled(const QString& AServer, const TServerFigures& AFigures, qint64 AAtMs,
                            qint64 ADurationMs) {
    // The text is made before the lock: a scrape waits for a copy, never for formatting.
    TServer made;
    made.Label = "server=\"" + EscapeLabelValue(AServer) + '"';
    const QByteArray& l = made.Label;
    made.Lines[Up] = line(Up, l, "1");
    QMap<QString, int> byStatus = AFigures.SessionsByStatus;
    for (const char* status : kStatuses)
        byStatus.insert(QString::fromLatin1(status), byStatus.value(QString::fromLatin1(status)));
    for (auto it = byStatus.cbegin(); it != byStatus.cend(); ++it)
        made.Lines[Sessions] += line(Sessions, l + ",status=\"" + EscapeLabelValue(it.key()) + '"',
                                     QByteArray::number(it.value()));
    made.Lines[Blocked] = line(Blocked, l, QByteArray::number(AFigures.Blocked));
    made.Lines[BlockingWait] = line(BlockingWait, l, number(AFigures.LongestBlockingWaitS));
    made.Lines[HeadBlockers] = line(HeadBlockers, l, QByteArray::number(AFigures.HeadBlockers));
    made.Lines[OldestRequest] = line(OldestRequest, l, number(AFigures.OldestRequestS));
    if (AFigures.CpuMsPerS >= 0)
        made.Lines[Cpu] = line(Cpu, l, number(AFigures.CpuMsPerS / 1000.0));
    made.Lines[SampleDuration] = line(SampleDuration, l, number(ADurationMs / 1000.0));
    made.Lines[LastSample] = line(LastSample, l, number(AAtMs / 1000.0));
    std::lock_guard lock(FMutex);
    TServer& s = server(AServer);
    for (int f = 0; f < FamilyCount; ++f)
        if (f != SampleErrors && f != OpenAlerts)
            s.Lines[std::size_t(f)] = std::move(made.Lines[std::size_t(f)]);
}

void TMetricsState::failed(const QString& AServer, qint64 ADurationMs) {
    std::lock_guard lock(FMutex);
    TServer& s = server(AServer);
    // What the server looked like before it stopped answering is no figure of now; when it
    // last answered stays, for "not sampled for so long".
    for (int f : {Sessions, Blocked, BlockingWait, HeadBlockers, OldestRequest, Cpu})
        s.Lines[std::size_t(f)].clear();
    s.Lines[Up] = line(Up, s.Label, "0");
    s.Lines[SampleDuration] = line(SampleDuration, s.Label, number(ADurationMs / 1000.0));
    ++s.Errors;
    setErrors(s);
}

void TMetricsState::setOpenAlerts(const QString& AServer, const QMap<QString, int>& AByRule) {
    std::lock_guard lock(FMutex);
    TServer& s = server(AServer);
    s.Lines[OpenAlerts].clear();
    for (auto it = AByRule.cbegin(); it != AByRule.cend(); ++it)
        s.Lines[OpenAlerts] +=
            line(OpenAlerts, s.Label + ",rule=\"" + EscapeLabelValue(it.key()) + '"',
                 QByteArray::number(it.value()));
}

QByteArray TMetricsState::render() const {
    QByteArray out;
    std::lock_guard lock(FMutex);
    out.reserve(qsizetype(FServers.size()) * 1200 + 2000);
    for (int f = 0; f < FamilyCount; ++f) {
        out += "# HELP ";
        out += kFamilies[f].Name;
        out += ' ';
        out += kFamilies[f].Help;
        out += "\n# TYPE ";
        out += kFamilies[f].Name;
        out += ' ';
        out += kFamilies[f].Type;
        out += '\n';
        for (const TServer& s : FServers)
            out += s.Lines[std::size_t(f)];
    }
    return out;
}
