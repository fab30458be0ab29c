// Taking a snapshot over into the grid (steady: as many rows as before; growing: from
// none), painting the grid's window and writing the snapshot to the activity log, at
// 1,000, 10,000 and 50,000 rows, beside the sampler's fetch of the same snapshot.
// Targets: the arrival of 10,000 rows costs no more than 0.2 times their fetch, writing
// them to the log no more than 0.5 times; painting costs the visible rows only.

#include "app/mainform.h"
#include "benchserver.h"
#include "grid/monitormodel.h"
#include "grid/monitorview.h"
#include "platform/dbconnection.h"
#include "platform/registry.h"
#include "recording/activitylog.h"
#include "sampling/monitor.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>

namespace {

constexpr int kRuns = 5;

class TArrivals : public QObject {
public:
    QEventLoop* loop = nullptr;

protected:
    void customEvent(QEvent*) override {
        if (loop)
            loop->quit();
    }
};

// Fetches one snapshot with the real sampler; returns its median time and the records.
double fetch(int n, QList<TMonitorRec>& records) {
    TBenchServer server(n);
    TDbConnection connection;
    connection.setConnectionString(server.oledb());
    connection.open();
    TArrivals arrivals;
    std::mutex cs;
    QList<double> times;
    TDervel sampler(&arrivals, cs);
    sampler.Period = 360000;
    for (int run = 0; run <= kRuns; ++run) {
        QEventLoop loop;
        arrivals.loop = &loop;
        QElapsedTimer t;
        t.start();
        sampler.StartMonitoring(DefaultSamplingQuery(), &connection);
        loop.exec();
        if (run > 0)
            times << t.nsecsElapsed() / 1e6;
    }
    std::lock_guard lock(cs);
    records.clear();
    for (const PMonitorRec r : sampler.Buffer)
        records << *r;
    return Median(times);
}

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

} // namespace

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir settings;
    TRegistry::SetDefaultLocation(settings.path());
    TMainForm form;
    form.resize(1500, 900);
    form.show();
    for (int n : {1000, 10000, 50000}) {
        QList<TMonitorRec> records;
        const double fetched = fetch(n, records);
        const double steady = arrival(form, records, false);
        const double growing = arrival(form, records, true);
        const double painted = paint(form);
        const double logged = logWrite(form, settings.filePath(QStringLiteral("bench.log")));
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
    }
    return 0;
}
