#pragma once
// What a span of a recording comes to, for those who will not open the recording: its
// blocking episodes, the sessions that took the most CPU and that waited the longest.

#include "episodes/blockingepisode.h"
#include "recorder/recordingsource.h"

#include <vector>

struct TSessionFigures {
    std::int32_t SPID = 0;
    double LoginTime = 0; // with the SPID, tells one session from the next behind it
    QString Login, Host, Program, DB, Command;
    qint64 CpuMs = 0;    // CPU the session gained between its first and last snapshot
    qint64 WaitedMs = 0; // the time between snapshots it spent waiting, as far as seen
    std::int32_t LongestWaitMs = 0;
    QString WaitType, WaitResource; // of the longest wait
};

struct TSpanSummary {
    TRecordingInfo Info;
    qint64 FromMs = 0, ToMs = 0; // the first and the last snapshot of the span
    int Snapshots = 0;
    QList<TRecordingGap> Gaps;     // those within the span
    QList<TRecordingEvent> Events; // those within the span
    // The blocking episodes of the span, as if the recording held only the span.
    std::vector<TBlockingEpisode> Episodes;
    std::vector<TSessionFigures> TopCpu;   // most CPU first
    std::vector<TSessionFigures> TopWaits; // most time waited first
};

// Reads every snapshot of the span once. ATop: how many sessions each list keeps; those
// with nothing to show (no CPU, no wait) are left out. Throws ERecordingError when the
// span holds no snapshot, and for a snapshot that does not read.
TSpanSummary SummarizeSpan(TRecordingSource& ASource, qint64 AFromMs, qint64 AToMs, int ATop = 10);
