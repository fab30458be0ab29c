// The sampler end to end: a composed query handed to TDervel over a real connection to
// the test server, snapshots checked field by field, and the timing of hand-overs,
// pause, failures, period changes and termination.

#include "database/dbconnection.h"
#include "sampling/monitor.h"
#include "sampling/querycomposition.h"
#include "scripting.h"
#include "testserverfixture.h"

#include <QElapsedTimer>
#include <QTest>
#include <cmath>
#include <thread>

namespace {

// Collects the sampler's notices in arrival order.
class TReceiver : public QObject {
public:
    QList<QEvent::Type> events;
    QStringList errors;
    QList<TDbConnection*> errorConnections;
    QList<THandOver> handOvers; // of every notice, in order
    int arrivals() const { return static_cast<int>(events.count(WM_DATAARRIVE)); }

protected:
    void customEvent(QEvent* e) override {
        events << e->type();
        if (e->type() == WM_DATAARRIVE)
            handOvers << static_cast<TDataArriveEvent*>(e)->HandOver;
        if (e->type() == WM_DATAERROR) {
            auto* error = static_cast<TDataErrorEvent*>(e);
            errors << error->Message;
            errorConnections << error->Connection;
            handOvers << error->HandOver;
        }
    }
};

QList<bool> allVisible() {
    return QList<bool>(37, true);
}

QString compose(const QList<bool>& visible = allVisible(), int sortColumn = 0,
                bool descending = false, const TQueryFilters& filters = {}) {
    return ComposeQuery(QueryTemplateLines(), visible, sortColumn, descending, filters).Text;
}

// SQL Server's days since 1900-01-01 as the app's days since 1899-12-30.
double appDays(double serverDays) {
    return serverDays + 2;
}

} // namespace

class TestSampler : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void recordsMatchScriptedSessions();
    void hiddenColumnKeepsItsDefault();
    void missingMandatoryColumnFailsTheSample();
    void filtersAndSortNarrowAndOrder_data();
    void filtersAndSortNarrowAndOrder();
    void pausedHandOverGivesExactlyOneSnapshot();
    void handOverDuringRowLoopPostsNothingForTheCutSnapshot();
    void failureLeavesItIdleUntilTheNextHandOver();
    void shorterPeriodEndsTheRunningWait();
    void terminateEndsALongWait();
    void aBusyReceiverGetsOneNoticeForTheNewestSnapshot();
    void noticesCarryTheirHandOver();
    void emptyHandOverStopsSampling();

private:
    QList<TMonitorRec> snapshot(); // copy of the buffer under the lock
    void sampleOnce(const QString& sql);

    TTestServer* server = nullptr;
    TDbConnection* connection = nullptr;
    TReceiver* receiver = nullptr;
    std::mutex cs;
    TDervel* sampler = nullptr;
};

void TestSampler::init() {
    server = new TTestServer;
    connection = new TDbConnection;
    connection->setConnectionString(server->oledb());
    connection->open();
    receiver = new TReceiver;
    sampler = new TDervel(receiver, cs);
    sampler->Period = 360000; // one sample per hand-over unless a test says otherwise
}

void TestSampler::cleanup() {
    delete sampler;
    QCoreApplication::removePostedEvents(receiver);
    delete receiver;
    delete connection;
    delete server;
}

QList<TMonitorRec> TestSampler::snapshot() {
    std::lock_guard lock(cs);
    QList<TMonitorRec> copy;
    for (const PMonitorRec rec : sampler->Buffer)
        copy << *rec;
    return copy;
}

void TestSampler::sampleOnce(const QString& sql) {
    const int before = receiver->arrivals();
    sampler->StartMonitoring(sql, connection);
    QTRY_VERIFY_WITH_TIMEOUT(receiver->arrivals() > before || !receiver->errors.isEmpty(), 10000);
    QVERIFY2(receiver->errors.isEmpty(), qPrintable(receiver->errors.join('\n')));
}

static const TMonitorRec* bySpid(const QList<TMonitorRec>& recs, int spid, int request = -1) {
    for (const TMonitorRec& r : recs)
        if (r.SPID == spid && (request < 0 || r.RequestID == request))
            return &r;
    return nullptr;
}

void TestSampler::recordsMatchScriptedSessions() {
    using namespace testserver;
    Instance& inst = server->instance();
    const int salesDb = inst.addDatabase({"Ledger", 0, {}});

    ScriptedSession blocker;
    blocker.loginName = "O'Brien";
    blocker.hostName = "HOST-B";
    blocker.programName = "Billing";
    blocker.ntUserName = "obrien";
    blocker.ntDomain = "CORP";
    blocker.databaseId = salesDb;
    blocker.loginTime = 45349.5;
    blocker.lastRequestStartTime = 45349.75;
    blocker.lastRequestEndTime = 45349.76;
    blocker.cpuTime = 1200;
    blocker.reads = 5000000000LL;
    blocker.writes = 7;
    blocker.memoryUsage = 33;
    blocker.openTransactionCount = 1;
    blocker.connection.clientNetAddress = "10.1.2.3";
    blocker.connection.clientTcpPort = 51515;
    const int b = inst.addSession(blocker);

    ScriptedSession blockedSpec;
    blockedSpec.loginName = "app";
    blockedSpec.status = "running";
    const int a = inst.addSession(blockedSpec);
    ScriptedRequest waiting;
    waiting.sessionId = a;
    waiting.status = "suspended";
    waiting.command = "UPDATE";
    waiting.waitType = "LCK_M_X";
    waiting.waitTime = 1500;
    waiting.waitResource = "KEY: 5:72057594043236352";
    waiting.blockingSessionId = b;
    waiting.cpuTime = 30;
    waiting.reads = 10;
    waiting.writes = 2;
    waiting.transactionIsolationLevel = 4;
    waiting.executingManagedCode = true;
    waiting.nestLevel = 2;
    inst.addRequest(waiting);

    ScriptedSession twoRequests;
    twoRequests.loginName = "mars";
    const int m = inst.addSession(twoRequests);
    inst.addRequest({.sessionId = m, .requestId = 0, .status = "running"});
    inst.addRequest({.sessionId = m, .requestId = 1, .status = "runnable"});

    ScriptedSession idle; // never ran a request
    idle.loginName = "idle";
    const int i = inst.addSession(idle);

    sampleOnce(compose());
    const QList<TMonitorRec> recs = snapshot();

    const TMonitorRec* rb = bySpid(recs, b);
    QVERIFY(rb);
    QCOMPARE(rb->Login, QStringLiteral("O'Brien"));
    QCOMPARE(rb->Status, QStringLiteral("sleeping"));
    QCOMPARE(rb->Command, QString());
    QCOMPARE(rb->DB, QStringLiteral("Ledger"));
    QCOMPARE(rb->ProgName, QStringLiteral("Billing"));
    QCOMPARE(rb->Host, QStringLiteral("HOST-B"));
    QCOMPARE(rb->NTLogin, QStringLiteral("obrien"));
    QCOMPARE(rb->NTDomain, QStringLiteral("CORP"));
    QCOMPARE(rb->OriginalLogin, QStringLiteral("O'Brien"));
    QCOMPARE(rb->ClientInterface, QStringLiteral("ODBC"));
    QVERIFY(std::fabs(rb->LoginTime - appDays(45349.5)) < 1e-7);
    QVERIFY(std::fabs(rb->LastTime - appDays(45349.76)) < 1e-7);
    QCOMPARE(rb->CPU, 1200);
    QCOMPARE(rb->IO, Q_INT64_C(5000000007));
    QCOMPARE(rb->Reads, Q_INT64_C(5000000000));
    QCOMPARE(rb->Mem, 33);
    QCOMPARE(rb->OpenTran, 1);
    QCOMPARE(rb->ClientAddress, QStringLiteral("10.1.2.3"));
    QCOMPARE(rb->ClientPort, 51515);
    QCOMPARE(rb->NetTransport, QStringLiteral("TCP"));
    QCOMPARE(rb->Blocking, 0);
    QVERIFY(rb->Blocked);
    QVERIFY(rb->IsUser);
    QCOMPARE(rb->RequestID, 0);
    QVERIFY(!rb->SelfID);
    QCOMPARE(rb->Color, 0u);

    const TMonitorRec* ra = bySpid(recs, a);
    QVERIFY(ra);
    QCOMPARE(ra->Status, QStringLiteral("suspended"));
    QCOMPARE(ra->Command, QStringLiteral("UPDATE"));
    QCOMPARE(ra->Blocking, b);
    QVERIFY(!ra->Blocked);
    QCOMPARE(ra->WaitType, QStringLiteral("LCK_M_X"));
    QCOMPARE(ra->WaitTime, 1500);
    QCOMPARE(ra->WaitResource, QStringLiteral("KEY: 5:72057594043236352"));
    QCOMPARE(ra->CPU, 30);
    QCOMPARE(ra->IO, Q_INT64_C(12));
    QCOMPARE(ra->IsolationLevel, 4);
    QVERIFY(ra->CLR);
    QCOMPARE(ra->NestedLevel, 2);

    QVERIFY(bySpid(recs, m, 0));
    QVERIFY(bySpid(recs, m, 1));
    QCOMPARE(bySpid(recs, m, 1)->Status, QStringLiteral("runnable"));

    const TMonitorRec* ri = bySpid(recs, i);
    QVERIFY(ri);
    QCOMPARE(ri->RequestID, 0);
    QCOMPARE(ri->Command, QString());
    QCOMPARE(ri->WaitType, QString());
    QVERIFY(std::fabs(ri->LastTime - 2.0) < 1e-9); // 1900-01-01 00:00:00, not day 0

    int own = 0, system = 0;
    for (const TMonitorRec& r : recs) {
        own += r.SelfID;
        if (!r.IsUser) {
            ++system;
            QVERIFY(r.SPID < 51);
        }
    }
    QCOMPARE(own, 1);
    QVERIFY(system > 0);
    for (const TMonitorRec& r : recs)
        if (r.SelfID)
            QCOMPARE(r.Status, QStringLiteral("running")); // it runs this very sample
}

void TestSampler::hiddenColumnKeepsItsDefault() {
    QList<bool> visible = allVisible();
    visible[1] = false;  // Login
    visible[25] = false; // Wait Type
    visible[13] = false; // Blocking: the record still gets it from the mandatory column
    const int b = server->instance().addSession({});
    const int a = server->instance().addSession({});
    server->instance().addRequest({.sessionId = a, .waitType = "LCK_M_S", .blockingSessionId = b});
    sampleOnce(compose(visible));
    const QList<TMonitorRec> recs = snapshot();
    QVERIFY(!recs.isEmpty());
    for (const TMonitorRec& r : recs) {
        QCOMPARE(r.Login, QString());
        QCOMPARE(r.WaitType, QString());
    }
    QCOMPARE(bySpid(recs, a)->Blocking, b);
}

void TestSampler::missingMandatoryColumnFailsTheSample() {
    sampler->StartMonitoring(
        QStringLiteral("select SPID = session_id, Blocking = 0, Blocked = 0, IsUser = 1, "
                       "RequestID = 0, SelfID = 0 from sys.dm_exec_sessions"),
        connection);
    QTRY_COMPARE_WITH_TIMEOUT(receiver->errors.size(), 1, 10000);
    QCOMPARE(receiver->errors.first(), QStringLiteral("Field 'Status' not found"));
    QCOMPARE(receiver->errorConnections.first(), connection);
    QCOMPARE(receiver->arrivals(), 0);
}

void TestSampler::filtersAndSortNarrowAndOrder_data() {
    QTest::addColumn<int>("filter");
    QTest::newRow("login O'Brien") << 0;
    QTest::newRow("database") << 1;
    QTest::newRow("<empty> database") << 2;
    QTest::newRow("statuses") << 3;
    QTest::newRow("user sessions only") << 4;
    QTest::newRow("blocking chains only") << 5;
    QTest::newRow("sort by CPU descending") << 6;
}

void TestSampler::filtersAndSortNarrowAndOrder() {
    QFETCH(int, filter);
    using namespace testserver;
    Instance& inst = server->instance();
    const int db = inst.addDatabase({"Reports", 0, {}});
    const int obrien = inst.addSession({.loginName = "O'Brien", .cpuTime = 10, .databaseId = db});
    const int other = inst.addSession({.loginName = "other", .cpuTime = 900});
    const int noDb = inst.addSession({.loginName = "nodb", .cpuTime = 50, .databaseId = 0});
    const int blocked = inst.addSession({.loginName = "victim", .cpuTime = 5});
    inst.addRequest({.sessionId = blocked, .status = "suspended", .blockingSessionId = other});

    TQueryFilters f;
    int sortColumn = 0;
    bool descending = false;
    switch (filter) {
    case 0:
        f.Login = QStringLiteral("O'Brien");
        break;
    case 1:
        f.DBIndex = 2;
        f.DBName = QStringLiteral("Reports");
        break;
    case 2:
        f.DBIndex = 1;
        break;
    case 3:
        f.StatusFilter = QStringLiteral("'suspended'");
        break;
    case 4:
        f.HideSys = true;
        break;
    case 5:
        f.ShowBlocked = true;
        break;
    case 6:
        sortColumn = 8;
        descending = true;
        break;
    }
    sampleOnce(compose(allVisible(), sortColumn, descending, f));
    const QList<TMonitorRec> recs = snapshot();
    QList<int> spids;
    for (const TMonitorRec& r : recs)
        spids << r.SPID;
    switch (filter) {
    case 0:
        QCOMPARE(spids, QList<int>{obrien});
        break;
    case 1:
        QCOMPARE(spids, QList<int>{obrien});
        break;
    case 2:
        QVERIFY(spids.contains(noDb));
        for (const TMonitorRec& r : recs)
            QCOMPARE(r.DB, QString());
        break;
    case 3:
        QVERIFY(spids.contains(blocked));
        for (const TMonitorRec& r : recs)
            QCOMPARE(r.Status, QStringLiteral("suspended"));
        break;
    case 4:
        QVERIFY(spids.contains(obrien));
        for (const TMonitorRec& r : recs)
            QVERIFY(r.IsUser);
        break;
    case 5:
        QCOMPARE(spids, (QList<int>{other, blocked}));
        break;
    case 6:
        for (int k = 1; k < recs.size(); ++k)
            QVERIFY(recs[k - 1].CPU >= recs[k].CPU);
        QVERIFY(spids.indexOf(other) < spids.indexOf(noDb));
        QVERIFY(spids.indexOf(noDb) < spids.indexOf(obrien));
        QVERIFY(spids.indexOf(obrien) < spids.indexOf(blocked));
        break;
    }
}

void TestSampler::pausedHandOverGivesExactlyOneSnapshot() {
    sampler->Period = 1;
    sampler->Pause = true;
    sampler->StartMonitoring(compose(), connection);
    QTRY_COMPARE_WITH_TIMEOUT(receiver->arrivals(), 1, 10000);
    // Paused: nothing more however long we look (100 periods of 10 ms).
    QTest::qWait(1000);
    QCOMPARE(receiver->arrivals(), 1);
    sampler->Pause = false;
    QTRY_VERIFY_WITH_TIMEOUT(receiver->arrivals() >= 3, 10000);
}

void TestSampler::handOverDuringRowLoopPostsNothingForTheCutSnapshot() {
    std::vector<testserver::ScriptedSession> many(20000);
    server->instance().addSessions(many);
    const QString big = compose();
    const QString small =
        QStringLiteral("select SPID = 1, Status = 'x', Blocking = 0, Blocked = 0, IsUser = 1, "
                       "RequestID = 0, SelfID = 0");
    sampler->StartMonitoring(big, connection);
    // Caught in its row loop: the hand-over must follow at once, not after an event-loop turn.
    QElapsedTimer waited;
    waited.start();
    int rows = -1;
    while ((rows = sampler->RowsRead()) <= 0 && waited.elapsed() < 20000)
        std::this_thread::yield();
    sampler->StartMonitoring(small, connection);
    QVERIFY(rows > 0);
    QTRY_COMPARE_WITH_TIMEOUT(receiver->arrivals(), 1, 20000);
    const QList<TMonitorRec> recs = snapshot();
    QCOMPARE(recs.size(), 1); // the arrival belongs to the new query
    QCOMPARE(recs.first().SPID, 1);
    QVERIFY(receiver->errors.isEmpty());
}

void TestSampler::failureLeavesItIdleUntilTheNextHandOver() {
    sampler->Period = 1;
    sampler->StartMonitoring(QStringLiteral("select from nowhere"), connection);
    QTRY_COMPARE_WITH_TIMEOUT(receiver->errors.size(), 1, 10000);
    QVERIFY2(receiver->errors.first().startsWith(QStringLiteral("[FreeTDS][SQL Server]")),
             qPrintable(receiver->errors.first()));
    QTest::qWait(500); // 50 periods: an idle sampler posts nothing
    QCOMPARE(receiver->events.size(), 1);
    QCOMPARE(connection->dataSetCount(), 0); // it let go of the connection
    sampler->StartMonitoring(compose(), connection);
    QTRY_VERIFY_WITH_TIMEOUT(receiver->arrivals() >= 1, 10000);
}

void TestSampler::shorterPeriodEndsTheRunningWait() {
    sampleOnce(compose());
    const int after = receiver->arrivals();
    sampler->Period = 1;
    QTRY_VERIFY_WITH_TIMEOUT(receiver->arrivals() > after + 2, 10000);
}

void TestSampler::aBusyReceiverGetsOneNoticeForTheNewestSnapshot() {
    // Snapshots back to back while the receiver takes nothing: the samples go on, the
    // notices do not pile up, and the one waiting finds the newest buffer.
    sampler->Period = 0;
    sampler->StartMonitoring(compose(), connection);
    QElapsedTimer waited;
    waited.start();
    QList<qint64> times;
    while (times.size() < 5 && waited.elapsed() < 20000) {
        std::lock_guard lock(cs);
        if (sampler->BufferTime && (times.isEmpty() || times.last() != sampler->BufferTime))
            times << sampler->BufferTime;
    }
    QCOMPARE(times.size(), 5);
    QCoreApplication::sendPostedEvents(receiver);
    QCOMPARE(receiver->arrivals(), 1);
    {
        std::lock_guard lock(cs);
        QVERIFY(sampler->BufferTime >= times.last());
        QVERIFY(sampler->BufferStats.Rows > 0);
        QCOMPARE(qsizetype(sampler->BufferStats.Rows), sampler->Buffer.size());
        // The rows came over the socket: a few hundred bytes a session at the least.
        QVERIFY2(sampler->BufferStats.Bytes > 100 * sampler->BufferStats.Rows,
                 qPrintable(QString::number(sampler->BufferStats.Bytes)));
        sampler->TakeArrival(); // as the window does: the next sample notices again
    }
    QTRY_VERIFY_WITH_TIMEOUT(receiver->arrivals() >= 3, 10000);
    sampler->Period = 360000;
}

void TestSampler::terminateEndsALongWait() {
    sampleOnce(compose()); // then it waits Period = one hour
    QElapsedTimer waited;
    waited.start();
    sampler->Terminate();
    sampler->WaitFor();
    // Generous against the hour it would otherwise wait: a stop request must end it.
    QVERIFY2(waited.elapsed() < 30000, qPrintable(QString::number(waited.elapsed())));
    QCoreApplication::processEvents();
    QCOMPARE(receiver->events, QList<QEvent::Type>{WM_DATAARRIVE});
}

void TestSampler::noticesCarryTheirHandOver() {
    const THandOver first = sampler->StartMonitoring(compose(), connection);
    QTRY_COMPARE_WITH_TIMEOUT(receiver->arrivals(), 1, 10000);
    const THandOver second =
        sampler->StartMonitoring(QStringLiteral("select from nowhere"), connection);
    QVERIFY(second > first);
    QTRY_COMPARE_WITH_TIMEOUT(receiver->errors.size(), 1, 10000);
    QCOMPARE(receiver->handOvers, (QList<THandOver>{first, second}));
    const THandOver third = sampler->StartMonitoring(compose(), connection);
    QTRY_COMPARE_WITH_TIMEOUT(receiver->arrivals(), 2, 10000);
    QCOMPARE(receiver->handOvers.last(), third);
    std::lock_guard lock(cs);
    QCOMPARE(sampler->BufferHandOver, third);
}

void TestSampler::emptyHandOverStopsSampling() {
    sampler->Period = 1;
    sampleOnce(compose());
    QCOMPARE(connection->dataSetCount(), 1);
    sampler->StartMonitoring(QString(), nullptr);
    QTRY_COMPARE_WITH_TIMEOUT(connection->dataSetCount(), 0, 5000);
    QCoreApplication::processEvents();
    const int count = receiver->events.size();
    QTest::qWait(300);
    QCOMPARE(receiver->events.size(), count);
}

QTEST_GUILESS_MAIN(TestSampler)
#include "tst_sampler.moc"
