#pragma once
// What the recorder's metrics say of a server, worked out from the snapshot it has just
// recorded: no statement of its own, so a scrape costs the server nothing.

#include "recorder/recordedrow.h"

#include <QMap>
#include <QString>
#include <map>

struct TServerFigures {
    QMap<QString, int> SessionsByStatus; // "running", "sleeping", ...: sessions, not rows
    int Blocked = 0;                     // requests waiting for another session
    double LongestBlockingWaitS = 0;     // the longest of those waits
    int HeadBlockers = 0;                // sessions that hold others up and wait for nobody
    double OldestRequestS = 0;           // the longest-running request of a user session
    double CpuMsPerS = -1;               // CPU gained per second since the snapshot before;
                                         // negative without one
    bool operator==(const TServerFigures&) const = default;
};

// A session's CPU counter by session (SPID and login time), to work out CPU/s from.
using TSessionCpu = std::map<std::pair<std::int32_t, double>, qint64>;

// The figures of a snapshot taken at AAtMs; APrevious holds the counters of the snapshot
// taken at APreviousAtMs (empty, or APreviousAtMs < 0, when there is none). ACurrent gets
// this snapshot's counters, for the next. A session seen in both counts what it gained; a
// new one counts nothing (its counter ran before we saw it), nor does a counter that
// went down.
TServerFigures MeasureSnapshot(const TRecordedRows& ARows, qint64 AAtMs,
                               const TSessionCpu& APrevious, qint64 APreviousAtMs,
                               TSessionCpu& ACurrent);
