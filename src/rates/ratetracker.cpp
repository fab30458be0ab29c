#include "rates/ratetracker.h"

#include <algorithm>

namespace {

double rate(qint64 now, qint64 before, double seconds) {
    return now >= before ? double(now - before) / seconds : -1;
}

} // namespace

bool TRateTracker::TEntry::operator<(const TEntry& b) const {
    if (SPID != b.SPID)
        return SPID < b.SPID;
    if (RequestID != b.RequestID)
        return RequestID < b.RequestID;
    return LoginTime < b.LoginTime;
}

bool TRateTracker::TEntry::sameSession(const TEntry& b) const {
    return SPID == b.SPID && RequestID == b.RequestID && LoginTime == b.LoginTime;
}

void TRateTracker::Reset() {
    FPrevious.clear();
    FPreviousTime = -1;
}

void TRateTracker::Apply(const TRecList& ARows, qint64 ASampleTimeMs) {
    FCurrent.clear();
    for (int row = 0; row < ARows.size(); ++row) {
        const TMonitorRec& r = *ARows[row];
        FCurrent.push_back(
            {r.SPID, r.RequestID, r.LoginTime, r.CPU, r.Reads, r.Writes, r.LogicalReads, row});
    }
    // In the query's default order the rows come sorted already.
    if (!std::is_sorted(FCurrent.begin(), FCurrent.end()))
        std::sort(FCurrent.begin(), FCurrent.end());
    const double seconds = FPreviousTime >= 0 ? double(ASampleTimeMs - FPreviousTime) / 1000.0 : 0;
    // Both tables are sorted by session: one walk pairs each row with its predecessor.
    auto before = FPrevious.cbegin();
    for (const TEntry& now : FCurrent) {
        while (before != FPrevious.cend() && *before < now)
            ++before;
        TMonitorRec& r = *ARows[now.Row];
        if (seconds > 0 && before != FPrevious.cend() && before->sameSession(now)) {
            r.CpuRate = rate(now.CPU, before->CPU, seconds);
            r.ReadsRate = rate(now.Reads, before->Reads, seconds);
            r.WritesRate = rate(now.Writes, before->Writes, seconds);
            r.LogicalReadsRate = rate(now.LogicalReads, before->LogicalReads, seconds);
        } else {
            r.CpuRate = r.ReadsRate = r.WritesRate = r.LogicalReadsRate = -1;
        }
    }
    std::swap(FPrevious, FCurrent);
    FPreviousTime = ASampleTimeMs;
}
