#include "incident/spansummary.h"

#include "episodes/episodefinder.h"
#include "incident/spanexport.h"

#include <QCoreApplication>
#include <algorithm>
#include <map>

namespace {

struct TTrack {
    TSessionFigures Figures;
    qint64 FirstCpu = 0;
    qint64 LastCpu = 0;
    qint64 SeenAt = 0; // the last snapshot the session was in
};

using TSessionKey = std::pair<std::int32_t, double>;

std::vector<TSessionFigures> top(const std::map<TSessionKey, TTrack>& ATracks, int ACount,
                                 qint64 TSessionFigures::*AField) {
    std::vector<TSessionFigures> all;
    for (const auto& [key, track] : ATracks)
        if (track.Figures.*AField > 0)
            all.push_back(track.Figures);
    std::stable_sort(all.begin(), all.end(),
                     [AField](const auto& a, const auto& b) { return a.*AField > b.*AField; });
    if (all.size() > std::size_t(ACount))
        all.resize(std::size_t(ACount));
    return all;
}

} // namespace

TSpanSummary SummarizeSpan(TRecordingSource& ASource, qint64 AFromMs, qint64 AToMs, int ATop) {
    const auto [first, last] = SpanIndexes(ASource, AFromMs, AToMs);
    if (first > last)
        throw ERecordingError(
            QCoreApplication::translate("SpanExport", "В записи «%1» нет снимков за этот период.")
                .arg(ASource.path()));
    TSpanSummary summary;
    summary.Info = ASource.info();
    summary.FromMs = ASource.timeAt(first);
    summary.ToMs = ASource.timeAt(last);
    summary.Snapshots = last - first + 1;
    for (const TRecordingGap& gap : ASource.gaps())
        if (gap.End > summary.FromMs && gap.Start < summary.ToMs)
            summary.Gaps << gap;
    for (const TRecordingEvent& event : ASource.events())
        if (event.Time >= AFromMs && event.Time <= AToMs)
            summary.Events << event;

    std::map<TSessionKey, TTrack> tracks;
    qint64 previous = -1;
    for (int i = first; i <= last; ++i) {
        const qint64 now = ASource.timeAt(i);
        // Across a gap nobody knows what a session did: the wait is not counted.
        const bool continuous = previous >= 0 && !ASource.gapBefore(i);
        for (const auto& [key, row] : ASource.rowsAt(i)) {
            const TMonitorRec& r = row.Rec;
            auto [it, isNew] = tracks.try_emplace({r.SPID, r.LoginTime});
            TTrack& t = it->second;
            TSessionFigures& f = t.Figures;
            if (isNew) {
                f.SPID = r.SPID;
                f.LoginTime = r.LoginTime;
                t.FirstCpu = r.CPU;
            }
            f.Login = r.Login;
            f.Host = r.Host;
            f.Program = r.ProgName;
            f.DB = r.DB;
            if (!r.Command.isEmpty())
                f.Command = r.Command;
            // A session's requests each bring its counters; the largest is the session's.
            if (t.SeenAt != now)
                t.LastCpu = r.CPU;
            else
                t.LastCpu = std::max<qint64>(t.LastCpu, r.CPU);
            f.CpuMs = std::max<qint64>(0, t.LastCpu - t.FirstCpu);
            if (r.WaitTime > 0) {
                if (continuous && t.SeenAt == previous)
                    f.WaitedMs += std::min<qint64>(r.WaitTime, now - previous);
                if (r.WaitTime > f.LongestWaitMs) {
                    f.LongestWaitMs = r.WaitTime;
                    f.WaitType = r.WaitType;
                    f.WaitResource = r.WaitResource;
                }
            }
            t.SeenAt = now;
        }
        previous = now;
    }
    summary.Episodes = FindEpisodes(ASource, AFromMs, AToMs);
    summary.TopCpu = top(tracks, ATop, &TSessionFigures::CpuMs);
    summary.TopWaits = top(tracks, ATop, &TSessionFigures::WaitedMs);
    return summary;
}
