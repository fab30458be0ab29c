// Taking a snapshot over into the grid (steady: as many rows as before; growing: from
// none), painting the grid's window and writing the snapshot to the activity log, at
// 1,000, 10,000 and 50,000 rows, beside the sampler's fetch of the same snapshot; the
// rates and the blocking tree the window works out from a snapshot; and reading the same
// snapshot back from a recording.
// Targets: the arrival of 10,000 rows costs no more than 0.2 times their fetch, writing
// them to the log no more than 0.5 times, the rates and the tree (its chains a second
// older than in the snapshot before, as from one arrival to the next) no more than 0.05
// times; painting costs the visible rows only. The tree of chains that are all new is
// shown beside it. Going to a snapshot of a recording costs no more than its fetch.

#include "app/mainform.h"
#include "benchserver.h"
#include "blocking/widgets/blockingpane.h"
#include "database/dbconnection.h"
#include "grid/widgets/monitormodel.h"
#include "grid/widgets/monitorview.h"
#include "rates/ratetracker.h"
#include "recorder/recordingreader.h"
#include "recorder/recordingwriter.h"
#include "recording/widgets/activitylog.h"
#include "registry/registry.h"
#include "replay/replayfilter.h"
#include "sampling/monitor.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTreeView>

namespace {

constexpr int kRuns = 5;
constexpr int kFullEvery = TRecordingWriter::DefaultFullEvery;

void fill(TMainForm& form, const QList<TMonitorRec>& records) {
    std::lock_guard lock(form.CS);
    ClearRecList(form.Dervel->Buffer);
    form.Dervel->BufferHandOver = form.CurrentHandOver();
    for (const TMonitorRec& r : records)
        form.Dervel->Buffer.append(new TMonitorRec(r));
}

double arrival(TMainForm& form, const QList<TMonitorRec>& records, bool growing) {
    QList<double> times;
    for (int run = 0; run < kRuns; ++run) {
        if (growing) {
            fill(form, {});
            form.OnDataArrive();
        }
        fill(form, records);
        QElapsedTimer t;
        t.start();
        form.OnDataArrive();
        QCoreApplication::processEvents(); // the repaint the arrival asked for
        times << t.nsecsElapsed() / 1e6;
    }
    return Median(times);
}

double logWrite(TMainForm& form, const QString& path) {
    QList<double> times;
    for (int run = 0; run < kRuns; ++run) {
        // An empty log, as after its header: appending never creates the file.
        QFile empty(path);
        if (!empty.open(QIODevice::WriteOnly | QIODevice::Truncate))
            qFatal("cannot create %s", qPrintable(path));
        empty.close();
        form.ActivityLog->FileName = path;
        QElapsedTimer t;
        t.start();
        form.ActivityLog->LogToFile();
        times << t.nsecsElapsed() / 1e6;
    }
    form.ActivityLog->FileName.clear();
    return Median(times);
}

double paint(TMainForm& form) {
    QList<double> times;
    for (int run = 0; run < kRuns; ++run) {
        QElapsedTimer t;
        t.start();
        const QPixmap pixmap = form.MonitorVT->viewport()->grab();
        times << t.nsecsElapsed() / 1e6;
    }
    return Median(times);
}

struct TDerived {
    double Steady;    // the chains of the previous snapshot, a second older
    double NewChains; // every chain new: the tree from none
    double Paint;     // the tree's rows on the screen
};

// The rates of every row from an earlier snapshot with smaller counters, and the blocking
// pane's tree: what an arrival adds when the pane is shown. The tree's painting is timed
// apart, as the grid's is: it costs the rows on the screen, not the rows of the snapshot.
TDerived ratesAndTree(TMainForm& form, const QList<TMonitorRec>& records) {
    TRecList earlier, rows;
    for (const TMonitorRec& r : records) {
        rows << new TMonitorRec(r);
        earlier << new TMonitorRec(r);
        earlier.last()->CPU = std::max(0, r.CPU - 100);
        earlier.last()->Reads = std::max<std::int64_t>(0, r.Reads - 1000);
        if (r.Blocking != 0) // every wait a second longer: every waiter's row changes
            rows.last()->WaitTime = r.WaitTime + 1000;
    }
    form.actBlockingTree->setChecked(true);
    QWidget* screen = form.BlockingPane->tree()->viewport();
    TRateTracker rates;
    const auto measure = [&](const TRecList& before) {
        QList<double> times;
        for (int run = 0; run < kRuns; ++run) {
            rates.Reset();
            rates.Apply(earlier, 0);
            form.BlockingPane->showSnapshot(before);
            QCoreApplication::processEvents();
            screen->setUpdatesEnabled(false);
            QElapsedTimer t;
            t.start();
            rates.Apply(rows, 1000);
            form.BlockingPane->showSnapshot(rows);
            QCoreApplication::processEvents(); // the tree's layout
            times << t.nsecsElapsed() / 1e6;
            screen->setUpdatesEnabled(true);
        }
        return Median(times);
    };
    TDerived derived{measure(earlier), measure({}), 0};
    QList<double> paints;
    for (int run = 0; run < kRuns; ++run) {
        QElapsedTimer t;
        t.start();
        const QPixmap pixmap = screen->grab();
        paints << t.nsecsElapsed() / 1e6;
    }
    derived.Paint = Median(paints);
    form.BlockingPane->showSnapshot({});
    form.actBlockingTree->setChecked(false);
    ClearRecList(earlier);
    ClearRecList(rows);
    return derived;
}

// A recording of two minutes of this snapshot with a twentieth of its sessions busy in
// each second; the time to show the snapshot farthest from a full one (all the changes
// since it read), from a reader opened afresh, filtered and sorted as the window does.
double replaySeek(const QList<TMonitorRec>& records, const QString& path) {
    {
        TRecordingInfo info;
        info.Server = QStringLiteral("Bench");
        TRecordingWriter writer(path, info);
        TRecordedRows rows(std::size_t(records.size()));
        for (qsizetype i = 0; i < records.size(); ++i)
            rows[std::size_t(i)].Rec = records[i];
        for (int s = 0; s < 120; ++s) {
            for (std::size_t i = std::size_t(s) % 20; i < rows.size(); i += 20) {
                rows[i].Rec.CPU += 15;
                rows[i].Rec.LogicalReads += 800;
                rows[i].Rec.LastTime += 1.0 / 86400.0;
            }
            writer.append(1765400000000 + s * 1000LL, rows);
        }
    }
    QList<double> times;
    for (int run = 0; run < kRuns; ++run) {
        QElapsedTimer t;
        t.start();
        TRecordingReader reader(path);
        TRecList shown = ReplayRows(reader.rowsAt(kFullEvery - 1), TQueryFilters{}, 0, false);
        times << t.nsecsElapsed() / 1e6;
        if (shown.size() != records.size())
            qFatal("the replayed snapshot has %d rows, not %d", int(shown.size()),
                   int(records.size()));
        ClearRecList(shown);
    }
    return Median(times);
}

} // namespace

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir settings;
    TRegistry::SetDefaultLocation(settings.path());
    TMainForm form;
    form.resize(1500, 900);
    form.show();
    // Row counts may be named on the command line (bench_arrival 10000) to measure one.
    QList<int> sizes;
    for (const QString& arg : app.arguments().mid(1))
        sizes << arg.toInt();
    if (sizes.isEmpty())
        sizes = {1000, 10000, 50000};
    for (int n : sizes) {
        QList<TMonitorRec> records;
        const double fetched = FetchSnapshotMs(n, kRuns, records);
        const double steady = arrival(form, records, false);
        const double growing = arrival(form, records, true);
        const double painted = paint(form);
        const double logged = logWrite(form, settings.filePath(QStringLiteral("bench.log")));
        const TDerived derived = ratesAndTree(form, records);
        const double seek =
            replaySeek(records, settings.filePath(QStringLiteral("seek%1.dervelrec").arg(n)));
        const QString s = QStringLiteral("_%1").arg(n);
        Report(QStringLiteral("fetch") + s, fetched, QStringLiteral("ms"));
        Report(QStringLiteral("arrival_steady") + s, steady, QStringLiteral("ms"));
        Report(QStringLiteral("arrival_growing") + s, growing, QStringLiteral("ms"));
        Report(QStringLiteral("arrival_steady_vs_fetch") + s, steady / fetched,
               n == 10000 ? QStringLiteral("ratio (target <= 0.2)") : QStringLiteral("ratio"));
        Report(QStringLiteral("paint_full_window") + s, painted,
               QStringLiteral("ms (flat in the row count)"));
        Report(QStringLiteral("log_write") + s, logged, QStringLiteral("ms"));
        Report(QStringLiteral("log_write_vs_fetch") + s, logged / fetched,
               n == 10000 ? QStringLiteral("ratio (target <= 0.5)") : QStringLiteral("ratio"));
        Report(QStringLiteral("rates_and_tree") + s, derived.Steady, QStringLiteral("ms"));
        Report(QStringLiteral("rates_and_tree_vs_fetch") + s, derived.Steady / fetched,
               n == 10000 ? QStringLiteral("ratio (target <= 0.05)") : QStringLiteral("ratio"));
        Report(QStringLiteral("rates_and_tree_new_chains") + s, derived.NewChains,
               QStringLiteral("ms"));
        Report(QStringLiteral("rates_and_tree_new_chains_vs_fetch") + s,
               derived.NewChains / fetched, QStringLiteral("ratio"));
        Report(QStringLiteral("paint_blocking_tree") + s, derived.Paint,
               QStringLiteral("ms (flat in the row count)"));
        Report(QStringLiteral("replay_seek") + s, seek, QStringLiteral("ms"));
        Report(QStringLiteral("replay_seek_vs_fetch") + s, seek / fetched,
               n == 10000 ? QStringLiteral("ratio (target <= 1)") : QStringLiteral("ratio"));
    }
    return 0;
}
