// The database layer end to end: our code, unixODBC, the FreeTDS driver, TCP and the
// loopback test server.

#include "database/dbconnection.h"
#include "database/dberror.h"
#include "database/dbquery.h"
#include "scripting.h"
#include "testserverfixture.h"

#include <QTest>
#include <cmath>

class TestDbLayer : public QObject {
    Q_OBJECT
private slots:
    void opensWithTheStringsCredentials();
    void openCredentialsOverrideTheString();
    void wrongPasswordReportsTheDriversText();
    void executeWithRowsAndWithout();
    void fieldsByPositionAndName();
    void conversions_data();
    void conversions();
    void nullFailsNamingTheColumn();
    void bigintBeyond32Bits();
    void datetimeKeepsMilliseconds();
    void queryStreamsAndLooksUpFields();
    void queryCountsAttachments();
    void droppedConnectionMidResultFails();
    void queryTimeoutCancelsAndKeepsTheConnection();
    void silentServerFailsAtTheLoginTimeout();

private:
    TTestServer server;
};

void TestDbLayer::opensWithTheStringsCredentials() {
    TDbConnection c;
    c.setConnectionString(server.oledb());
    QVERIFY(!c.connected());
    c.open();
    QVERIFY(c.connected());
    c.close();
    QVERIFY(!c.connected());
}

void TestDbLayer::openCredentialsOverrideTheString() {
    TDbConnection c;
    c.setConnectionString(server.oledb(QStringLiteral("nobody"), QStringLiteral("wrong")));
    c.open(QStringLiteral("sa"), QStringLiteral("Dervel-2026"));
    QVERIFY(c.connected());
    QCOMPARE(c.execute(QStringLiteral("select suser_name() as who")).field(0).asString(),
             QStringLiteral("sa"));
}

void TestDbLayer::wrongPasswordReportsTheDriversText() {
    TDbConnection c;
    c.setConnectionString(server.oledb(QStringLiteral("sa"), QStringLiteral("bad")));
    try {
        c.open();
        QFAIL("opened with a wrong password");
    } catch (const EDbError& e) {
        QCOMPARE(e.message(),
                 QStringLiteral("[FreeTDS][SQL Server]Login failed for user 'sa'.\n"
                                "[FreeTDS][SQL Server]Unable to connect to data source"));
    }
    QVERIFY(!c.connected());
}

void TestDbLayer::executeWithRowsAndWithout() {
    TDbConnection c;
    c.setConnectionString(server.oledb());
    c.open();
    TDbRecordset rows = c.execute(QStringLiteral("select name from sys.databases order by name"));
    QVERIFY(!rows.bof());
    QVERIFY(!rows.eof());
    QStringList names;
    for (; !rows.eof(); rows.moveNext())
        names << rows.field(0).asString();
    QVERIFY2(names.contains(QStringLiteral("master")), qPrintable(names.join(',')));
    QVERIFY(rows.eof());

    TDbRecordset none = c.execute(QStringLiteral("select 1 as a where 1=0"));
    QVERIFY(none.bof());
    QVERIFY(none.eof());
    QCOMPARE(none.fieldCount(), 1);

    // A statement without a result set gives an empty row set.
    const int spid = server.instance().addSession(testserver::ScriptedSession{});
    TDbRecordset killed = c.execute(QStringLiteral("kill %1").arg(spid));
    QVERIFY(killed.bof() && killed.eof());
    QCOMPARE(killed.fieldCount(), 0);
    QVERIFY(!server.instance().hasSession(spid));

    // The server's errors arrive as the driver reports them.
    try {
        c.execute(QStringLiteral("kill %1").arg(spid));
        QFAIL("a kill of a gone session succeeded");
    } catch (const EDbError& e) {
        QCOMPARE(e.message(), QStringLiteral("[FreeTDS][SQL Server]Process ID %1 is not an active "
                                             "process ID.")
                                  .arg(spid));
    }
}

void TestDbLayer::fieldsByPositionAndName() {
    TDbConnection c;
    c.setConnectionString(server.oledb());
    c.open();
    TDbRecordset rs = c.execute(QStringLiteral("select 7 as Seven, N'Привет' as Greeting"));
    QCOMPARE(rs.fieldCount(), 2);
    QCOMPARE(rs.field(0).name(), QStringLiteral("Seven"));
    QCOMPARE(rs.field(1).asString(), QStringLiteral("Привет"));
    QCOMPARE(rs.fieldByName(QStringLiteral("seven")).asInteger(), 7); // names ignore case
    try {
        rs.fieldByName(QStringLiteral("Missing"));
        QFAIL("no error for a missing column");
    } catch (const EDbError& e) {
        QCOMPARE(e.message(), QStringLiteral("Field 'Missing' not found"));
    }
}

void TestDbLayer::conversions_data() {
    QTest::addColumn<QString>("expression");
    QTest::addColumn<QString>("text");
    QTest::addColumn<qlonglong>("integer");
    QTest::newRow("int") << "-123456"
                         << "-123456" << -123456LL;
    QTest::newRow("arithmetic") << "(7/2)+1"
                                << "4" << 4LL;
    QTest::newRow("smallint column") << "(select session_id from sys.dm_exec_sessions where "
                                        "session_id=@@spid)"
                                     << QString() << -1LL;
    QTest::newRow("numeric text") << "N'42'"
                                  << "42" << 42LL;
}

void TestDbLayer::conversions() {
    QFETCH(QString, expression);
    QFETCH(QString, text);
    QFETCH(qlonglong, integer);
    TDbConnection c;
    c.setConnectionString(server.oledb());
    c.open();
    TDbRecordset rs = c.execute(QStringLiteral("select v = ") + expression);
    const TDbField f = rs.field(0);
    if (integer == -1) { // the session's own id: whatever it is, text and number agree
        QCOMPARE(f.asString(), QString::number(f.asInteger()));
        QVERIFY(f.asInteger() >= 51);
        return;
    }
    QCOMPARE(f.asString(), text);
    QCOMPARE(f.asLargeInt(), integer);
    QCOMPARE(f.asInteger(), static_cast<int>(integer));
}

void TestDbLayer::nullFailsNamingTheColumn() {
    TDbConnection c;
    c.setConnectionString(server.oledb());
    c.open();
    TDbRecordset rs = c.execute(QStringLiteral("select Nothing = null, Flag = 1"));
    QVERIFY(rs.field(0).isNull());
    for (auto convert :
         {+[](const TDbField& f) { f.asString(); }, +[](const TDbField& f) { f.asInteger(); },
          +[](const TDbField& f) { f.asLargeInt(); }, +[](const TDbField& f) { f.asDateTime(); },
          +[](const TDbField& f) { f.asBoolean(); }}) {
        try {
            convert(rs.field(0));
            QFAIL("NULL converted");
        } catch (const EDbError& e) {
            QVERIFY2(e.message().contains(QStringLiteral("'Nothing'")), qPrintable(e.message()));
            QVERIFY2(e.message().contains(QStringLiteral("NULL")), qPrintable(e.message()));
        }
    }
    QCOMPARE(rs.field(1).asBoolean(), true);
}

void TestDbLayer::bigintBeyond32Bits() {
    TDbConnection c;
    c.setConnectionString(server.oledb());
    c.open();
    TDbRecordset rs = c.execute(QStringLiteral("select Big = 9007199254740993"));
    QCOMPARE(rs.field(0).asLargeInt(), Q_INT64_C(9007199254740993));
    QCOMPARE(rs.field(0).asString(), QStringLiteral("9007199254740993"));
    QVERIFY_THROWS_EXCEPTION(EDbError, rs.field(0).asInteger());
}

void TestDbLayer::datetimeKeepsMilliseconds() {
    // 2024-02-29 13:45:30.500 as SQL Server counts (days since 1900-01-01).
    testserver::ScriptedSession scripted;
    scripted.loginTime = 45349.57326967592;
    const int spid = server.instance().addSession(scripted);
    TDbConnection c;
    c.setConnectionString(server.oledb());
    c.open();
    TDbRecordset rs =
        c.execute(QStringLiteral("select login_time from sys.dm_exec_sessions where session_id=%1")
                      .arg(spid));
    const double expected = EncodeDateTime(2024, 2, 29, 13, 45, 30, 500);
    QVERIFY2(std::fabs(rs.field(0).asDateTime() - expected) < 0.5 / 86400000.0,
             qPrintable(QString::number(rs.field(0).asDateTime(), 'f', 12)));
    server.instance().endSession(spid);
}

void TestDbLayer::queryStreamsAndLooksUpFields() {
    std::vector<testserver::ScriptedSession> scripted(300);
    const std::vector<int> ids = server.instance().addSessions(scripted);
    TDbConnection c;
    c.setConnectionString(server.oledb());
    c.open();
    TDbQuery q;
    q.setConnection(&c);
    q.setSQL(QStringLiteral("select SPID = session_id, Login = login_name from "
                            "sys.dm_exec_sessions where session_id>=%1 and session_id<=%2 "
                            "order by 1")
                 .arg(ids.front())
                 .arg(ids.back()));
    q.open();
    QVERIFY(q.findField(QStringLiteral("Missing")) == nullptr);
    QVERIFY_THROWS_EXCEPTION(EDbError, q.fieldByName(QStringLiteral("Missing")));
    const TDbField& spid = q.fieldByName(QStringLiteral("SPID"));
    int count = 0;
    for (; !q.eof(); q.next(), ++count)
        QCOMPARE(spid.asInteger(), ids[count]); // the field reads the current row
    QCOMPARE(count, 300);
    q.close();
    for (int id : ids)
        server.instance().endSession(id);
}

void TestDbLayer::queryCountsAttachments() {
    TDbConnection c;
    TDbQuery a, b;
    QCOMPARE(c.dataSetCount(), 0);
    a.setConnection(&c);
    b.setConnection(&c);
    QCOMPARE(c.dataSetCount(), 2);
    a.setConnection(nullptr);
    QCOMPARE(c.dataSetCount(), 1);
    QCOMPARE(b.connection(), &c);
    b.setConnection(nullptr);
    QCOMPARE(c.dataSetCount(), 0);
}

void TestDbLayer::droppedConnectionMidResultFails() {
    std::vector<testserver::ScriptedSession> scripted(2000);
    const std::vector<int> ids = server.instance().addSessions(scripted);
    TDbConnection c;
    c.setConnectionString(server.oledb());
    c.open();
    server.server().dropConnectionAfterRows(100);
    TDbQuery q;
    q.setConnection(&c);
    q.setSQL(QStringLiteral("select SPID = session_id from sys.dm_exec_sessions"));
    int rows = 0;
    try {
        for (q.open(); !q.eof(); q.next())
            ++rows;
        QFAIL("the cut result read to its end");
    } catch (const EDbError& e) {
        QVERIFY(!e.message().isEmpty());
        QVERIFY2(e.message().startsWith(QStringLiteral("[FreeTDS]")), qPrintable(e.message()));
    }
    QVERIFY(rows <= 100);
    q.close();
    server.server().dropConnectionAfterRows(-1);
    for (int id : ids)
        server.instance().endSession(id);
}

void TestDbLayer::queryTimeoutCancelsAndKeepsTheConnection() {
    TDbConnection c;
    c.setConnectionString(server.oledb());
    c.open();
    c.setQueryTimeout(1);
    server.server().setResponseDelayMs(4000);
    try {
        c.execute(QStringLiteral("select 1 as a"));
        server.server().setResponseDelayMs(0);
        QFAIL("no timeout");
    } catch (const EDbError& e) {
        server.server().setResponseDelayMs(0);
        QVERIFY2(e.message().contains(QStringLiteral("Timeout expired")), qPrintable(e.message()));
    }
    QCOMPARE(c.execute(QStringLiteral("select 2 as a")).field(0).asInteger(), 2);
}

void TestDbLayer::silentServerFailsAtTheLoginTimeout() {
    server.server().setSilent(true);
    TDbConnection c;
    c.setConnectionString(server.oledb() + QStringLiteral(";Connect Timeout=1"));
    QVERIFY_THROWS_EXCEPTION(EDbError, c.open());
    server.server().setSilent(false);
    QVERIFY(!c.connected());
}

QTEST_GUILESS_MAIN(TestDbLayer)
#include "tst_dblayer.moc"
