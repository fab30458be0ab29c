#include "blocking/blockingforest.h"

#include <algorithm>

namespace {

struct TWait {
    int SPID;
    int BlockedBy;
    qint32 Wait;
    int Row; // the first row of the session that waits wins
    bool operator<(const TWait& b) const { return SPID != b.SPID ? SPID < b.SPID : Row < b.Row; }
};

} // namespace

TBlockingForest BuildBlockingForest(const QList<PMonitorRec>& ARows) {
    TBlockingForest forest;
    // Most snapshots hold no chain at all, and a chain is small beside the rows: find the
    // waiting rows first, then look up only the sessions they name.
    std::vector<TWait> waits;
    for (int row = 0; row < ARows.size(); ++row) {
        const TMonitorRec& r = *ARows[row];
        if (r.Blocking != 0 && r.Blocking != r.SPID)
            waits.push_back({r.SPID, r.Blocking, r.WaitTime, row});
    }
    if (waits.empty())
        return forest;
    std::sort(waits.begin(), waits.end());
    waits.erase(std::unique(waits.begin(), waits.end(),
                            [](const TWait& a, const TWait& b) { return a.SPID == b.SPID; }),
                waits.end());

    // One node per session involved, waiting or blocking, in SPID order.
    std::vector<int> spids;
    spids.reserve(waits.size() * 2);
    for (const TWait& w : waits)
        spids.insert(spids.end(), {w.SPID, w.BlockedBy});
    std::sort(spids.begin(), spids.end());
    spids.erase(std::unique(spids.begin(), spids.end()), spids.end());
    // Session ids are small numbers (smallint on the server): a table by id finds a node
    // at once; anything else is searched for.
    const bool dense = spids.front() >= 0 && spids.back() <= (1 << 20);
    std::vector<int> nodeAt(dense ? std::size_t(spids.back()) + 1 : 0, -1);
    for (std::size_t n = 0; dense && n < spids.size(); ++n)
        nodeAt[std::size_t(spids[n])] = int(n);
    const auto nodeOf = [&](int spid) {
        if (dense)
            return spid >= 0 && std::size_t(spid) < nodeAt.size() ? nodeAt[std::size_t(spid)] : -1;
        const auto it = std::lower_bound(spids.begin(), spids.end(), spid);
        return it != spids.end() && *it == spid ? int(it - spids.begin()) : -1;
    };
    const int count = int(spids.size());
    forest.Nodes.resize(count);
    std::vector<int> parent(std::size_t(count), -1);
    std::vector<qint32> wait(std::size_t(count), 0);
    for (int n = 0; n < count; ++n)
        forest.Nodes[n].SPID = spids[std::size_t(n)];
    for (const PMonitorRec r : ARows) {
        const int n = nodeOf(r->SPID);
        if (n >= 0 && !forest.Nodes[n].Rec)
            forest.Nodes[n].Rec = r;
    }
    for (const TWait& w : waits) { // in SPID order, so every node's children are too
        const int n = nodeOf(w.SPID);
        parent[std::size_t(n)] = nodeOf(w.BlockedBy);
        wait[std::size_t(n)] = w.Wait;
        forest.Nodes[parent[std::size_t(n)]].Children << n;
    }

    // Fills a subtree's counts from its node down; a node met twice (a cycle) is left out.
    std::vector<bool> placed(std::size_t(count), false);
    const auto grow = [&](auto&& self, int n) -> void {
        placed[std::size_t(n)] = true;
        // Nodes stay where they are while the forest grows: the reference holds.
        QList<int>& children = forest.Nodes[n].Children;
        qsizetype kept = 0;
        int waiting = 0;
        qint32 longest = 0;
        for (qsizetype i = 0; i < children.size(); ++i) {
            const int child = children[i];
            if (placed[std::size_t(child)])
                continue;
            self(self, child);
            children[kept++] = child;
            const TBlockingNode& c = forest.Nodes[child];
            waiting += 1 + c.Waiting;
            longest = std::max({longest, c.LongestWait, wait[std::size_t(child)]});
        }
        children.resize(kept);
        forest.Nodes[n].Waiting = waiting;
        forest.Nodes[n].LongestWait = longest;
    };
    for (int n = 0; n < count; ++n)
        if (parent[std::size_t(n)] < 0) {
            forest.Heads << n;
            grow(grow, n);
        }
    // What is left waits in a circle, or for one: the circle's lowest SPID heads it all.
    std::vector<int> seenOnWalk(std::size_t(count), -1);
    for (int n = 0; n < count; ++n) {
        if (placed[std::size_t(n)])
            continue;
        int m = n;
        while (seenOnWalk[std::size_t(m)] != n) {
            seenOnWalk[std::size_t(m)] = n;
            m = parent[std::size_t(m)];
        }
        int lowest = m; // m is on the circle
        for (int k = parent[std::size_t(m)]; k != m; k = parent[std::size_t(k)])
            if (forest.Nodes[k].SPID < forest.Nodes[lowest].SPID)
                lowest = k;
        forest.Nodes[lowest].InCycle = true;
        forest.Heads << lowest;
        grow(grow, lowest);
    }
    std::sort(forest.Heads.begin(), forest.Heads.end()); // node order is SPID order
    for (int head : std::as_const(forest.Heads)) {
        TBlockingNode& h = forest.Nodes[head];
        h.SleepingInTransaction =
            h.Rec && h.Rec->Status == QLatin1String("sleeping") && h.Rec->OpenTran > 0;
    }
    return forest;
}
