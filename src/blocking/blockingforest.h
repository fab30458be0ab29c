#pragma once
// Who blocks whom in one snapshot, as trees: a head is a session that holds others up and
// waits for nobody in the snapshot; under each session, the sessions waiting for it. A
// blocker that the current filters hide is a head of its own, known only by its SPID. A
// cycle (sessions waiting for each other) has no head; its lowest SPID stands for one,
// and no session appears twice.

#include "sampling/monitorrec.h"

#include <QList>

struct TBlockingNode {
    int SPID = 0;
    const TMonitorRec* Rec = nullptr; // the session's row; nullptr when it is not in the snapshot
    QList<int> Children;              // indices into Nodes, by SPID
    int Waiting = 0;                  // sessions below it, all levels
    qint32 LongestWait = 0;           // ms: the longest wait below it
    bool InCycle = false;             // a head standing for a cycle
    // A head that sleeps while it holds a transaction open: the classic cause, and the
    // hardest to see in the grid.
    bool SleepingInTransaction = false;
};

struct TBlockingForest {
    QList<TBlockingNode> Nodes;
    QList<int> Heads; // indices into Nodes, by SPID
};

// The grid columns a tree shows of each session (SPID, login, host, program, status,
// command, open transactions, wait type, wait time, wait resource): the sampling query
// selects them while the tree is shown, whether the grid shows them or not.
inline constexpr int BlockingTreeGridColumns[] = {0, 1, 11, 5, 2, 3, 24, 25, 26, 27};

// From the rows of a snapshot (a session with several rows counts once: the rows of a
// session wait for the blocker of the first of them that waits).
TBlockingForest BuildBlockingForest(const QList<PMonitorRec>& ARows);
