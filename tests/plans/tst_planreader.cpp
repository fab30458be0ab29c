// Reading a running request's plan from the test server over ODBC: the live plan where
// the server keeps one, else the statement's cached plan as text; a plan too deep for
// the xml type (6335) through the text path; an ended request, a request without a
// plan, a login without VIEW SERVER STATE; one read at a time; the .sqlplan file.

#include "database/dbconnection.h"
#include "plans/planfetcher.h"
#include "plans/planreader.h"
#include "plans/sqlplanfile.h"
#include "scripting.h"
#include "showplan.h"
#include "testserverfixture.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using namespace Qt::Literals::StringLiterals;

namespace {

const std::string kVersion = "Microsoft SQL Server 2019 (RTM-CU22) - 15.0.4322.2 (X64)";

// A plan of `levels` operators one above the other, over a scan; its text carries
// Cyrillic and a character outside the BMP, which must survive the trip.
std::string plan(int levels, bool live) {
    testserver::PlanOperator op;
    op.physicalOp = op.logicalOp = "Clustered Index Scan";
    op.object = testserver::PlanTable{"Sales", "dbo", "Orders", "PK_Orders"};
    op.estimateRows = 1000;
    if (live)
        op.actualRows = 250;
    for (int i = 0; i < levels; ++i) {
        testserver::PlanOperator compute;
        compute.physicalOp = compute.logicalOp = "Compute Scalar";
        compute.estimateRows = 1000;
        if (live)
            compute.actualRows = 250;
        compute.children = {op};
        op = compute;
    }
    testserver::PlanStatement s;
    s.text = "SELECT N'\xd0\x97\xd0\xb0\xd0\xba\xd0\xb0\xd0\xb7 \xf0\x9d\x84\x9e' FROM dbo.Orders";
    s.root = op;
    return testserver::showplanXml({s}, kVersion);
}

} // namespace

class TestPlanReader : public QObject {
    Q_OBJECT

    std::unique_ptr<TTestServer> FServer;
    std::shared_ptr<TDbConnection> FConnection;

    testserver::Instance& instance() { return FServer->instance(); }

    void addRequest(const std::optional<std::string>& cached,
                    const std::optional<std::string>& live) {
        testserver::ScriptedSession s;
        s.sessionId = 60;
        s.status = "running";
        instance().addSession(s);
        testserver::ScriptedRequest r;
        r.sessionId = 60;
        r.sqlText = "SET NOCOUNT ON;\r\nSELECT * FROM dbo.Orders";
        r.statementStartOffset = 34;
        r.plan = cached;
        r.livePlan = live;
        instance().addRequest(r);
    }

private slots:
    void init() {
        FServer = std::make_unique<TTestServer>();
        FConnection = std::make_shared<TDbConnection>();
        FConnection->setConnectionString(FServer->oledb());
        FConnection->open();
    }

    void cleanup() {
        FConnection.reset();
        FServer.reset();
    }

    void outcomes_data() {
        QTest::addColumn<bool>("withCached");
        QTest::addColumn<bool>("withLive");
        QTest::addColumn<int>("levels");
        QTest::addColumn<int>("outcome");
        QTest::addColumn<int>("source");
        QTest::addColumn<QString>("liveError");
        const int live = int(TPlanSource::Live);
        const int cached = int(TPlanSource::Cached);
        QTest::newRow("live, with counters")
            << true << true << 3 << int(TPlanRead::Plan) << live << QString();
        QTest::newRow("no live plan: the cached one")
            << true << false << 3 << int(TPlanRead::Plan) << cached << QString();
        QTest::newRow("too deep for xml: the cached one as text")
            << true << true << 70 << int(TPlanRead::Plan) << cached
            << "XML datatype instance has too many levels of nested nodes. Maximum allowed depth "
               "is 128 levels.";
        QTest::newRow("too deep and not cached: the server's error")
            << false << true << 70 << int(TPlanRead::Failed) << cached
            << "XML datatype instance has too many levels of nested nodes. Maximum allowed depth "
               "is 128 levels.";
        QTest::newRow("neither") << false << false << 3 << int(TPlanRead::NoPlan) << cached
                                 << QString();
    }

    void outcomes() {
        QFETCH(bool, withCached);
        QFETCH(bool, withLive);
        QFETCH(int, levels);
        QFETCH(int, outcome);
        QFETCH(int, source);
        QFETCH(QString, liveError);
        const std::string cachedXml = plan(levels, false);
        const std::string liveXml = plan(levels, true);
        addRequest(withCached ? std::optional(cachedXml) : std::nullopt,
                   withLive ? std::optional(liveXml) : std::nullopt);

        const TPlanRead read = ReadRequestPlan(*FConnection, 60, 0);
        QCOMPARE(int(read.Outcome), outcome);
        QVERIFY2(read.LiveError.endsWith(liveError), qPrintable(read.LiveError));
        if (outcome == TPlanRead::Failed)
            QCOMPARE(read.Error, read.LiveError);
        if (outcome != TPlanRead::Plan)
            return;
        QCOMPARE(int(read.Source), source);
        const std::string& sent = source == int(TPlanSource::Live) ? liveXml : cachedXml;
        QCOMPARE(read.Xml, QString::fromStdString(sent));
    }

    void anEndedRequestIsNoFailure() {
        addRequest(plan(2, false), plan(2, true));
        instance().removeRequest(60, 0);
        const TPlanRead read = ReadRequestPlan(*FConnection, 60, 0);
        QCOMPARE(read.Outcome, TPlanRead::NoRequest);
        QVERIFY(read.Error.isEmpty());
    }

    void withoutServerStateTheServersWords() {
        addRequest(plan(2, false), plan(2, true));
        instance().addLogin("watcher", "pw", {false, false});
        TDbConnection limited;
        limited.setConnectionString(FServer->oledb(u"watcher"_s, u"pw"_s));
        limited.open();
        const TPlanRead read = ReadRequestPlan(limited, 60, 0);
        QCOMPARE(read.Outcome, TPlanRead::Failed);
        QVERIFY2(read.Error.endsWith(u"VIEW SERVER STATE permission was denied on object 'server', "
                                     u"database 'master'."_s),
                 qPrintable(read.Error));
    }

    // The file holds exactly the UTF-16 the server sent, after the byte order mark.
    void theSavedFileIsWhatTheServerSent() {
        const std::string sent = plan(3, true);
        addRequest(std::nullopt, sent);
        const TPlanRead read = ReadRequestPlan(*FConnection, 60, 0);
        QCOMPARE(read.Outcome, TPlanRead::Plan);
        QTemporaryDir dir;
        const QString path = dir.filePath(u"plan.sqlplan"_s);
        QString error;
        QVERIFY2(SaveSqlPlan(path, read.Xml, error), qPrintable(error));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString expected = QString::fromStdString(sent);
        QByteArray wire("\xFF\xFE", 2);
        for (const QChar c : expected) {
            wire.append(char(c.unicode() & 0xFF));
            wire.append(char(c.unicode() >> 8));
        }
        QCOMPARE(file.readAll(), wire);
    }

    void aFileThatCannotBeWrittenSaysWhy() {
        QString error;
        QVERIFY(!SaveSqlPlan(u"/nonexistent-folder/plan.sqlplan"_s, u"<x/>"_s, error));
        QVERIFY(!error.isEmpty());
    }

    void oneReadAtATime() {
        addRequest(plan(2, false), plan(2, true));
        TPlanFetcher fetcher;
        QSignalSpy done(&fetcher, &TPlanFetcher::Done);
        // The sampler's lock held: the read waits for it, as it would for a sample.
        std::unique_lock sampling(FConnection->commandLock());
        QVERIFY(fetcher.Read(FConnection, 60, 0));
        QVERIFY(fetcher.Busy());
        QVERIFY(!fetcher.Read(FConnection, 60, 0));
        QCOMPARE(done.count(), 0);
        sampling.unlock();
        QTRY_COMPARE(done.count(), 1);
        QVERIFY(!fetcher.Busy());
        QCOMPARE(done.at(0).at(0).value<TPlanRead>().Source, TPlanSource::Live);
        // Once answered, the next read may start.
        QVERIFY(fetcher.Read(FConnection, 60, 0));
        QTRY_COMPARE(done.count(), 2);
    }
};

QTEST_GUILESS_MAIN(TestPlanReader)
#include "tst_planreader.moc"
