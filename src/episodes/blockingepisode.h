#pragma once
// A blocking episode of a recording: one head blocker holding others up, from the first
// snapshot it blocks anyone in to the last. The head is known by its SPID and login time,
// as the alerts know a chain, so a SPID reused by another login starts an episode of its
// own.

#include <QList>
#include <QString>
#include <QStringList>

struct TBlockingEpisode {
    qint64 Start = 0; // ms since the epoch, UTC: the first snapshot the head blocked in
    qint64 End = 0;   // the last one; equal to Start for an episode of one snapshot
    // Still going at the end of what was read: End is the last snapshot read so far.
    bool Open = false;
    // Ended by a gap in the recording: the head may have blocked on through it, unseen.
    bool CutByGap = false;

    // The head blocker as the last snapshot of the episode shows it.
    int HeadSPID = 0;
    double HeadLoginTime = 0; // days since 1899-12-30, as the session record keeps it
    QString HeadLogin;
    QString HeadHost;
    QString HeadProgram;
    QString HeadDatabase;
    int HeadOpenTran = 0;
    // The head's last batch seen in the episode; empty unless the recording kept texts
    // and the head ran something while it blocked.
    QString HeadText;

    int MostWaiting = 0;    // sessions waiting on it at once, at most
    QList<int> Waiters;     // every session that waited in it, by SPID, ascending
    qint32 LongestWait = 0; // ms
    QStringList Resources;  // the wait resources waited on, as the tree shows them, sorted

    qint64 Duration() const { return End - Start; }
    bool operator==(const TBlockingEpisode&) const = default;
};
