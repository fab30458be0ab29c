// What recording costs: the size of an hour of the default demo (200 sessions) sampled
// once a second, and dervel-record's CPU share while it records the demo at 1 s.
// Targets: at most 20 MB an hour; at most 5 % of one core.

#include "benchserver.h"
#include "database/dbconnection.h"
#include "database/freetdsconfig.h"
#include "demo_workload.h"
#include "instance.h"
#include "recorder/recorder.h"
#include "tds_server.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

namespace {

// Sampled through the client stack against a demo on a clock the benchmark moves, so
// that an hour's worth takes a few seconds.
double megabytesPerHour(const QString& path, int simulatedSeconds) {
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
    {
        TRecordingInfo info;
        info.Server = QStringLiteral("Demo");
        TRecordingWriter writer(path, info);
        const qint64 start = 1765400000000;
        for (int s = 0; s < simulatedSeconds; ++s) {
            clock += 1.0 / 86400.0;
            demo.step(1.0);
            writer.append(start + s * 1000LL, SampleRecordedRows(connection, query, false));
        }
    } // closing checkpoints the journal into the file
    return double(QFileInfo(path).size()) / 1e6 * 3600.0 / simulatedSeconds;
}

double processCpuSeconds(qint64 pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    // The fields after the command's closing parenthesis: utime and stime are 14 and 15.
    const QByteArray text = stat.readAll();
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    const double ticks = double(sysconf(_SC_CLK_TCK));
    return (fields.value(11).toDouble() + fields.value(12).toDouble()) / ticks;
}

// dervel-record as it runs for real, against the demo server in a process of its own.
double recorderCpuShare(const QString& path, int seconds) {
    const QString bin = QCoreApplication::applicationDirPath();
    QProcess server;
    server.start(bin + QStringLiteral("/../testserver/dervel-testserver"),
                 {QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--demo")});
    if (!server.waitForReadyRead(30000))
        qFatal("the demo server did not start");
    const QString port = QString::fromUtf8(server.readLine()).trimmed().section(u':', -1);
    QProcess recorder;
    recorder.start(bin + QStringLiteral("/../src/record/dervel-record"),
                   {QStringLiteral("--connection"),
                    QStringLiteral("Provider=SQLOLEDB.1;Data Source=127.0.0.1,%1;User ID=sa;"
                                   "Password=Dervel-2026")
                        .arg(port),
                    QStringLiteral("--out"), path, QStringLiteral("--period"),
                    QStringLiteral("1s")});
    if (!recorder.waitForStarted())
        qFatal("dervel-record did not start");
    QThread::sleep(2); // connected and past its first, full snapshot
    const double before = processCpuSeconds(recorder.processId());
    QElapsedTimer wall;
    wall.start();
    QThread::sleep(seconds);
    const double cpu = processCpuSeconds(recorder.processId()) - before;
    const double elapsed = wall.nsecsElapsed() / 1e9;
    recorder.terminate();
    recorder.waitForFinished(10000);
    server.terminate();
    server.waitForFinished(10000);
    return 100.0 * cpu / elapsed;
}

} // namespace

int main(int argc, char* argv[]) {
    PrepareFreeTdsConfig();
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    Report(QStringLiteral("recording_mb_per_hour_demo_1s"),
           megabytesPerHour(dir.filePath(QStringLiteral("hour.dervelrec")), 1800),
           QStringLiteral("MB (target <= 20)"));
    Report(QStringLiteral("recorder_cpu_demo_1s"),
           recorderCpuShare(dir.filePath(QStringLiteral("cpu.dervelrec")), 30),
           QStringLiteral("% of one core (target <= 5)"));
    return 0;
}
