// Blocking episodes of recordings dervel-record makes of a scripted chain on the test
// server, into a file and into a PostgreSQL database: the episodes found are the scripted
// ones (start and end within a period, head, how many waited, the longest wait), the one
// still going when the recorder stops is open, and --episodes prints them as CSV.

#include "episodes/episodefinder.h"
#include "pgstore/pgrecordingreader.h"
#include "postgresserver.h"
#include "recorderprocesses.h"
#include "registry/registry.h"
#include "scripting.h"
#include "testserverfixture.h"

#include <QDateTime>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::Literals::StringLiterals;

class TestRecordEpisodes : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void scriptedChains_data();
    void scriptedChains();

private:
    QTemporaryDir dir;
    std::unique_ptr<TPostgresServer> pg;
    TRecorderProcesses processes{dir.path()};
};

void TestRecordEpisodes::initTestCase() {
    QVERIFY(dir.isValid());
    TRegistry::SetDefaultLocation(dir.filePath(u"dervel"_s));
}

void TestRecordEpisodes::scriptedChains_data() {
    QTest::addColumn<bool>("database");
    QTest::newRow("file") << false;
    QTest::newRow("database") << true;
}

void TestRecordEpisodes::scriptedChains() {
    QFETCH(bool, database);
    constexpr qint64 period = 200;
    TTestServer server;
    auto& instance = server.instance();
    const QString name = u"127.0.0.1,%1"_s.arg(server.port()); // the recording's, by Data Source
    QString out = dir.filePath(u"chains.dervelrec"_s);
    if (database) {
        if (!pg)
            pg = std::make_unique<TPostgresServer>();
        QVERIFY2(pg->error().isEmpty(), qPrintable(pg->error()));
        QVERIFY(pg->createDatabase(u"episodes"_s));
        out = pg->uri(u"episodes"_s);
    }
    const auto open = [&]() -> std::unique_ptr<TRecordingSource> {
        if (database)
            return std::make_unique<TPgRecordingReader>(out, name);
        return std::make_unique<TRecordingReader>(out);
    };
    const auto snapshots = [&] {
        try {
            return open()->count();
        } catch (const ERecordingError&) {
            return 0;
        }
    };
    const auto after = [&](int more) {
        const int target = snapshots() + more;
        QTRY_VERIFY_WITH_TIMEOUT(snapshots() >= target, 20000);
    };

    testserver::ScriptedSession head;
    head.loginName = "report_user";
    head.hostName = "WS-07";
    head.programName = "Month-end report";
    head.openTransactionCount = 1;
    const int headId = instance.addSession(head);
    const int first = instance.addSession({});
    const int second = instance.addSession({});
    testserver::ScriptedSession other;
    other.programName = "Nightly load";
    const int otherId = instance.addSession(other);
    const int third = instance.addSession({});
    const std::string resource = "KEY: 5:72057594043236352 (8194443284a0)";

    QProcess* p = processes.start({u"--connection"_s, TRecorderProcesses::connection(server.port()),
                                   u"--out"_s, out, u"--period"_s, u"%1ms"_s.arg(period)});
    QVERIFY(p->waitForStarted());
    after(3);
    const qint64 began = QDateTime::currentMSecsSinceEpoch();
    instance.addRequests({{.sessionId = first,
                           .status = "suspended",
                           .waitType = "LCK_M_X",
                           .waitTime = 40000,
                           .waitResource = resource,
                           .blockingSessionId = headId},
                          {.sessionId = second,
                           .status = "suspended",
                           .waitType = "LCK_M_S",
                           .waitTime = 12000,
                           .waitResource = resource,
                           .blockingSessionId = headId}});
    after(8);
    const qint64 ended = QDateTime::currentMSecsSinceEpoch();
    instance.removeRequest(first, 0);
    instance.removeRequest(second, 0);
    const qint64 removed = QDateTime::currentMSecsSinceEpoch();
    after(4);
    const qint64 otherBegan = QDateTime::currentMSecsSinceEpoch();
    instance.addRequest({.sessionId = third,
                         .status = "suspended",
                         .waitType = "LCK_M_U",
                         .waitTime = 3000,
                         .blockingSessionId = otherId});
    after(4);
    p->terminate();
    QVERIFY(p->waitForFinished(10000));
    QCOMPARE(p->exitCode(), 0);

    const std::vector<TBlockingEpisode> episodes = FindEpisodes(*open());
    QCOMPARE(episodes.size(), std::size_t(2));
    const TBlockingEpisode& e = episodes[0];
    QCOMPARE(e.HeadSPID, headId);
    QCOMPARE(e.HeadLogin, u"report_user"_s);
    QCOMPARE(e.HeadHost, u"WS-07"_s);
    QCOMPARE(e.HeadProgram, u"Month-end report"_s);
    QCOMPARE(e.HeadOpenTran, 1);
    QCOMPARE(e.MostWaiting, 2);
    QCOMPARE(e.Waiters, (QList<int>{first, second}));
    QCOMPARE(e.LongestWait, 40000);
    QCOMPARE(e.Resources, QStringList{QString::fromStdString(resource)});
    QVERIFY(!e.Open);
    // The first snapshot taken after the chain began, the last before it ended: within a
    // period of either, give or take the sample's own time. A snapshot is stamped when the
    // server's answer came, so the last that still read the chain may be stamped a little
    // after the chain went.
    QVERIFY2(e.Start >= began && e.Start <= began + period + 150,
             qPrintable(u"%1 ms after it began"_s.arg(e.Start - began)));
    QVERIFY2(e.End <= removed + 150 && e.End >= ended - period - 150,
             qPrintable(u"%1 ms before it ended"_s.arg(ended - e.End)));
    const TBlockingEpisode& still = episodes[1];
    QCOMPARE(still.HeadSPID, otherId);
    QCOMPARE(still.HeadProgram, u"Nightly load"_s);
    QVERIFY(still.Open);
    QVERIFY(still.Start >= otherBegan && still.Start <= otherBegan + period + 150);
    QCOMPARE(still.Waiters, QList<int>{third});

    // The file keeps the ended one with the recording; the database's are found on reading.
    std::vector<TRecordedEpisode> stored;
    qint64 through = -1;
    QCOMPARE(open()->readEpisodes(stored, through), !database);
    if (!database) {
        QCOMPARE(stored.size(), std::size_t(1));
        QCOMPARE(stored[0].Start, e.Start);
        QCOMPARE(stored[0].End, e.End);
    }

    // --episodes: the same as CSV, a header and a line each.
    QStringList args{u"--episodes"_s, out};
    if (database)
        args << u"--server"_s << name;
    QProcess* csv = processes.start(args);
    QVERIFY(csv->waitForFinished(20000));
    QCOMPARE(csv->exitCode(), 0);
    const QStringList lines =
        QString::fromUtf8(csv->readAllStandardOutput()).split(u"\r\n"_s, Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 3);
    QVERIFY(lines[0].startsWith(u"start,end,open,"_s));
    const QStringList row = lines[1].split(u',');
    QCOMPARE(QDateTime::fromString(row[0], Qt::ISODateWithMs).toMSecsSinceEpoch(), e.Start);
    QVERIFY(row[0].endsWith(u'Z'));
    QCOMPARE(row[2], u"0"_s);
    QCOMPARE(row[5], QString::number(headId));
    QCOMPARE(row[7], u"report_user"_s);
    QCOMPARE(row[13], u"2"_s);
    QCOMPARE(row[15], u"40000"_s);
    QCOMPARE(lines[2].split(u',')[2], u"1"_s);
}

QTEST_GUILESS_MAIN(TestRecordEpisodes)
#include "tst_recordepisodes.moc"
