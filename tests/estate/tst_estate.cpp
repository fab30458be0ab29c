// The estate's summary: the query against the test server's session views, the figures
// it makes, and the pool that samples many servers without one holding up another.

#include "database/dbconnection.h"
#include "estate/estatesampler.h"
#include "estate/serversummary.h"
#include "scripting.h"
#include "testserverfixture.h"

#include <QElapsedTimer>
#include <QTest>

namespace {

std::shared_ptr<TDbConnection> connectTo(TTestServer& server) {
    auto c = std::make_shared<TDbConnection>();
    c->setConnectionString(server.oledb());
    c->open();
    return c;
}

TSummaryRead readNow(TDbConnection& c, TSessionNames* names = nullptr) {
    TSessionNames fresh;
    std::optional<TSummaryRead> read = QuerySummary(c, 5, names ? *names : fresh);
    if (!read)
        qFatal("the test's own connection was busy");
    return *read;
}

// What the sampler reported, gathered on the test's thread as a window would get it.
class TArrivals : public QObject {
public:
    explicit TArrivals(TEstateSampler& sampler) {
        connect(&sampler, &TEstateSampler::summaryArrived, this,
                [this](const QUuid& id, const TServerSummary& s) {
                    FAll.append({id, s});
                });
    }
    QList<QPair<QUuid, TServerSummary>> FAll;
};

TServerSummary lastFor(const TArrivals& spy, const QUuid& id) {
    for (qsizetype i = spy.FAll.size() - 1; i >= 0; --i)
        if (spy.FAll.at(i).first == id)
            return spy.FAll.at(i).second;
    return {};
}

int countFor(const TArrivals& spy, const QUuid& id) {
    int n = 0;
    for (const auto& arrival : spy.FAll)
        n += arrival.first == id;
    return n;
}

int validFor(const TArrivals& spy, const QUuid& id) {
    int n = 0;
    for (const auto& arrival : spy.FAll)
        n += arrival.first == id && arrival.second.Error.isEmpty();
    return n;
}

} // namespace

class TestEstate : public QObject {
    Q_OBJECT
private slots:
    void summaryOfAnInstance();
    void blockersNamedOncePerSession();
    void cpuPerSecond_data();
    void cpuPerSecond();
    void snapshotSummary();
    void samplerWatchesEachServer();
    void aHungServerDelaysNobody();
    void busyConnectionIsSkippedNotAwaited();
};

// A head blocker asleep in its transaction, two levels behind it (one waiting 40 s), a
// request of a system session and one running user request: what the list shows of it.
void TestEstate::summaryOfAnInstance() {
    TTestServer server;
    auto& instance = server.instance();
    const auto connection = connectTo(server);
    const TSummaryRead before = readNow(*connection);

    testserver::ScriptedSession user;
    user.openTransactionCount = 1;
    user.loginName = "report_user";
    user.hostName = "WS-07";
    user.programName = "Month-end report";
    const int head = instance.addSession(user);
    const int second = instance.addSession(testserver::ScriptedSession{});
    const int third = instance.addSession(testserver::ScriptedSession{});
    const int busy = instance.addSession(testserver::ScriptedSession{});
    instance.addRequest({.sessionId = second,
                         .status = "suspended",
                         .waitType = "LCK_M_X",
                         .waitTime = 40000,
                         .blockingSessionId = head,
                         .cpuTime = 10});
    instance.addRequest({.sessionId = third,
                         .status = "suspended",
                         .waitType = "LCK_M_S",
                         .waitTime = 5000,
                         .blockingSessionId = second,
                         .cpuTime = 20});
    instance.addRequest({.sessionId = busy, .cpuTime = 300, .totalElapsedTime = 900000});

    const TSummaryRead read = readNow(*connection);
    QCOMPARE(read.Sessions, before.Sessions + 4);
    QCOMPARE(read.UserSessions, before.UserSessions + 4);
    const TServerSummary s = Summarize(read, 1000, nullptr, 0);
    QVERIFY(s.Valid);
    QCOMPARE(s.Running - Summarize(before, 0, nullptr, 0).Running, 3);
    QCOMPARE(s.Blocked, 2);
    QCOMPARE(s.HeadBlockers, 1);
    QCOMPARE(s.LongestWaitMs, 40000);
    QCOMPARE(s.CpuPerSec, -1.0); // one read gives no rate
    QCOMPARE(EstateLevel(s), TEstateLevel::Blocking);
    // What the alert rules read: the head, asleep without a request, named by its session;
    // both sessions behind it; the oldest user request first.
    QCOMPARE(s.Chains.size(), 1);
    QCOMPARE(s.Chains[0].Head.Spid, head);
    QCOMPARE(s.Chains[0].Head.Login, QStringLiteral("report_user"));
    QCOMPARE(s.Chains[0].Head.Host, QStringLiteral("WS-07"));
    QCOMPARE(s.Chains[0].Head.Program, QStringLiteral("Month-end report"));
    QVERIFY(s.Chains[0].Head.LoginTime > 0);
    QCOMPARE(s.Chains[0].Waiting, 2);
    QCOMPARE(s.Chains[0].LongestWaitMs, 40000);
    QVERIFY(!s.UserRequests.isEmpty());
    QCOMPARE(s.UserRequests[0].Session.Spid, busy);
    QCOMPARE(s.UserRequests[0].ElapsedMs, 900000);
    QCOMPARE(s.UserRequests[0].Session.Command, QStringLiteral("SELECT"));
    QCOMPARE(s.UserRequests[0].Session.Database, QStringLiteral("master"));
    // Under 30 s of waiting the row is not coloured for it.
    instance.updateRequest(second, 0, {{"wait_time", "29000"}});
    QCOMPARE(EstateLevel(Summarize(readNow(*connection), 1000, nullptr, 0)), TEstateLevel::Quiet);
}

// A blocker's names are asked for when it first holds someone up, and again only for
// another session behind its SPID.
void TestEstate::blockersNamedOncePerSession() {
    TTestServer server;
    auto& instance = server.instance();
    const auto connection = connectTo(server);
    testserver::ScriptedSession holder;
    holder.loginName = "etl";
    holder.programName = "Nightly load";
    const int head = instance.addSession(holder);
    const int waiter = instance.addSession(testserver::ScriptedSession{});
    instance.addRequest({.sessionId = waiter,
                         .status = "suspended",
                         .waitType = "LCK_M_X",
                         .waitTime = 1000,
                         .blockingSessionId = head});
    const auto headOf = [](const TSummaryRead& read) {
        const TServerSummary s = Summarize(read, 1000, nullptr, 0);
        return s.Chains.isEmpty() ? TSummarySession{} : s.Chains[0].Head;
    };

    TSessionNames names;
    QCOMPARE(headOf(readNow(*connection, &names)).Login, QStringLiteral("etl"));
    QCOMPARE(names.size(), 1);
    // Known now: a changed name on the server is not asked for again...
    instance.updateSession(head, {{"login_name", std::string("etl2")}});
    TSummaryRead again = readNow(*connection, &names);
    QVERIFY(UnnamedSessions(again, names).isEmpty());
    QCOMPARE(headOf(again).Login, QStringLiteral("etl"));
    QCOMPARE(headOf(again).Program, QStringLiteral("Nightly load"));
    // ...but another session behind the same SPID (another login time) is.
    instance.updateSession(head, {{"login_time", instance.now() + 0.5}});
    QCOMPARE(headOf(readNow(*connection, &names)).Login, QStringLiteral("etl2"));
    // A session that holds nobody up any more is forgotten.
    instance.removeRequest(waiter, 0);
    QVERIFY(headOf(readNow(*connection, &names)).Login.isEmpty());
    QVERIFY(names.isEmpty());
}

void TestEstate::cpuPerSecond_data() {
    QTest::addColumn<QList<TSummaryRequest>>("before");
    QTest::addColumn<QList<TSummaryRequest>>("after");
    QTest::addColumn<double>("expected"); // ms per second, over half a second
    const TSummaryRequest a{.SessionId = 51, .StartTime = 1.0, .CpuMs = 100};
    TSummaryRequest aLater = a;
    aLater.CpuMs = 350;
    TSummaryRequest aRunAgain = a;
    aRunAgain.StartTime = 1.5;
    aRunAgain.CpuMs = 40;
    const TSummaryRequest b{.SessionId = 52, .StartTime = 1.2, .CpuMs = 60};
    QTest::newRow("a request that went on") << QList{a} << QList{aLater} << 500.0;
    QTest::newRow("a request new since") << QList{a} << QList{a, b} << 120.0;
    QTest::newRow("ended: its CPU is lost, not negative") << QList{a, b} << QList{a} << 0.0;
    QTest::newRow("the same session's next run counts whole")
        << QList{aLater} << QList{aRunAgain} << 80.0;
}

void TestEstate::cpuPerSecond() {
    QFETCH(QList<TSummaryRequest>, before);
    QFETCH(QList<TSummaryRequest>, after);
    QFETCH(double, expected);
    const TSummaryRead first{10, 5, before}, second{10, 5, after};
    QCOMPARE(Summarize(second, 1500, &first, 1000).CpuPerSec, expected);
}

void TestEstate::snapshotSummary() {
    auto rec = [](int spid, const char* status, bool user, int blocking, int wait, double rate) {
        auto* r = new TMonitorRec;
        r->SPID = spid;
        r->Status = QString::fromLatin1(status);
        r->IsUser = user;
        r->Blocking = blocking;
        r->WaitTime = wait;
        r->CpuRate = rate;
        return r;
    };
    TRecList rows{rec(5, "background", false, 0, 0, -1),    rec(51, "sleeping", true, 0, 0, 2),
                  rec(52, "suspended", true, 51, 31000, 0), rec(53, "running", true, 0, 0, 40),
                  rec(53, "runnable", true, 0, 0, 8),        // a second request of the session
                  rec(54, "suspended", true, -2, 9000, -1)}; // an orphaned transaction
    const TServerSummary s = SummarizeSnapshot(rows, 5);
    QCOMPARE(s.Sessions, 5);
    QCOMPARE(s.UserSessions, 4);
    QCOMPARE(s.Running, 4);
    QCOMPARE(s.Blocked, 1);
    QCOMPARE(s.HeadBlockers, 1);
    QCOMPARE(s.LongestWaitMs, 31000);
    QCOMPARE(s.CpuPerSec, 50.0);
    QCOMPARE(EstateLevel(s), TEstateLevel::Blocking);
    qDeleteAll(rows);
    QCOMPARE(SummarizeSnapshot({}, 5).CpuPerSec, -1.0);
}

// Two servers at a short period: both arrive again and again, with a CPU rate from the
// second summary on; one stops and turns up as a failure while the other goes on.
void TestEstate::samplerWatchesEachServer() {
    TTestServer first, second;
    const QUuid a = QUuid::createUuid(), b = QUuid::createUuid();
    TEstateSampler sampler;
    sampler.setPeriod(200);
    TArrivals spy(sampler);
    sampler.watch(a, connectTo(first));
    sampler.watch(b, connectTo(second));
    QTRY_VERIFY(countFor(spy, a) >= 2 && countFor(spy, b) >= 2);
    QVERIFY(lastFor(spy, a).Valid);
    QVERIFY(lastFor(spy, a).CpuPerSec >= 0);
    QVERIFY(lastFor(spy, b).Error.isEmpty());

    second.server().stop();
    QTRY_VERIFY_WITH_TIMEOUT(!lastFor(spy, b).Error.isEmpty(), 10000);
    QVERIFY(!sampler.watching(b)); // a failed server is left alone
    const int arrivedForA = countFor(spy, a);
    QTRY_VERIFY(countFor(spy, a) > arrivedForA + 1);
    QVERIFY(lastFor(spy, a).Error.isEmpty());

    sampler.unwatch(a);
    QVERIFY(!sampler.watching(a));
}

// A server that stops answering keeps one worker until the query's timeout; the others go
// on at their period, and stopping the pool breaks the hung query off at once.
void TestEstate::aHungServerDelaysNobody() {
    TTestServer hung, healthy;
    const QUuid h = QUuid::createUuid(), ok = QUuid::createUuid();
    TEstateSampler sampler;
    sampler.setPeriod(300);
    TArrivals spy(sampler);
    sampler.watch(h, connectTo(hung));
    QTRY_VERIFY(countFor(spy, h) >= 1);
    hung.server().setResponseDelayMs(20000);
    const int answered = validFor(spy, h);
    sampler.watch(ok, connectTo(healthy));
    QTRY_VERIFY(countFor(spy, ok) >= 5);
    // Nothing more came from the hung server but, once its query's timeout (a second)
    // passed, the failure that ends its watch.
    QCOMPARE(validFor(spy, h), answered);
    QVERIFY(countFor(spy, h) <= answered + 1);
    QElapsedTimer stopping;
    stopping.start();
    sampler.stop();
    QVERIFY2(stopping.elapsed() < 2000, qPrintable(QString::number(stopping.elapsed())));
    hung.server().setResponseDelayMs(0);
}

void TestEstate::busyConnectionIsSkippedNotAwaited() {
    TTestServer busy, free;
    const auto busyConnection = connectTo(busy);
    const QUuid b = QUuid::createUuid(), f = QUuid::createUuid();
    TEstateSampler sampler;
    sampler.setPeriod(150);
    TArrivals spy(sampler);
    {
        // Another statement holds the connection: the summary passes its turns by.
        std::lock_guard held(busyConnection->commandLock());
        sampler.watch(b, busyConnection);
        sampler.watch(f, connectTo(free));
        QTRY_VERIFY(countFor(spy, f) >= 4);
        QCOMPARE(countFor(spy, b), 0);
    }
    QTRY_VERIFY(countFor(spy, b) >= 1);
}

QTEST_GUILESS_MAIN(TestEstate)
#include "tst_estate.moc"
