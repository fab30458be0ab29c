// Two moments of a recording compared at 10,000 sessions, beside the sampler's fetch of a
// snapshot of 10,000 sessions: what "Сравнить" adds to showing a snapshot (the pairing of
// every row with its earlier self, the changes and the growth, the rows as the grid takes
// them). The two moments differ as a busy server's do ten minutes apart: a third of the
// sessions worked, one in twenty ended and as many came.
// Target: the comparison costs no more than 0.1 times the fetch.

#include "benchserver.h"
#include "compare/momentcompare.h"
#include "database/dbconnection.h"
#include "sampling/monitor.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>

namespace {

constexpr int kRuns = 7;

// Fetches one snapshot with the real sampler; returns its median time and the rows.
double fetch(int n, TRecordedRows& rows) {
    QList<TMonitorRec> records;
    const double ms = FetchSnapshotMs(n, kRuns, records);
    rows.clear();
    for (const TMonitorRec& r : records)
        rows.push_back({r, {}, 0, 0});
    return ms;
}

// The later moment: every third session worked, one in twenty ended, as many came.
TRowState later(const TRecordedRows& earlier) {
    TRecordedRows rows;
    int spid = 0;
    for (std::size_t i = 0; i < earlier.size(); ++i) {
        spid = std::max(spid, int(earlier[i].Rec.SPID));
        if (i % 20 == 7)
            continue;
        TRecordedRow r = earlier[i];
        if (i % 3 == 0) {
            r.Rec.CPU += 1500;
            r.Rec.Reads += 300;
            r.Rec.LogicalReads += 40000;
            r.Rec.Status = QStringLiteral("running");
        }
        rows.push_back(r);
    }
    for (std::size_t i = 0; i < earlier.size() / 20; ++i) {
        TRecordedRow r = earlier[i];
        r.Rec.SPID = ++spid;
        r.Rec.LoginTime += 0.01;
        rows.push_back(r);
    }
    return KeyRows(rows);
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const int n = 10000;
    TRecordedRows fetched;
    const double fetchMs = fetch(n, fetched);
    const TRowState earlier = KeyRows(fetched);
    const TRowState now = later(fetched);
    QList<double> times;
    std::size_t shown = 0;
    for (int run = 0; run < kRuns; ++run) {
        QElapsedTimer t;
        t.start();
        const TRowState compared = ComparedState(CompareMoments(earlier, now));
        times << t.nsecsElapsed() / 1e6;
        shown = compared.size();
    }
    if (shown < std::size_t(n))
        qFatal("the comparison lost rows");
    const double compareMs = Median(times);
    Report(QStringLiteral("compare_ms_10000"), compareMs,
           QStringLiteral("ms (the fetch: %1 ms)").arg(fetchMs, 0, 'f', 1));
    Report(QStringLiteral("compare_vs_fetch_10000"), compareMs / fetchMs,
           QStringLiteral("ratio (target <= 0.1)"));
    return 0;
}
