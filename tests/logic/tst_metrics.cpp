// The recorder's figures of a snapshot, and /metrics as Prometheus reads it: promtool
// lints every exposition the tests make.

#include "metrics/metricsserver.h"
#include "metrics/metricsstate.h"
#include "metrics/serverfigures.h"

#include <QProcess>
#include <QTest>

using namespace Qt::Literals::StringLiterals;

namespace {

struct TRow {
    int SPID;
    const char* Status;
    int Blocking = 0;
    int WaitMs = 0;
    int ElapsedMs = 0;
    bool User = true;
    int Cpu = 0;
    double Login = 46000.25;
};

TRecordedRows rowsOf(const QList<TRow>& ARows) {
    TRecordedRows rows;
    for (const TRow& r : ARows) {
        TRecordedRow row;
        row.Rec.SPID = r.SPID;
        row.Rec.Status = QString::fromLatin1(r.Status);
        row.Rec.Blocking = r.Blocking;
        row.Rec.WaitTime = r.WaitMs;
        row.Rec.ElapsedTime = r.ElapsedMs;
        row.Rec.IsUser = r.User;
        row.Rec.CPU = r.Cpu;
        row.Rec.LoginTime = r.Login;
        rows.push_back(row);
    }
    return rows;
}

// promtool's verdict on an exposition: empty when it passes.
QString lint(const QByteArray& AText) {
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(u"promtool"_s, {u"check"_s, u"metrics"_s});
    if (!p.waitForStarted(10000))
        return u"promtool does not start; scripts/deps.sh installs prometheus"_s;
    p.write(AText);
    p.closeWriteChannel();
    p.waitForFinished(30000);
    return p.exitCode() == 0 ? QString() : QString::fromUtf8(p.readAll());
}

} // namespace

Q_DECLARE_METATYPE(TServerFigures)

class TestMetrics : public QObject {
    Q_OBJECT
private slots:
    void figures_data();
    void figures();
    void cpuPerSecond();
    void exposition();
    void listenAddresses_data();
    void listenAddresses();
};

void TestMetrics::figures_data() {
    QTest::addColumn<QList<TRow>>("rows");
    QTest::addColumn<int>("blocked");
    QTest::addColumn<double>("longestWait");
    QTest::addColumn<int>("heads");
    QTest::addColumn<double>("oldest");
    QTest::addColumn<QString>("statuses");
    QTest::newRow("quiet") << QList<TRow>{{51, "sleeping"},
                                          {52, "sleeping"},
                                          {1, "background", 0, 0, 0, false}}
                           << 0 << 0.0 << 0 << 0.0 << u"background=1 sleeping=2"_s;
    QTest::newRow("a chain of three") << QList<TRow>{{60, "sleeping"},
                                                     {61, "suspended", 60, 4000, 4100},
                                                     {62, "suspended", 61, 9500, 9600}}
                                      << 2 << 9.5 << 1 << 9.6 << u"sleeping=1 suspended=2"_s;
    QTest::newRow("two heads") << QList<TRow>{{60, "running", 0, 0, 120000},
                                              {61, "suspended", 60, 1000},
                                              {70, "sleeping"},
                                              {71, "suspended", 70, 2000}}
                               << 2 << 2.0 << 2 << 120.0 << u"running=1 sleeping=1 suspended=2"_s;
    QTest::newRow("a circle has no head")
        << QList<TRow>{{80, "suspended", 81, 500}, {81, "suspended", 80, 700}} << 2 << 0.7 << 0
        << 0.0 << u"suspended=2"_s;
    QTest::newRow("a session waiting on itself is not blocked")
        << QList<TRow>{{90, "suspended", 90, 3000, 3000}} << 0 << 0.0 << 0 << 3.0
        << u"suspended=1"_s;
    // Several requests of one session (MARS) count it once; a system session's request
    // and a sleeping session's elapsed time are no user request running.
    QTest::newRow("MARS, system and sleeping")
        << QList<TRow>{{55, "running", 0, 0, 5000},
                       {55, "suspended", 0, 0, 7000},
                       {3, "background", 0, 0, 900000, false},
                       {56, "sleeping", 0, 0, 600000}}
        << 0 << 0.0 << 0 << 7.0 << u"background=1 running=1 sleeping=1"_s;
}

void TestMetrics::figures() {
    QFETCH(QList<TRow>, rows);
    QFETCH(int, blocked);
    QFETCH(double, longestWait);
    QFETCH(int, heads);
    QFETCH(double, oldest);
    QFETCH(QString, statuses);
    TSessionCpu cpu;
    const TServerFigures f = MeasureSnapshot(rowsOf(rows), 1000, {}, -1, cpu);
    QCOMPARE(f.Blocked, blocked);
    QCOMPARE(f.LongestBlockingWaitS, longestWait);
    QCOMPARE(f.HeadBlockers, heads);
    QCOMPARE(f.OldestRequestS, oldest);
    QStringList byStatus;
    for (auto it = f.SessionsByStatus.cbegin(); it != f.SessionsByStatus.cend(); ++it)
        byStatus << u"%1=%2"_s.arg(it.key()).arg(it.value());
    QCOMPARE(byStatus.join(u' '), statuses);
    QCOMPARE(f.CpuMsPerS, -1.0); // nothing to count from yet
}

void TestMetrics::cpuPerSecond() {
    TSessionCpu first, second, third;
    MeasureSnapshot(
        rowsOf({{51, "running", 0, 0, 0, true, 1000}, {52, "running", 0, 0, 0, true, 500}}), 10000,
        {}, -1, first);
    // Two seconds on: 51 gained 600 ms; 52 is a new login behind the same SPID (its
    // counter started again) and 53 is new: neither counts.
    const TServerFigures f = MeasureSnapshot(rowsOf({{51, "running", 0, 0, 0, true, 1600},
                                                     {52, "running", 0, 0, 0, true, 100, 46001.0},
                                                     {53, "running", 0, 0, 0, true, 4000}}),
                                             12000, first, 10000, second);
    QCOMPARE(f.CpuMsPerS, 300.0);
    // A counter that went down gains nothing.
    const TServerFigures g =
        MeasureSnapshot(rowsOf({{51, "running", 0, 0, 0, true, 10}}), 13000, second, 12000, third);
    QCOMPARE(g.CpuMsPerS, 0.0);
}

void TestMetrics::exposition() {
    TMetricsState state;
    state.addServer(u"never answered"_s);
    TServerFigures f;
    f.SessionsByStatus = {{u"running"_s, 3}, {u"dormant"_s, 1}};
    f.Blocked = 2;
    f.LongestBlockingWaitS = 41.5;
    f.HeadBlockers = 1;
    f.OldestRequestS = 600;
    f.CpuMsPerS = 250;
    const QString odd = u"db\\1 \"prod\"\nwest"_s;
    state.sampled(odd, f, 1'700'000'000'500, 120);
    state.sampled(u"Склад"_s, f, 1'700'000'000'000, 80);
    state.setOpenAlerts(u"Склад"_s, {{u"blocking"_s, 2}, {u"long-request"_s, 0}});
    QByteArray text = state.render();
    QString wrong = lint(text);
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong + u"\n"_s + QString::fromUtf8(text)));
    QVERIFY2(text.contains("dervel_blocked_sessions{server=\"db\\\\1 \\\"prod\\\"\\nwest\"} 2\n"),
             text.constData());
    QVERIFY(text.contains("dervel_sessions{server=\"Склад\",status=\"dormant\"} 1\n"));
    // The usual statuses show at 0 rather than vanish.
    QVERIFY(text.contains("dervel_sessions{server=\"Склад\",status=\"suspended\"} 0\n"));
    QVERIFY(text.contains("dervel_blocking_wait_seconds_max{server=\"Склад\"} 41.5\n"));
    QVERIFY(text.contains("dervel_cpu_seconds_per_second{server=\"Склад\"} 0.25\n"));
    QVERIFY(text.contains("dervel_last_sample_timestamp_seconds{server=\"Склад\"} 1700000000\n"));
    QVERIFY(text.contains("dervel_open_alerts{server=\"Склад\",rule=\"blocking\"} 2\n"));
    QVERIFY(text.contains("dervel_up{server=\"never answered\"} 0\n"));
    QVERIFY(!text.contains("dervel_blocked_sessions{server=\"never answered\"}"));

    // A failed round: down, one more error, no figures of the time before.
    state.failed(u"Склад"_s, 3000);
    state.failed(u"Склад"_s, 3000);
    text = state.render();
    wrong = lint(text);
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
    QVERIFY(text.contains("dervel_up{server=\"Склад\"} 0\n"));
    QVERIFY(text.contains("dervel_sample_errors_total{server=\"Склад\"} 2\n"));
    QVERIFY(!text.contains("dervel_blocked_sessions{server=\"Склад\"}"));
    QVERIFY(text.contains("dervel_last_sample_timestamp_seconds{server=\"Склад\"} 1700000000\n"));
    QVERIFY(text.contains("dervel_blocked_sessions{server=\"db\\\\1 \\\"prod\\\"\\nwest\"} 2\n"));
}

void TestMetrics::listenAddresses_data() {
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("host"); // empty: refused
    QTest::addColumn<QString>("port");
    QTest::newRow("IPv4") << u"127.0.0.1:9471"_s << u"127.0.0.1"_s << u"9471"_s;
    QTest::newRow("a name") << u"monitor.example.com:80"_s << u"monitor.example.com"_s << u"80"_s;
    QTest::newRow("IPv6 in brackets") << u"[::1]:9471"_s << u"::1"_s << u"9471"_s;
    // Listening everywhere is said, never implied.
    QTest::newRow("no host") << u":9471"_s << QString() << QString();
    QTest::newRow("no port") << u"127.0.0.1"_s << QString() << QString();
    QTest::newRow("IPv6 bare") << u"::1:9471"_s << QString() << QString();
    QTest::newRow("a port too large") << u"127.0.0.1:65536"_s << QString() << QString();
}

void TestMetrics::listenAddresses() {
    QFETCH(QString, address);
    QFETCH(QString, host);
    QFETCH(QString, port);
    const auto parts = SplitListenAddress(address);
    QCOMPARE(parts.has_value(), !host.isEmpty());
    if (parts) {
        QCOMPARE(parts->first, host);
        QCOMPARE(parts->second, port);
    }
}

QTEST_GUILESS_MAIN(TestMetrics)
#include "tst_metrics.moc"
