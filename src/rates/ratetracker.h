#pragma once
// Per-second rates of a session's counters (CPU, reads, writes, logical reads): the growth
// since the same session's previous snapshot, divided by the time between the two samples
// as the sampler took them. A session is the same when its SPID, request and login time
// are: a new login behind a reused SPID starts afresh. Runs on every arrival, so it keeps
// its two tables between snapshots and allocates nothing once they have grown.

#include "sampling/monitorrec.h"

#include <QtGlobal>
#include <vector>

class TRateTracker {
public:
    // Sets the rates of every record (negative where there is none) from the counters of
    // the previous snapshot, and keeps this one's for the next. ASampleTimeMs: when the
    // sampler took this snapshot, on a steady clock.
    void Apply(const TRecList& ARows, qint64 ASampleTimeMs);
    // Forgets the previous snapshot: a new server or a new connection.
    void Reset();

private:
    struct TEntry {
        qint32 SPID;
        qint32 RequestID;
        double LoginTime;
        qint64 CPU, Reads, Writes, LogicalReads;
        int Row; // in the snapshot it was taken from
        bool operator<(const TEntry& b) const;
        bool sameSession(const TEntry& b) const;
    };
    std::vector<TEntry> FPrevious; // sorted by session
    std::vector<TEntry> FCurrent;
    qint64 FPreviousTime = -1;
};
