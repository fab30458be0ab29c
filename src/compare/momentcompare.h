#pragma once
// Two moments of a recording compared: which sessions appeared after the first, which had
// ended by the second, which changed, and how much their counters grew in between.
// Plain values, so that the replay, a benchmark and the tests share one answer.

#include "recorder/recordingfile.h"
#include "recorder/rowcodec.h"

#include <vector>

// The growth of a session's counters from the first moment to the second; negative where
// there is none: a session that was not there at the first moment, one that had ended
// by the second, a counter that went down.
struct TCounterGrowth {
    qint64 CPU = -1; // milliseconds
    qint64 Reads = -1;
    qint64 Writes = -1;
    qint64 LogicalReads = -1;
    bool operator==(const TCounterGrowth&) const = default;
};

struct TComparedRow {
    TRowKey Key;
    // The second moment's row; for a session that ended, the row it had at the first.
    const TRecordedRow* Row = nullptr;
    TRowChange Change = TRowChange::None;
    TCounterGrowth Growth;
};

// Every row of ALater, and once each row of AEarlier that ALater no longer has, in key
// order. A row is the same session when its key is (SPID, request, login time): a new
// login behind a reused SPID is a session that appeared beside one that ended. The rows
// point into the two states, which must outlive the result.
std::vector<TComparedRow> CompareMoments(const TRowState& AEarlier, const TRowState& ALater);

// The compared rows as the grid takes them: each record carries its change, and in its
// rate fields the growth of its counters between the two moments.
TRowState ComparedState(const std::vector<TComparedRow>& ARows);

// Whether the recording has a gap between the two times (in either order).
bool GapBetween(const QList<TRecordingGap>& AGaps, qint64 AFirstMs, qint64 ASecondMs);
