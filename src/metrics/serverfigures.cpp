#include "metrics/serverfigures.h"

#include <QSet>

namespace {

bool hasRequest(const TMonitorRec& ARec) {
    return ARec.Status == QLatin1String("running") || ARec.Status == QLatin1String("runnable") ||
           ARec.Status == QLatin1String("suspended");
}

} // namespace

TServerFigures MeasureSnapshot(const TRecordedRows& ARows, qint64 AAtMs,
                               const TSessionCpu& APrevious, qint64 APreviousAtMs,
                               TSessionCpu& ACurrent) {
    TServerFigures f;
    ACurrent.clear();
    QSet<int> counted, blockers, waiting;
    qint64 gained = 0;
    for (const TRecordedRow& row : ARows) {
        const TMonitorRec& r = row.Rec;
        // A session with several requests (MARS) has a row for each: it counts once.
        if (!counted.contains(r.SPID)) {
            counted.insert(r.SPID);
            ++f.SessionsByStatus[r.Status.isEmpty() ? QStringLiteral("unknown") : r.Status];
            const auto key = std::pair(r.SPID, r.LoginTime);
            ACurrent[key] = r.CPU;
            const auto before = APrevious.find(key);
            if (before != APrevious.end() && r.CPU >= before->second)
                gained += r.CPU - before->second;
        }
        if (r.Blocking > 0 && r.Blocking != r.SPID) {
            ++f.Blocked;
            f.LongestBlockingWaitS = std::max(f.LongestBlockingWaitS, r.WaitTime / 1000.0);
            blockers.insert(r.Blocking);
            waiting.insert(r.SPID);
        }
        if (r.IsUser && !r.SelfID && hasRequest(r))
            f.OldestRequestS = std::max(f.OldestRequestS, r.ElapsedTime / 1000.0);
    }
    for (int b : std::as_const(blockers))
        if (!waiting.contains(b))
            ++f.HeadBlockers;
    if (APreviousAtMs >= 0 && AAtMs > APreviousAtMs && !APrevious.empty())
        f.CpuMsPerS = double(gained) * 1000.0 / double(AAtMs - APreviousAtMs);
    return f;
}
