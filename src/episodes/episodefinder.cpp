#include "episodes/episodefinder.h"

#include "blocking/blockingforest.h"
#include "recorder/recordingsource.h"

#include <algorithm>

namespace {

void addSorted(QList<int>& AList, int AValue) {
    const auto at = std::lower_bound(AList.begin(), AList.end(), AValue);
    if (at == AList.end() || *at != AValue)
        AList.insert(at, AValue);
}

void addSorted(QStringList& AList, const QString& AValue) {
    const auto at = std::lower_bound(AList.begin(), AList.end(), AValue);
    if (at == AList.end() || *at != AValue)
        AList.insert(at, AValue);
}

bool byStart(const TBlockingEpisode& a, const TBlockingEpisode& b) {
    return a.Start != b.Start ? a.Start < b.Start : a.HeadSPID < b.HeadSPID;
}

} // namespace

std::vector<TBlockingEpisode> TEpisodeFinder::snapshot(qint64 ATimeMs, const TRowState& ARows) {
    std::vector<TRowRef> rows;
    rows.reserve(ARows.size());
    for (const auto& [key, row] : ARows)
        rows.push_back({&row.Rec, &row.Text});
    return observe(ATimeMs, rows);
}

std::vector<TBlockingEpisode> TEpisodeFinder::snapshot(qint64 ATimeMs, const TRecordedRows& ARows) {
    std::vector<TRowRef> rows;
    rows.reserve(ARows.size());
    for (const TRecordedRow& row : ARows)
        rows.push_back({&row.Rec, &row.Text});
    return observe(ATimeMs, rows);
}

std::vector<TBlockingEpisode> TEpisodeFinder::observe(qint64 ATimeMs,
                                                      const std::vector<TRowRef>& ARows) {
    // Most snapshots block nobody: the forest finds that from the rows alone, and nothing
    // else is built for them.
    TRecList recs;
    recs.reserve(qsizetype(ARows.size()));
    for (const TRowRef& r : ARows)
        recs.append(const_cast<TMonitorRec*>(r.Rec)); // read only; the list owns nothing
    const TBlockingForest forest = BuildBlockingForest(recs);

    std::map<THeadKey, TBlockingEpisode> seen;
    for (const int head : forest.Heads) {
        const TBlockingNode& h = forest.Nodes[head];
        const THeadKey key{h.SPID, h.Rec ? h.Rec->LoginTime : 0};
        auto open = FOpen.find(key);
        TBlockingEpisode e;
        if (open != FOpen.end()) {
            e = std::move(open->second);
            FOpen.erase(open);
        } else {
            e.Start = ATimeMs;
            e.HeadSPID = key.SPID;
            e.HeadLoginTime = key.LoginTime;
        }
        e.End = ATimeMs;
        if (h.Rec) {
            e.HeadLogin = h.Rec->Login;
            e.HeadHost = h.Rec->Host;
            e.HeadProgram = h.Rec->ProgName;
            e.HeadDatabase = h.Rec->DB;
            e.HeadOpenTran = h.Rec->OpenTran;
        }
        for (const TRowRef& r : ARows)
            if (r.Rec->SPID == h.SPID && r.Rec->LoginTime == key.LoginTime && !r.Text->isEmpty()) {
                e.HeadText = *r.Text;
                break;
            }
        e.MostWaiting = std::max(e.MostWaiting, h.Waiting);
        e.LongestWait = std::max(e.LongestWait, h.LongestWait);
        // Everyone below the head, at every level.
        std::vector<int> stack(h.Children.begin(), h.Children.end());
        while (!stack.empty()) {
            const TBlockingNode& n = forest.Nodes[stack.back()];
            stack.pop_back();
            addSorted(e.Waiters, n.SPID);
            if (n.Rec && !n.Rec->WaitResource.isEmpty())
                addSorted(e.Resources, n.Rec->WaitResource);
            stack.insert(stack.end(), n.Children.begin(), n.Children.end());
        }
        seen.emplace(key, std::move(e));
    }
    std::vector<TBlockingEpisode> ended;
    for (auto& [key, e] : FOpen)
        ended.push_back(std::move(e));
    FOpen = std::move(seen);
    std::sort(ended.begin(), ended.end(), byStart);
    return ended;
}

std::vector<TBlockingEpisode> TEpisodeFinder::gap() {
    std::vector<TBlockingEpisode> ended;
    for (auto& [key, e] : FOpen) {
        e.CutByGap = true;
        ended.push_back(std::move(e));
    }
    FOpen.clear();
    std::sort(ended.begin(), ended.end(), byStart);
    return ended;
}

std::vector<TBlockingEpisode> TEpisodeFinder::openEpisodes() const {
    std::vector<TBlockingEpisode> open;
    for (const auto& [key, e] : FOpen) {
        open.push_back(e);
        open.back().Open = true;
    }
    std::sort(open.begin(), open.end(), byStart);
    return open;
}

namespace {

// Reads the snapshots from index AFrom to ATo (both included) into the finder.
void scan(TRecordingSource& ASource, int AFrom, int ATo, TEpisodeFinder& AFinder,
          std::vector<TBlockingEpisode>& AEpisodes) {
    for (int i = AFrom; i <= ATo; ++i) {
        if (i > AFrom && ASource.gapBefore(i)) {
            auto cut = AFinder.gap();
            AEpisodes.insert(AEpisodes.end(), cut.begin(), cut.end());
        }
        auto ended = AFinder.snapshot(ASource.timeAt(i), ASource.rowsAt(i));
        AEpisodes.insert(AEpisodes.end(), ended.begin(), ended.end());
    }
}

} // namespace

std::vector<TBlockingEpisode> FindEpisodes(TRecordingSource& ASource, qint64 AFromMs,
                                           qint64 AToMs) {
    std::vector<TBlockingEpisode> episodes;
    if (ASource.count() == 0)
        return episodes;
    int from = ASource.indexAt(AFromMs);
    if (ASource.timeAt(from) < AFromMs)
        ++from;
    const int to = ASource.indexAt(AToMs);
    if (from >= ASource.count() || to < from || ASource.timeAt(to) > AToMs)
        return episodes;
    TEpisodeFinder finder;
    scan(ASource, from, to, finder, episodes);
    const auto open = finder.openEpisodes();
    episodes.insert(episodes.end(), open.begin(), open.end());
    std::sort(episodes.begin(), episodes.end(), byStart);
    return episodes;
}
