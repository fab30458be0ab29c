#include "episodes/episodefinder.h"

#include "blocking/blockingforest.h"
#include "episodes/episodecodec.h"
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

// Reads the snapshots from index AFrom to ATo (both included) into the finder. A gap
// after the last snapshot of the recording (the server lost as the recording ended) ends
// what was open as a gap between snapshots does.
void scan(TRecordingSource& ASource, int AFrom, int ATo, TEpisodeFinder& AFinder,
          std::vector<TBlockingEpisode>& AEpisodes) {
    const auto cut = [&] {
        auto ended = AFinder.gap();
        AEpisodes.insert(AEpisodes.end(), ended.begin(), ended.end());
    };
    for (int i = AFrom; i <= ATo; ++i) {
        if (i > AFrom && ASource.gapBefore(i))
            cut();
        auto ended = AFinder.snapshot(ASource.timeAt(i), ASource.rowsAt(i));
        AEpisodes.insert(AEpisodes.end(), ended.begin(), ended.end());
    }
    if (ATo == ASource.count() - 1 && !AFinder.quiet()) {
        const qint64 last = ASource.timeAt(ATo);
        for (const TRecordingGap& g : ASource.gaps())
            if (g.End > last && g.Start >= last) {
                cut();
                break;
            }
    }
}

// The episodes of the snapshots from index AFrom to ATo, with the ones still open at ATo.
std::vector<TBlockingEpisode> scanSpan(TRecordingSource& ASource, int AFrom, int ATo) {
    std::vector<TBlockingEpisode> episodes;
    TEpisodeFinder finder;
    scan(ASource, AFrom, ATo, finder, episodes);
    const auto open = finder.openEpisodes();
    episodes.insert(episodes.end(), open.begin(), open.end());
    return episodes;
}

} // namespace

std::vector<TBlockingEpisode> FindEpisodes(TRecordingSource& ASource, qint64 AFromMs,
                                           qint64 AToMs) {
    std::vector<TBlockingEpisode> episodes;
    if (ASource.count() == 0)
        return episodes;
    // The span as snapshot indexes, and as the times of its first and last snapshot.
    int from = ASource.indexAt(AFromMs);
    if (ASource.timeAt(from) < AFromMs)
        ++from;
    const int to = ASource.indexAt(AToMs);
    if (from >= ASource.count() || to < from || ASource.timeAt(to) > AToMs)
        return episodes;
    const qint64 fromMs = ASource.timeAt(from);
    const qint64 toMs = ASource.timeAt(to);

    std::vector<TRecordedEpisode> stored;
    qint64 through = -1;
    if (!ASource.readEpisodes(stored, through) || through < fromMs) {
        episodes = scanSpan(ASource, from, to);
        std::sort(episodes.begin(), episodes.end(), byStart);
        return episodes;
    }
    // The index's episodes inside the span as they are; one that crosses an end of the
    // span is read again over its part inside, for the figures of that part alone.
    for (const TRecordedEpisode& r : stored) {
        if (r.End < fromMs || r.Start > toMs)
            continue;
        TBlockingEpisode e = EpisodeOfRecorded(r);
        if (r.Start >= fromMs && r.End <= toMs) {
            episodes.push_back(std::move(e));
            continue;
        }
        const int a = ASource.indexAt(std::max(r.Start, fromMs));
        const int b = ASource.indexAt(std::min(r.End, toMs));
        for (TBlockingEpisode& part : scanSpan(ASource, std::max(a, from), std::min(b, to)))
            if (part.HeadSPID == e.HeadSPID && part.HeadLoginTime == e.HeadLoginTime &&
                part.Start == std::max(r.Start, fromMs)) {
                // Open only where the span ends before the episode does.
                part.Open = r.End > toMs;
                part.CutByGap = !part.Open && e.CutByGap;
                episodes.push_back(std::move(part));
                break;
            }
    }
    // The snapshots past the index, read.
    if (toMs > through) {
        int after = ASource.indexAt(through);
        if (ASource.timeAt(after) <= through)
            ++after;
        after = std::max(after, from);
        if (after <= to) {
            auto rest = scanSpan(ASource, after, to);
            episodes.insert(episodes.end(), rest.begin(), rest.end());
        }
    }
    std::sort(episodes.begin(), episodes.end(), byStart);
    return episodes;
}
