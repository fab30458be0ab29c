// What a team's setup costs: a snapshot of the default demo stored in PostgreSQL beside
// the same snapshot in a recording file (target: at most twice the file's time), an hour
// of the demo at 1 s in the database (target: at most 20 MB), a scrape of /metrics with 50
// servers (target: at most 5 ms), and one dervel-record recording 50 demo servers at 1 s
// into the database (target: at most 25 % of one core).

#include "benchserver.h"
#include "database/dbconnection.h"
#include "database/freetdsconfig.h"
#include "demo_workload.h"
#include "instance.h"
#include "metrics/metricsserver.h"
#include "metrics/metricsstate.h"
#include "pgstore/pgrecordingwriter.h"
#include "postgresserver.h"
#include "recorder/recorder.h"
#include "registry/registry.h"
#include "tds_server.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>

namespace {

// The demo on a clock the benchmark moves, sampled through the client stack; each
// snapshot goes to both stores, and only the stores' time is counted.
void storesSideBySide(TPostgresServer& APg, const QString& AFile, int ASeconds) {
    auto instance = std::make_shared<testserver::Instance>();
    double clock = 46000.5;
    instance->setClock([&clock] { return clock; });
    testserver::DemoWorkload demo(*instance, 7, 200);
    testserver::TdsServer server(instance);
    const quint16 port = server.start(0);
    TDbConnection connection;
    connection.setConnectionString(
        QStringLiteral("Provider=SQLOLEDB.1;Data Source=127.0.0.1,%1;User ID=sa;"
                       "Password=Dervel-2026")
            .arg(port));
    connection.open();
    const QString query = RecordingQuery(true);
    APg.createDatabase(QStringLiteral("hour"));
    const QString address = APg.uri(QStringLiteral("hour"));
    TRecordingInfo info;
    info.Server = QStringLiteral("Demo");
    qint64 fileNs = 0, pgNs = 0;
    {
        TRecordingWriter file(AFile, info);
        TPgRecordingWriter pg(address, info);
        // From the start of a UTC day, so the hour is one day's partition.
        const qint64 start = 1765411200000;
        QElapsedTimer t;
        for (int s = 0; s < ASeconds; ++s) {
            clock += 1.0 / 86400.0;
            demo.step(1.0);
            const TRecordedRows rows = SampleRecordedRows(connection, query, false);
            t.start();
            file.append(start + s * 1000LL, rows);
            fileNs += t.nsecsElapsed();
            t.start();
            pg.append(start + s * 1000LL, rows);
            pgNs += t.nsecsElapsed();
        }
    }
    const double fileMs = fileNs / 1e6 / ASeconds, pgMs = pgNs / 1e6 / ASeconds;
    Report(QStringLiteral("sqlite_store_ms_per_snapshot_demo"), fileMs, QStringLiteral("ms"));
    Report(QStringLiteral("pg_store_ms_per_snapshot_demo"), pgMs,
           QStringLiteral("ms (%1 of the file's; target <= 2)").arg(pgMs / fileMs, 0, 'f', 2));
    TPgConnection db(address);
    db.exec(QStringLiteral("VACUUM ANALYZE"));
    const TPgResult size = db.exec(QStringLiteral(
        "SELECT sum(pg_total_relation_size(c.oid)) FROM pg_inherits i JOIN pg_class c ON "
        "c.oid = i.inhrelid WHERE i.inhparent = 'dervel.snapshots_s1'::regclass"));
    Report(QStringLiteral("pg_mb_per_hour_demo_1s"),
           double(size.integer(0, 0)) / 1e6 * 3600.0 / ASeconds,
           QStringLiteral("MB (target <= 20)"));
}

// Figures of 50 servers as a demo snapshot gives them; scrapes over loopback, each a
// connection of its own as Prometheus makes them when keep-alive is off.
void scrape(int AServers, int AScrapes) {
    TMetricsState state;
    TServerFigures f;
    f.SessionsByStatus = {{QStringLiteral("running"), 20},
                          {QStringLiteral("sleeping"), 150},
                          {QStringLiteral("suspended"), 25},
                          {QStringLiteral("runnable"), 5}};
    f.Blocked = 3;
    f.LongestBlockingWaitS = 12.5;
    f.HeadBlockers = 1;
    f.OldestRequestS = 300;
    f.CpuMsPerS = 800;
    for (int i = 0; i < AServers; ++i) {
        state.sampled(QStringLiteral("Demo %1").arg(i + 1), f, 1765411200000, 40);
        state.setOpenAlerts(QStringLiteral("Demo %1").arg(i + 1),
                            {{QStringLiteral("blocking"), 1}});
    }
    TMetricsServer server(QStringLiteral("127.0.0.1:0"), state);
    QElapsedTimer t;
    t.start();
    qsizetype bytes = 0;
    for (int n = 0; n < AScrapes; ++n) {
        QTcpSocket s;
        s.connectToHost(QHostAddress::LocalHost, server.port());
        s.waitForConnected(2000);
        s.write("GET /metrics HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
        QByteArray reply;
        while (s.state() == QAbstractSocket::ConnectedState && s.waitForReadyRead(2000))
            reply += s.readAll();
        reply += s.readAll();
        bytes = reply.size();
    }
    Report(QStringLiteral("metrics_scrape_ms_%1_servers").arg(AServers),
           t.nsecsElapsed() / 1e6 / AScrapes,
           QStringLiteral("ms, %1 KB (target <= 5)").arg(bytes / 1024));
}

double processCpuSeconds(qint64 pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray text = stat.readAll();
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    return (fields.value(11).toDouble() + fields.value(12).toDouble()) /
           double(sysconf(_SC_CLK_TCK));
}

// dervel-record --all of 50 demo servers, each in a process of its own, into the database.
void recorderOfMany(TPostgresServer& APg, int AServers, int ASeconds) {
    const QString bin = QCoreApplication::applicationDirPath();
    std::vector<std::unique_ptr<TServerProcess>> processes;
    for (int i = 0; i < AServers; ++i)
        processes.push_back(std::make_unique<TServerProcess>(
            bin + QStringLiteral("/../testserver/dervel-testserver"),
            QStringList{QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--demo"),
                        QStringLiteral("--sessions"), QStringLiteral("200"),
                        QStringLiteral("--seed"), QString::number(i + 1)}));
    QTemporaryDir config;
    TRegistry::SetDefaultLocation(config.filePath(QStringLiteral("dervel")));
    {
        TRegistry reg;
        for (int i = 0; i < AServers; ++i) {
            reg.OpenKey(QStringLiteral("Software\\Dervel\\Servers\\{00000000-0000-4000-8000-%1}")
                            .arg(i + 1, 12, 10, QLatin1Char('0')),
                        true);
            reg.WriteString(QStringLiteral("Name"), QStringLiteral("Demo %1").arg(i + 1));
            reg.WriteString(QStringLiteral("ConnectionString"), processes[std::size_t(i)]->oledb());
            reg.WriteInteger(QStringLiteral("Order"), i);
            reg.CloseKey();
        }
    }
    APg.createDatabase(QStringLiteral("estate"));
    QProcess recorder;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
    recorder.setProcessEnvironment(env);
    recorder.setStandardErrorFile(QProcess::nullDevice());
    recorder.start(bin + QStringLiteral("/../src/record/dervel-record"),
                   {QStringLiteral("--all"), QStringLiteral("--out"),
                    APg.uri(QStringLiteral("estate")), QStringLiteral("--period"),
                    QStringLiteral("1s"), QStringLiteral("--metrics"),
                    QStringLiteral("127.0.0.1:0")});
    if (!recorder.waitForStarted())
        qFatal("dervel-record did not start");
    QThread::sleep(5); // every server connected and past its first, full snapshot
    const double before = processCpuSeconds(recorder.processId());
    QElapsedTimer wall;
    wall.start();
    QThread::sleep(ASeconds);
    const double cpu = processCpuSeconds(recorder.processId()) - before;
    const double elapsed = wall.nsecsElapsed() / 1e9;
    recorder.terminate();
    recorder.waitForFinished(30000);
    Report(QStringLiteral("recorder_cpu_%1_servers_1s").arg(AServers), 100.0 * cpu / elapsed,
           QStringLiteral("% of one core (target <= 25)"));
}

} // namespace

int main(int argc, char* argv[]) {
    if (ServeIfAsked(argc, argv))
        return 0;
    PrepareFreeTdsConfig();
    QCoreApplication app(argc, argv);
    TPostgresServer pg;
    if (!pg.error().isEmpty())
        qFatal("%s", qPrintable(pg.error()));
    QTemporaryDir dir;
    storesSideBySide(pg, dir.filePath(QStringLiteral("hour.dervelrec")), 1800);
    scrape(50, 200);
    recorderOfMany(pg, 50, argc > 1 ? std::atoi(argv[1]) : 30);
    return 0;
}
