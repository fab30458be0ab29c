// The wire protocol end to end: unixODBC, the FreeTDS ODBC driver and TCP against an
// in-process TdsServer.

#include "instance.h"
#include "odbc_client.h"
#include "sampling_text.h"
#include "tds_server.h"
#include "type_rules.h"

#include <QElapsedTimer>
#include <QtTest>

#include <memory>
#include <thread>

using namespace testserver;

namespace {

QString text(const OdbcValue& v) {
    if (const auto* s = std::get_if<std::string>(&v))
        return QString::fromStdString(*s);
    return QStringLiteral("<not text>");
}

std::int64_t integer(const OdbcValue& v) {
    const auto* i = std::get_if<std::int64_t>(&v);
    return i ? *i : std::numeric_limits<std::int64_t>::min();
}

bool isNull(const OdbcValue& v) {
    return std::holds_alternative<std::monostate>(v);
}

bool hasState(const std::vector<OdbcDiag>& diags, const std::string& state) {
    for (const auto& d : diags)
        if (d.state == state)
            return true;
    return false;
}

bool hasNative(const std::vector<OdbcDiag>& diags, int native) {
    for (const auto& d : diags)
        if (d.native == native)
            return true;
    return false;
}

} // namespace

class TstWire : public QObject {
    Q_OBJECT

    std::unique_ptr<TdsServer> server;
    int port = 0;

    Instance& instance() { return server->instance(); }

    std::unique_ptr<OdbcClient> connected(const std::string& extra = "") {
        auto c = std::make_unique<OdbcClient>();
        if (!c->connect(OdbcClient::connectionString(port, "sa", "Dervel-2026", extra)))
            qWarning() << "connect failed:" << DiagnosticsText(c->connectDiags()).c_str();
        return c;
    }

    // A scripted session with no connection lets a test look at the views while a TDS
    // session is busy.
    int observer() {
        ScriptedSession s;
        s.withConnection = false;
        return instance().addSession(s);
    }

    QString statusOf(int observerSpid, int spid) {
        const auto out = instance().execute(
            observerSpid,
            "select isnull(R.status,S.status) from sys.dm_exec_sessions S left join "
            "sys.dm_exec_requests R on R.session_id=S.session_id where S.session_id=" +
                std::to_string(spid));
        if (out.statements.empty() || !out.statements[0].result ||
            out.statements[0].result->rows.empty())
            return {};
        return QString::fromStdString(std::get<std::string>(out.statements[0].result->rows[0][0]));
    }

private slots:
    void init() {
        server = std::make_unique<TdsServer>();
        port = server->start(0);
        QVERIFY(port > 0);
    }

    void cleanup() { server.reset(); }

    void loginCreatesSessionWithConnectionRow() {
        auto c = connected("APP=Dervel tests;WSID=Рабочая-7");
        const int spid = c->spid();
        QVERIFY(spid >= 51);
        QVERIFY(instance().hasSession(spid));
        const auto out = c->exec(
            "select S.login_name, S.host_name, S.program_name, S.client_interface_name, S.status, "
            "C.net_transport, C.protocol_type, C.auth_scheme, C.client_net_address, "
            "C.local_tcp_port, db_name(S.database_id) from sys.dm_exec_sessions S join "
            "sys.dm_exec_connections C on C.session_id = S.session_id where S.session_id = @@spid");
        QVERIFY2(SQL_SUCCEEDED(out.rc), DiagnosticsText(out.diags).c_str());
        QCOMPARE(out.results.size(), std::size_t(1));
        const auto& row = out.results[0].rows.at(0);
        QCOMPARE(text(row[0]), QString("sa"));
        QCOMPARE(text(row[1]), QString("Рабочая-7"));
        QCOMPARE(text(row[2]), QString("Dervel tests"));
        QCOMPARE(text(row[3]), QString("ODBC"));
        QCOMPARE(text(row[4]), QString("running"));
        QCOMPARE(text(row[5]), QString("TCP"));
        QCOMPARE(text(row[6]), QString("TSQL"));
        QCOMPARE(text(row[7]), QString("SQL"));
        QCOMPARE(text(row[8]), QString("127.0.0.1"));
        QCOMPARE(integer(row[9]), std::int64_t{port});
        QCOMPARE(text(row[10]), QString("master"));

        c->disconnect();
        QTRY_VERIFY(!instance().hasSession(spid));
    }

    void loginIntoRequestedDatabase() {
        auto c = connected("Database=Sales");
        const auto out = c->exec("select db_name()");
        QCOMPARE(text(out.results.at(0).rows.at(0).at(0)), QString("Sales"));
    }

    void unknownDatabaseFailsTheLogin() {
        OdbcClient c;
        QVERIFY(
            !c.connect(OdbcClient::connectionString(port, "sa", "Dervel-2026", "Database=Nope")));
        QVERIFY2(hasNative(c.connectDiags(), 4060), DiagnosticsText(c.connectDiags()).c_str());
        QVERIFY(hasNative(c.connectDiags(), 18456));
    }

    void olderTdsVersionsAreAnswered_data() {
        QTest::addColumn<QString>("version");
        QTest::newRow("7.2") << "7.2";
        QTest::newRow("7.3") << "7.3";
    }

    void olderTdsVersionsAreAnswered() {
        QFETCH(QString, version);
        OdbcClient c;
        QVERIFY(c.connect("Driver=FreeTDS;Server=127.0.0.1;Port=" + std::to_string(port) +
                          ";UID=sa;PWD=Dervel-2026;TDS_Version=" + version.toStdString()));
        const auto out = c.exec("select N'Ж' + T.text from sys.dm_exec_requests R cross apply "
                                "sys.dm_exec_sql_text(R.sql_handle) T where R.session_id = @@spid");
        QVERIFY2(SQL_SUCCEEDED(out.rc), DiagnosticsText(out.diags).c_str());
        QVERIFY(text(out.results.at(0).rows.at(0).at(0)).startsWith("Жselect N'Ж'"));
    }

    void wrongPasswordFails_data() {
        QTest::addColumn<bool>("refuseFault");
        QTest::addColumn<QString>("password");
        QTest::newRow("wrong password") << false << "wrong";
        QTest::newRow("refused by the fault") << true << "Dervel-2026";
    }

    void wrongPasswordFails() {
        QFETCH(bool, refuseFault);
        QFETCH(QString, password);
        server->setRefuseLogins(refuseFault);
        OdbcClient c;
        QVERIFY(!c.connect(OdbcClient::connectionString(port, "sa", password.toStdString())));
        const auto& d = c.connectDiags();
        QVERIFY(!d.empty());
        QCOMPARE(QString::fromStdString(d[0].message),
                 QString("[FreeTDS][SQL Server]Login failed for user 'sa'."));
        QCOMPARE(d[0].native, 18456);
        QCOMPARE(QString::fromStdString(d[0].state), QString("42000"));
        server->setRefuseLogins(false);
        auto ok = connected();
        QVERIFY(ok->spid() > 0);
    }

    void columnTypesWithValuesAndNulls() {
        ScriptedSession s;
        s.hostName = "Хост-α";
        s.reads = 5'000'000'000LL;
        s.loginTime = *types::parseDateTime("2024-02-29 13:45:30.500");
        s.overrides["context_info"] = std::vector<std::uint8_t>{0xDE, 0xAD, 0xBE, 0xEF};
        const int spid = instance().addSession(s);
        ScriptedRequest r;
        r.sessionId = spid;
        r.sqlText = "select 1";
        instance().addRequest(r);
        auto c = connected();
        const auto out = c->exec(
            "select S.cpu_time, nullif(S.cpu_time, S.cpu_time), S.session_id, "
            "nullif(S.session_id, S.session_id), S.reads, nullif(S.reads, S.reads), "
            "S.is_user_process, nullif(S.is_user_process, 1), 1.5, nullif(1.5, 1.5), S.host_name, "
            "S.nt_user_name, T.text, nullif(T.text, T.text), S.login_time, "
            "S.last_request_end_time, S.context_info, nullif(S.context_info, S.context_info) "
            "from sys.dm_exec_sessions S join sys.dm_exec_requests R on R.session_id = "
            "S.session_id cross apply sys.dm_exec_sql_text(R.sql_handle) T where S.session_id = " +
            std::to_string(spid));
        QVERIFY2(SQL_SUCCEEDED(out.rc), DiagnosticsText(out.diags).c_str());
        const auto& cols = out.results.at(0).columns;
        const SQLSMALLINT expected[] = {
            SQL_INTEGER,        SQL_INTEGER,   SQL_SMALLINT, SQL_SMALLINT, SQL_BIGINT,
            SQL_BIGINT,         SQL_BIT,       SQL_BIT,      SQL_DOUBLE,   SQL_DOUBLE,
            SQL_WVARCHAR,       SQL_WVARCHAR,  SQL_WVARCHAR, SQL_WVARCHAR, SQL_TYPE_TIMESTAMP,
            SQL_TYPE_TIMESTAMP, SQL_VARBINARY, SQL_VARBINARY};
        QCOMPARE(cols.size(), std::size(expected));
        for (std::size_t i = 0; i < cols.size(); ++i)
            QVERIFY2(cols[i].sqlType == expected[i],
                     qPrintable(QString("column %1 has type %2").arg(i).arg(cols[i].sqlType)));
        QCOMPARE(cols[10].size, SQLULEN{128});
        QCOMPARE(cols[12].size, SQLULEN{0}); // nvarchar(max)
        const auto& row = out.results.at(0).rows.at(0);
        QCOMPARE(integer(row[0]), std::int64_t{0});
        QCOMPARE(integer(row[2]), std::int64_t{spid});
        QCOMPARE(integer(row[4]), std::int64_t{5'000'000'000LL});
        QCOMPARE(integer(row[6]), std::int64_t{1});
        QCOMPARE(std::get<double>(row[8]), 1.5);
        QCOMPARE(text(row[10]), QString("Хост-α"));
        QCOMPARE(text(row[12]), QString("select 1"));
        const auto ts = std::get<OdbcTimestamp>(row[14]);
        QCOMPARE(ts.year, 2024);
        QCOMPARE(ts.month, 2);
        QCOMPARE(ts.day, 29);
        QCOMPARE(ts.hour, 13);
        QCOMPARE(ts.minute, 45);
        QCOMPARE(ts.second, 30);
        QCOMPARE(ts.fraction, 500000000u);
        QCOMPARE(std::get<std::vector<unsigned char>>(row[16]),
                 (std::vector<unsigned char>{0xDE, 0xAD, 0xBE, 0xEF}));
        for (int i : {1, 3, 5, 7, 9, 11, 13, 15, 17})
            QVERIFY2(isNull(row[static_cast<std::size_t>(i)]), qPrintable(QString::number(i)));
    }

    void rarerCatalogTypesAreReadable() {
        auto c = connected();
        const auto out = c->exec(
            "select D.compatibility_level, D.service_broker_guid, C.client_net_address, "
            "C.connection_id, R.percent_complete, R.query_hash from sys.databases D, "
            "sys.dm_exec_connections C join sys.dm_exec_requests R on R.session_id = C.session_id "
            "where D.name = 'master' and C.session_id = @@spid");
        QVERIFY2(SQL_SUCCEEDED(out.rc), DiagnosticsText(out.diags).c_str());
        const auto& cols = out.results.at(0).columns;
        QCOMPARE(cols[0].sqlType, SQLSMALLINT(SQL_TINYINT));
        QCOMPARE(cols[1].sqlType, SQLSMALLINT(SQL_GUID));
        QCOMPARE(cols[2].sqlType, SQLSMALLINT(SQL_VARCHAR));
        QCOMPARE(cols[4].sqlType, SQLSMALLINT(SQL_REAL));
        QCOMPARE(cols[5].sqlType, SQLSMALLINT(SQL_BINARY));
        const auto& row = out.results.at(0).rows.at(0);
        QCOMPARE(integer(row[0]), std::int64_t{150});
        QCOMPARE(text(row[1]), QString("00000000-0000-0000-0000-000000000000"));
        QCOMPARE(text(row[2]), QString("127.0.0.1"));
        QCOMPARE(text(row[3]).size(), 36);
        QCOMPARE(std::get<double>(row[4]), 0.0);
        QVERIFY(isNull(row[5]));
    }

    // A plan comes as the xml type (UTF-16, in parts), however long; the driver reads it
    // as text, Cyrillic included.
    void xmlValuesComeWhole() {
        std::string plan = "<ShowPlanXML StatementText=\"SELECT N'ÐÐ°ÐºÐ°Ð·'\">";
        while (plan.size() < 100000)
            plan += "<RelOp NodeId=\"" + std::to_string(plan.size()) + "\" />";
        plan += "</ShowPlanXML>";
        ScriptedSession s;
        s.withConnection = false;
        const int spid = instance().addSession(s);
        ScriptedRequest r;
        r.sessionId = spid;
        r.sqlText = "SELECT 1";
        r.livePlan = plan;
        instance().addRequest(r);
        auto c = connected();
        const auto out = c->exec("select query_plan from sys.dm_exec_query_statistics_xml(" +
                                 std::to_string(spid) + ")");
        QVERIFY2(SQL_SUCCEEDED(out.rc), DiagnosticsText(out.diags).c_str());
        QCOMPARE(out.results.at(0).columns[0].sqlType, SQLSMALLINT(-152)); // SQL_SS_XML
        QCOMPARE(text(out.results.at(0).rows.at(0)[0]), QString::fromStdString(plan));
    }

    void literalsKeepTheirTypes() {
        auto c = connected();
        const auto out =
            c->exec("select 9007199254740993 as big, N'Привет, мир' as ru, null as n, 1 as a");
        QVERIFY2(SQL_SUCCEEDED(out.rc), DiagnosticsText(out.diags).c_str());
        const auto& r = out.results.at(0);
        QCOMPARE(r.columns[0].sqlType, SQLSMALLINT(SQL_BIGINT));
        QCOMPARE(QString::fromStdString(r.columns[1].name), QString("ru"));
        QCOMPARE(integer(r.rows[0][0]), std::int64_t{9007199254740993LL});
        QCOMPARE(text(r.rows[0][1]), QString("Привет, мир"));
        QVERIFY(isNull(r.rows[0][2]));
        QCOMPARE(integer(r.rows[0][3]), std::int64_t{1});
    }

    void errorTokenText() {
        auto c = connected();
        const auto out = c->exec("select * from nosuch");
        QCOMPARE(out.rc, SQLRETURN(SQL_ERROR));
        QVERIFY(!out.diags.empty());
        QCOMPARE(QString::fromStdString(out.diags[0].message),
                 QString("[FreeTDS][SQL Server]Invalid object name 'nosuch'."));
        QCOMPARE(out.diags[0].native, 208);
        QCOMPARE(QString::fromStdString(out.diags[0].state), QString("42S02"));
        const auto after = c->exec("select 2");
        QCOMPARE(integer(after.results.at(0).rows.at(0).at(0)), std::int64_t{2});
    }

    void multiStatementBatch() {
        auto c = connected();
        const auto out = c->exec("select 1 as a; select N'two' as b\r\nselect 3 as c, 4 as d");
        QVERIFY2(SQL_SUCCEEDED(out.rc), DiagnosticsText(out.diags).c_str());
        QCOMPARE(out.results.size(), std::size_t(3));
        QCOMPARE(integer(out.results[0].rows.at(0).at(0)), std::int64_t{1});
        QCOMPARE(text(out.results[1].rows.at(0).at(0)), QString("two"));
        QCOMPARE(out.results[2].columns.size(), std::size_t(2));
        QCOMPARE(integer(out.results[2].rows.at(0).at(1)), std::int64_t{4});
    }

    void connectStatementOverWire_data() {
        QTest::addColumn<bool>("nullServerName");
        QTest::newRow("named") << false;
        QTest::newRow("@@SERVERNAME is NULL") << true;
    }

    void connectStatementOverWire() {
        QFETCH(bool, nullServerName);
        if (nullServerName)
            instance().setServerName(std::nullopt);
        auto c = connected();
        const auto out = c->exec(connectStatement());
        QVERIFY2(SQL_SUCCEEDED(out.rc), DiagnosticsText(out.diags).c_str());
        const auto& r = out.results.at(0);
        QCOMPARE(r.columns.size(), std::size_t(3));
        QCOMPARE(r.columns[0].sqlType, SQLSMALLINT(SQL_WVARCHAR));
        QStringList names;
        for (const auto& row : r.rows)
            names << text(row[0]);
        QCOMPARE(names, QStringList({"Archive", "Inventory", "master", "model", "msdb", "Sales",
                                     "tempdb"}));
        if (nullServerName)
            QVERIFY(isNull(r.rows[0][1]));
        else
            QCOMPARE(text(r.rows[0][1]), QString("DERVEL-SQL (sa)"));
        QVERIFY(text(r.rows[0][2]).startsWith("Microsoft SQL Server 2019"));
    }

    void samplingQuerySpansManyPackets() {
        std::vector<ScriptedSession> sessions(3000);
        for (std::size_t i = 0; i < sessions.size(); ++i)
            sessions[i].programName = "program " + std::to_string(i);
        instance().addSessions(sessions);
        auto c = connected();
        const auto out = c->exec(samplingQuery({{}, {userOnlyFilter()}, 1, true}));
        QVERIFY2(SQL_SUCCEEDED(out.rc), DiagnosticsText(out.diags).c_str());
        const auto& r = out.results.at(0);
        QCOMPARE(r.columns.size(), std::size_t(43));
        QCOMPARE(r.rows.size(), std::size_t(3001));
        QCOMPARE(r.columns[0].sqlType, SQLSMALLINT(SQL_SMALLINT));
        QCOMPARE(r.columns[7].sqlType, SQLSMALLINT(SQL_TYPE_TIMESTAMP));
        QCOMPARE(r.columns[9].sqlType, SQLSMALLINT(SQL_BIGINT));
        QCOMPARE(r.columns[29].sqlType, SQLSMALLINT(SQL_BIT));
        std::int64_t previous = std::numeric_limits<std::int64_t>::max();
        int self = 0;
        for (const auto& row : r.rows) {
            QVERIFY(integer(row[0]) < previous);
            previous = integer(row[0]);
            self += static_cast<int>(integer(row[42]));
        }
        QCOMPARE(self, 1);
    }

    void attentionEndsDelayedReply() {
        auto c = connected();
        const int spid = c->spid();
        server->setResponseDelayMs(20000);
        QElapsedTimer timer;
        timer.start();
        const auto out = c->exec("select 1", 1);
        QCOMPARE(out.rc, SQLRETURN(SQL_ERROR));
        QVERIFY2(hasState(out.diags, "HYT00"), DiagnosticsText(out.diags).c_str());
        // Without the DONE ATTN reply the driver would wait out the whole delay.
        QVERIFY(timer.elapsed() < 10000);
        server->setResponseDelayMs(0);
        const int watcher = observer();
        QCOMPARE(statusOf(watcher, spid), QString("sleeping"));
        const auto after = c->exec("select 7");
        QCOMPARE(integer(after.results.at(0).rows.at(0).at(0)), std::int64_t{7});
    }

    void sessionRunsWhileItsReplyIsDelayed() {
        auto c = connected();
        const int spid = c->spid();
        const int watcher = observer();
        QCOMPARE(statusOf(watcher, spid), QString("sleeping"));
        server->setResponseDelayMs(1500);
        OdbcOutcome out;
        std::thread client([&] { out = c->exec("select 5"); });
        QTRY_COMPARE(statusOf(watcher, spid), QString("running"));
        client.join();
        server->setResponseDelayMs(0);
        QCOMPARE(integer(out.results.at(0).rows.at(0).at(0)), std::int64_t{5});
        QCOMPARE(statusOf(watcher, spid), QString("sleeping"));
    }

    void droppedConnectionFault() {
        std::vector<ScriptedSession> sessions(50);
        instance().addSessions(sessions);
        auto c = connected();
        const int spid = c->spid();
        server->dropConnectionAfterRows(2);
        const auto out = c->exec("select session_id from sys.dm_exec_sessions");
        QVERIFY(out.fetchFailed || !SQL_SUCCEEDED(out.rc));
        QVERIFY(out.results.empty() || out.results[0].rows.size() <= 2);
        QVERIFY2(hasNative(out.diags, 20017), DiagnosticsText(out.diags).c_str()); // unexpected EOF
        QTRY_VERIFY(!instance().hasSession(spid));
        auto again = connected();
        QVERIFY(again->spid() > 0); // the fault fires once
        const auto all = again->exec("select session_id from sys.dm_exec_sessions");
        QVERIFY(all.results.at(0).rows.size() > 50);
    }

    void silentFaultTimesOutTheLogin() {
        server->setSilent(true);
        OdbcClient c;
        QElapsedTimer timer;
        timer.start();
        QVERIFY(!c.connect(OdbcClient::connectionString(port), 2));
        QVERIFY2(hasState(c.connectDiags(), "HYT00"), DiagnosticsText(c.connectDiags()).c_str());
        QVERIFY(timer.elapsed() < 15000);
        server->setSilent(false);
        auto ok = connected();
        QVERIFY(ok->spid() > 0);
    }

    void killedSessionLosesItsConnection() {
        auto victim = connected();
        const int spid = victim->spid();
        auto killer = connected();
        const auto out = killer->exec("kill " + std::to_string(spid));
        // A statement without rows or count: SQL_NO_DATA, as against SQL Server.
        QCOMPARE(out.rc, SQLRETURN(SQL_NO_DATA));
        QVERIFY(out.diags.empty());
        QVERIFY(!instance().hasSession(spid));
        // FreeTDS words the broken connection its own way; what matters is that it is gone.
        const auto after = victim->exec("select 1");
        QVERIFY(!SQL_SUCCEEDED(after.rc));
        QVERIFY(!after.diags.empty());
        QVERIFY(!SQL_SUCCEEDED(victim->exec("select 1").rc));
        const auto again = killer->exec("kill " + std::to_string(spid));
        QCOMPARE(
            QString::fromStdString(again.diags.at(0).message),
            QString("[FreeTDS][SQL Server]Process ID %1 is not an active process ID.").arg(spid));
    }

    void killDuringADelayedReply() {
        auto victim = connected();
        const int spid = victim->spid();
        const int killer = observer();
        server->setResponseDelayMs(30000);
        OdbcOutcome out;
        QElapsedTimer timer;
        timer.start();
        std::thread client([&] { out = victim->exec("select 1"); });
        QTRY_COMPARE(statusOf(killer, spid), QString("running"));
        const auto kill = instance().execute(killer, "kill " + std::to_string(spid));
        QVERIFY(kill.statements.at(0).messages.empty());
        client.join();
        QVERIFY(!SQL_SUCCEEDED(out.rc));
        QVERIFY(timer.elapsed() < 20000);
        QVERIFY(!instance().hasSession(spid));
    }

    void endingSessionFromTheApiClosesConnection() {
        auto victim = connected();
        const int spid = victim->spid();
        QVERIFY(instance().endSession(spid));
        const auto after = victim->exec("select 1");
        QVERIFY(!SQL_SUCCEEDED(after.rc));
    }

    // Scripted changes (the demo's) never end a session a client stands behind.
    void scriptedChangesLeaveClientSessionsAlone() {
        auto c = connected();
        const int spid = c->spid();
        ScriptedChanges changes;
        changes.endedSessions = {spid};
        changes.sessionUpdates = {{spid, {{"memory_usage", std::int64_t{77}}}}};
        instance().apply(changes);
        QVERIFY(instance().hasSession(spid));
        const auto out = c->exec("select memory_usage from sys.dm_exec_sessions where "
                                 "session_id = @@spid");
        QCOMPARE(integer(out.results.at(0).rows.at(0).at(0)), std::int64_t{77});
    }

    void inputBufferOfAnotherConnection() {
        auto a = connected();
        const int spid = a->spid();
        a->exec("select N'марка' as x");
        auto b = connected();
        const auto out =
            b->exec("DBCC INPUTBUFFER(" + std::to_string(spid) + ") WITH NO_INFOMSGS ");
        QVERIFY2(SQL_SUCCEEDED(out.rc), DiagnosticsText(out.diags).c_str());
        const auto& r = out.results.at(0);
        QCOMPARE(QString::fromStdString(r.columns[0].name), QString("EventType"));
        QCOMPARE(r.columns[1].sqlType, SQLSMALLINT(SQL_SMALLINT));
        QCOMPARE(text(r.rows.at(0)[0]), QString("Language Event"));
        QCOMPARE(text(r.rows.at(0)[2]), QString("select N'марка' as x"));
    }
};

QTEST_GUILESS_MAIN(TstWire)
#include "tst_wire.moc"
