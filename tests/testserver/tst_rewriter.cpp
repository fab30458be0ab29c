// The rewriter's type rules: every select-list expression comes back with SQL Server's
// type, length and value, and predicates compare as SQL Server does.

#include "engine_fixture.h"

#include <QtTest>

using namespace testserver;

class TstRewriter : public QObject {
    Q_OBJECT

    EngineFixture f;

    std::string source(const std::string& select, const std::string& where = "S.session_id=60") {
        return "select " + select +
               " from sys.dm_exec_sessions S left join sys.dm_exec_requests R on "
               "R.session_id=S.session_id left join sys.dm_exec_connections C on "
               "C.session_id=S.session_id where " +
               where;
    }

private slots:
    void initTestCase() {
        ScriptedSession alice;
        alice.sessionId = 60;
        alice.loginName = "alice";
        alice.hostName = "host-a";
        alice.cpuTime = 100;
        alice.reads = 5'000'000'000LL;
        alice.writes = 7;
        alice.loginTime = *types::parseDateTime("2024-02-29 13:45:30.500");
        alice.databaseId = 5;
        ScriptedSession bob;
        bob.sessionId = 61;
        bob.loginName = "bob";
        f.instance.addSessions({alice, bob});
        ScriptedRequest running;
        running.sessionId = 60;
        running.cpuTime = 20;
        running.reads = 3;
        running.writes = 4;
        running.sqlText = "select 1";
        ScriptedRequest blocked;
        blocked.sessionId = 61;
        blocked.status = "suspended";
        blocked.blockingSessionId = 60;
        f.instance.addRequests({running, blocked});
    }

    void selectListTypes_data() {
        QTest::addColumn<QString>("expression");
        QTest::addColumn<QString>("type");
        QTest::addColumn<int>("length");
        QTest::addColumn<QString>("value"); // "*": not compared

        auto row = [](const char* e, const char* t, int l, const char* v) {
            QTest::newRow(e) << QString::fromUtf8(e) << QString(t) << l << QString::fromUtf8(v);
        };
        // Column references take their declared types.
        row("S.session_id", "smallint", 0, "60");
        row("S.cpu_time", "int", 0, "100");
        row("S.reads", "bigint", 0, "5000000000");
        row("S.login_time", "datetime", 0, "2024-02-29 13:45:30.500");
        row("S.is_user_process", "bit", 0, "1");
        row("S.host_name", "nvarchar", 128, "host-a");
        row("C.client_net_address", "varchar", 48, "10.0.0.20");
        row("C.session_id", "int", 0, "60");
        row("R.sql_handle", "varbinary", 64, "*");
        row("datalength(R.sql_handle)", "int", 0, "44");
        row("R.transaction_isolation_level", "smallint", 0, "2");
        // isnull and nullif take the type of their first argument.
        row("isnull(S.last_request_end_time,0)", "datetime", 0, "1900-01-01 00:00:00.000");
        row("isnull(isnull(S.last_request_end_time,S.last_request_start_time),0)", "datetime", 0,
            "1900-01-01 00:00:00.000");
        row("isnull(S.nt_user_name,'')", "nvarchar", 128, "");
        row("isnull(R.blocking_session_id,0)", "smallint", 0, "0");
        row("isnull(R.executing_managed_code,0)", "bit", 0, "0");
        row("isnull(C.client_net_address,'')", "varchar", 48, "10.0.0.20");
        row("nullif(S.database_id,0)", "smallint", 0, "5");
        row("nullif(S.cpu_time,100)", "int", 0, "NULL");
        row("coalesce(S.nt_user_name, S.host_name)", "nvarchar", 128, "host-a");
        // Arithmetic takes the higher integer type; datetime + int stays datetime.
        row("isnull(R.cpu_time,0)+S.cpu_time", "int", 0, "120");
        row("isnull(R.reads+R.writes,0)+S.reads+S.writes", "bigint", 0, "5000000014");
        row("S.session_id + S.session_id", "smallint", 0, "120");
        row("S.session_id + 1", "int", 0, "61");
        row("S.cpu_time + S.reads", "bigint", 0, "5000000100");
        row("S.login_time + 1", "datetime", 0, "2024-03-01 13:45:30.500");
        row("S.cpu_time * 1.5", "float", 0, "150");
        row("S.cpu_time / 7", "int", 0, "14");
        row("(R.statement_start_offset/2)+1", "int", 0, "1");
        // String + is concatenation.
        row("S.host_name + N'!'", "nvarchar", 129, "host-a!");
        row("'ab' + 'c'", "nvarchar", 3, "abc");
        row("S.login_name + ' (' + S.host_name + ')'", "nvarchar", 259, "alice (host-a)");
        row("S.login_name + S.nt_user_name", "nvarchar", 256, "NULL");
        // Literals.
        row("1", "int", 0, "1");
        row("-5", "int", 0, "-5");
        row("2147483647", "int", 0, "2147483647");
        row("2147483648", "bigint", 0, "2147483648");
        row("9007199254740993", "bigint", 0, "9007199254740993");
        row("1.5", "float", 0, "1.5");
        row("'x'", "nvarchar", 1, "x");
        row("N'Жук'", "nvarchar", 3, "Жук");
        row("null", "int", 0, "NULL");
        row("0x0A0B", "varbinary", 2, "0x0A0B");
        // CASE takes the highest type of its branches.
        row("case when S.cpu_time > 50 then 1 else 0 end", "int", 0, "1");
        row("case when 1=1 then S.session_id else S.cpu_time end", "int", 0, "60");
        row("case when 1=0 then 1 else 2.5 end", "float", 0, "2.5");
        row("case S.status when 'SLEEPING' then N'z' else 'longer' end", "nvarchar", 6, "z");
        row("case when 1=0 then 1 end", "int", 0, "NULL");
        row("case when exists(select * from sys.dm_exec_requests where "
            "blocking_session_id=S.session_id) then 1 else 0 end",
            "int", 0, "1");
        // Built-in functions and variables.
        row("db_name(S.database_id)", "nvarchar", 128, "Sales");
        row("isnull(db_name(nullif(0,0)),'')", "nvarchar", 128, "");
        row("db_name()", "nvarchar", 128, "master");
        row("datalength(N'abc')", "int", 0, "6");
        row("datalength(S.host_name)", "int", 0, "12");
        row("datalength(S.session_id)", "int", 0, "2");
        row("datalength(C.client_net_address)", "int", 0, "9");
        row("@@SERVERNAME", "nvarchar", 128, "DERVEL-SQL");
        row("@@VERSION", "nvarchar", 300, "*");
        row("@@spid", "smallint", 0, "*");
        row("suser_name()", "nvarchar", 128, "sa");
        row("upper(S.login_name)", "nvarchar", 128, "ALICE");
        row("(select count(*) from sys.databases)", "int", 0, "7");
        row("getdate()", "datetime", 0, "*");
    }

    void selectListTypes() {
        QFETCH(QString, expression);
        QFETCH(QString, type);
        QFETCH(int, length);
        QFETCH(QString, value);
        const auto out = f.first(source(expression.toStdString() + " as v"));
        QVERIFY2(!out.failed, out.messages.empty() ? "" : out.messages[0].text.c_str());
        QVERIFY(out.result);
        QCOMPARE(out.result->columns.size(), std::size_t(1));
        const Column& c = out.result->columns[0];
        QCOMPARE(QString::fromStdString(c.name), QString("v"));
        QCOMPARE(typeName(c.type), type);
        QCOMPARE(c.length, length);
        QCOMPARE(out.result->rows.size(), std::size_t(1));
        if (value != "*")
            QCOMPARE(valueText(out.result->rows[0][0], c.type), value);
    }

    void outerJoinColumnsAreNullable() {
        const auto out = f.first(source("S.cpu_time, R.cpu_time, C.connection_id, "
                                        "isnull(R.cpu_time,0), R.cpu_time + S.cpu_time"));
        QVERIFY(out.result);
        std::vector<bool> nullable;
        for (const auto& c : out.result->columns)
            nullable.push_back(c.nullable);
        QCOMPARE(nullable, (std::vector<bool>{false, true, true, false, true}));
    }

    void maxLengthTexts() {
        ScriptedSession s;
        s.sessionId = 62;
        f.instance.addSession(s);
        ScriptedRequest r;
        r.sessionId = 62;
        r.sqlText = "select 'Ж'";
        f.instance.addRequest(r);
        const auto out =
            f.first("select T.text, datalength(T.text) from sys.dm_exec_requests R cross apply "
                    "sys.dm_exec_sql_text(R.sql_handle) T where R.session_id=62");
        f.instance.endSession(62);
        QVERIFY(out.result);
        QCOMPARE(typeName(out.result->columns[0].type), QString("nvarchar"));
        QCOMPARE(out.result->columns[0].length, 0); // max
        QCOMPARE(typeName(out.result->columns[1].type), QString("bigint"));
        QCOMPARE(valueText(out.result->rows.at(0)[1], SqlType::BigInt), QString("20"));
    }

    void predicates_data() {
        QTest::addColumn<QString>("condition");
        QTest::addColumn<QString>("sessions"); // the matching ids among 60 and 61

        QTest::newRow("case-insensitive equality") << "S.login_name = 'ALICE'"
                                                   << "60";
        QTest::newRow("not equal") << "S.login_name <> 'alice'"
                                   << "61";
        QTest::newRow("in list") << "isnull(R.status,S.status) in('running','runnable')"
                                 << "60";
        QTest::newRow("not in") << "S.login_name not in ('alice')"
                                << "61";
        QTest::newRow("datetime against a literal") << "S.login_time < '2024-03-01'"
                                                    << "60";
        QTest::newRow("like") << "S.login_name like 'B%'"
                              << "61";
        QTest::newRow("between") << "S.session_id between 59 and 60"
                                 << "60";
        QTest::newRow("is null") << "S.last_request_end_time is null"
                                 << "60,61";
        QTest::newRow("not and or")
            << "not (S.session_id = 60) and (S.cpu_time = 0 or S.cpu_time = 100)"
            << "61";
        QTest::newRow("exists")
            << "exists(select * from sys.dm_exec_requests where blocking_session_id=S.session_id)"
            << "60";
        QTest::newRow("in subquery")
            << "S.session_id in (select blocking_session_id from sys.dm_exec_requests)"
            << "60";
        QTest::newRow("parenthesised arithmetic") << "(S.cpu_time + 1) > 100"
                                                  << "60";
        QTest::newRow("bang operators") << "S.session_id !> 60 and S.session_id != 61"
                                        << "60";
    }

    void predicates() {
        QFETCH(QString, condition);
        QFETCH(QString, sessions);
        const auto out = f.first(source("S.session_id", "S.session_id in (60, 61) and (" +
                                                            condition.toStdString() + ")") +
                                 " order by 1");
        QVERIFY2(!out.failed, out.messages.empty() ? "" : out.messages[0].text.c_str());
        QStringList ids;
        for (const auto& r : out.result->rows)
            ids << valueText(r[0], SqlType::SmallInt);
        QCOMPARE(ids.join(','), sessions);
    }

    void orderBy_data() {
        QTest::addColumn<QString>("order");
        QTest::addColumn<QString>("ids");
        QTest::newRow("ordinal") << "order by 2"
                                 << "60,61";
        QTest::newRow("ordinal desc") << "order by 2 desc"
                                      << "61,60";
        QTest::newRow("alias") << "order by Who desc"
                               << "61,60";
        QTest::newRow("column") << "order by S.cpu_time"
                                << "61,60";
        QTest::newRow("two keys") << "order by S.is_user_process, 1 desc"
                                  << "61,60";
        QTest::newRow("case-insensitive text") << "order by upper(S.login_name) desc"
                                               << "61,60";
    }

    void orderBy() {
        QFETCH(QString, order);
        QFETCH(QString, ids);
        const auto out = f.first("select S.session_id, Who = S.login_name from "
                                 "sys.dm_exec_sessions S where S.session_id in (60,61) " +
                                 order.toStdString());
        QVERIFY2(!out.failed, out.messages.empty() ? "" : out.messages[0].text.c_str());
        QStringList got;
        for (const auto& r : out.result->rows)
            got << valueText(r[0], SqlType::SmallInt);
        QCOMPARE(got.join(','), ids);
    }

    void aliasForms() {
        const auto out = f.first("select a = 1, 2 as b, 3 c, 4 as [d e], 5 'f', S.login_name "
                                 "from sys.dm_exec_sessions S where S.session_id = 60");
        QVERIFY(out.result);
        QStringList names;
        for (const auto& c : out.result->columns)
            names << QString::fromStdString(c.name);
        QCOMPARE(names, QStringList({"a", "b", "c", "d e", "f", "login_name"}));
    }

    void selectStarFollowsTheCatalog() {
        const auto out = f.first("select * from sys.dm_exec_connections C, sys.databases D "
                                 "where C.session_id = 60 and D.database_id = 1");
        QVERIFY(out.result);
        const auto& cols = out.result->columns;
        QCOMPARE(QString::fromStdString(cols.front().name), QString("session_id"));
        QCOMPARE(typeName(cols.front().type), QString("int"));
        QCOMPARE(QString::fromStdString(cols[15].name), QString("client_net_address"));
        QCOMPARE(QString::fromStdString(cols[21].name), QString("most_recent_sql_handle"));
        QCOMPARE(QString::fromStdString(cols[22].name), QString("name")); // sys.databases next
        QCOMPARE(QString::fromStdString(cols[23].name), QString("database_id"));
    }
};

QTEST_GUILESS_MAIN(TstRewriter)
#include "tst_rewriter.moc"
