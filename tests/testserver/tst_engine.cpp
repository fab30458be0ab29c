// The engine through Instance::execute: the statements the application sends, their
// types and values, SQL Server's errors, KILL, DBCC INPUTBUFFER, the session's own
// running request, and the scripting API.

#include "engine_fixture.h"
#include "sampling_text.h"

#include <QtTest>

using namespace testserver;

namespace {

const char* const kSamplingNames[] = {"SPID",
                                      "Login",
                                      "StatusAux",
                                      "Command",
                                      "DB",
                                      "ProgName",
                                      "LoginTime",
                                      "LastTime",
                                      "CPU",
                                      "IO",
                                      "Mem",
                                      "Host",
                                      "NTLogin",
                                      "BlockingAux",
                                      "ClientInterface",
                                      "NTDomain",
                                      "ElapsedTime",
                                      "Reads",
                                      "Writes",
                                      "LogicalReads",
                                      "IsolationLevel",
                                      "LockTimeout",
                                      "RowCnt",
                                      "OriginalLogin",
                                      "OpenTran",
                                      "WaitType",
                                      "WaitTime",
                                      "WaitResource",
                                      "NestedLevel",
                                      "CLR",
                                      "NetTransport",
                                      "Protocol",
                                      "AuthScheme",
                                      "ClientAddress",
                                      "ClientPort",
                                      "ServerAddress",
                                      "ServerPort",
                                      "Status",
                                      "Blocking",
                                      "Blocked",
                                      "IsUser",
                                      "RequestID",
                                      "SelfID"};

const char* const kSamplingTypes[] = {
    "smallint", "nvarchar", "nvarchar", "nvarchar", "nvarchar", "nvarchar", "datetime", "datetime",
    "int",      "bigint",   "int",      "nvarchar", "nvarchar", "smallint", "nvarchar", "nvarchar",
    "int",      "bigint",   "bigint",   "bigint",   "smallint", "int",      "bigint",   "nvarchar",
    "int",      "nvarchar", "int",      "nvarchar", "int",      "bit",      "nvarchar", "nvarchar",
    "nvarchar", "varchar",  "int",      "varchar",  "int",      "nvarchar", "smallint", "int",
    "bit",      "int",      "int"};

QString message(const StatementOutcome& o) {
    return o.messages.empty() ? QString() : QString::fromStdString(o.messages[0].text);
}

int columnIndex(const ResultSet& rs, const char* name) {
    for (std::size_t i = 0; i < rs.columns.size(); ++i)
        if (rs.columns[i].name == name)
            return static_cast<int>(i);
    return -1;
}

QString cell(const ResultSet& rs, std::size_t row, const char* column) {
    const int i = columnIndex(rs, column);
    if (i < 0)
        return "<no column>";
    return valueText(rs.rows.at(row)[static_cast<std::size_t>(i)],
                     rs.columns[static_cast<std::size_t>(i)].type);
}

std::size_t rowOf(const ResultSet& rs, int spid) {
    for (std::size_t r = 0; r < rs.rows.size(); ++r)
        if (std::get<std::int64_t>(rs.rows[r][0]) == spid)
            return r;
    return rs.rows.size();
}

} // namespace

class TstEngine : public QObject {
    Q_OBJECT

    std::unique_ptr<EngineFixture> f;

    // alice runs a request in Sales and blocks bob's; O'Brien never ran anything and has
    // database id 0.
    void script() {
        ScriptedSession alice;
        alice.sessionId = 60;
        alice.loginName = "alice";
        alice.databaseId = 5;
        alice.status = "running";
        alice.lastRequestStartTime = *types::parseDateTime("2025-06-01 10:00:00");
        ScriptedSession bob;
        bob.sessionId = 61;
        bob.loginName = "bob";
        bob.databaseId = 6;
        bob.status = "running";
        ScriptedSession obrien;
        obrien.sessionId = 62;
        obrien.loginName = "O'Brien";
        obrien.databaseId = 0;
        obrien.withConnection = false;
        f->instance.addSessions({alice, bob, obrien});
        ScriptedRequest a;
        a.sessionId = 60;
        a.sqlText = "update t set x = 1";
        a.command = "UPDATE";
        ScriptedRequest b;
        b.sessionId = 61;
        b.status = "suspended";
        b.blockingSessionId = 60;
        b.waitType = "LCK_M_S";
        b.waitTime = 1234;
        b.waitResource = "KEY: 5:72057594043236352 (8194443284a0)";
        f->instance.addRequests({a, b});
    }

    QStringList spids(const ResultSet& rs) {
        QStringList out;
        for (const auto& r : rs.rows)
            out << valueText(r[0], SqlType::SmallInt);
        return out;
    }

private slots:
    void init() {
        f = std::make_unique<EngineFixture>();
        script();
    }

    void cleanup() { f.reset(); }

    void connectStatementTypesAndValues() {
        const auto out = f->first(connectStatement());
        QVERIFY2(out.result, qPrintable(message(out)));
        const auto& rs = *out.result;
        QCOMPARE(rs.columns.size(), std::size_t(3));
        for (const auto& c : rs.columns)
            QCOMPARE(typeName(c.type), QString("nvarchar"));
        QCOMPARE(QString::fromStdString(rs.columns[1].name), QString("ConnectDescr"));
        QStringList names;
        for (std::size_t r = 0; r < rs.rows.size(); ++r)
            names << cell(rs, r, "Name");
        QCOMPARE(names, QStringList({"Archive", "Inventory", "master", "model", "msdb", "Sales",
                                     "tempdb"}));
        QCOMPARE(cell(rs, 0, "ConnectDescr"), QString("DERVEL-SQL (sa)"));
        QVERIFY(cell(rs, 0, "Version").contains("15.0.4322.2"));

        f->instance.setServerName(std::nullopt);
        const auto unnamed = f->first(connectStatement());
        QCOMPARE(cell(*unnamed.result, 0, "ConnectDescr"), QString("NULL"));
    }

    void samplingQueryColumns() {
        const auto out = f->first(samplingQuery());
        QVERIFY2(out.result, qPrintable(message(out)));
        const auto& rs = *out.result;
        QCOMPARE(rs.columns.size(), std::size(kSamplingNames));
        for (std::size_t i = 0; i < rs.columns.size(); ++i) {
            QCOMPARE(QString::fromStdString(rs.columns[i].name), QString(kSamplingNames[i]));
            QCOMPARE(typeName(rs.columns[i].type), QString(kSamplingTypes[i]));
        }
        QCOMPARE(spids(rs).mid(0, 3), QStringList({"1", "2", "3"}));
        QCOMPARE(rs.rows.size(), std::size_t(12 + 4));

        const std::size_t own = rowOf(rs, f->spid);
        QCOMPARE(cell(rs, own, "SelfID"), QString("1"));
        QCOMPARE(cell(rs, own, "Status"), QString("running"));
        QCOMPARE(cell(rs, own, "Command"), QString("SELECT"));
        QCOMPARE(cell(rs, own, "Host"), QString("TESTHOST"));
        QCOMPARE(cell(rs, own, "NetTransport"), QString("TCP"));

        const std::size_t alice = rowOf(rs, 60);
        QCOMPARE(cell(rs, alice, "DB"), QString("Sales"));
        QCOMPARE(cell(rs, alice, "Blocked"), QString("1"));
        QCOMPARE(cell(rs, alice, "Blocking"), QString("0"));
        QCOMPARE(cell(rs, alice, "SelfID"), QString("0"));
        QCOMPARE(cell(rs, alice, "LastTime"), QString("2025-06-01 10:00:00.000"));

        const std::size_t bob = rowOf(rs, 61);
        QCOMPARE(cell(rs, bob, "Status"), QString("suspended"));
        QCOMPARE(cell(rs, bob, "Blocking"), QString("60"));
        QCOMPARE(cell(rs, bob, "WaitType"), QString("LCK_M_S"));
        QCOMPARE(cell(rs, bob, "WaitTime"), QString("1234"));

        const std::size_t obrien = rowOf(rs, 62);
        QCOMPARE(cell(rs, obrien, "LastTime"), QString("1900-01-01 00:00:00.000"));
        QCOMPARE(cell(rs, obrien, "DB"), QString(""));
        QCOMPARE(cell(rs, obrien, "Command"), QString(""));
        QCOMPARE(cell(rs, obrien, "RequestID"), QString("0"));
        QCOMPARE(cell(rs, obrien, "NetTransport"), QString(""));
        QCOMPARE(cell(rs, obrien, "ClientPort"), QString("0"));

        const std::size_t system = rowOf(rs, 3);
        QCOMPARE(cell(rs, system, "IsUser"), QString("0"));
        QCOMPARE(cell(rs, system, "Command"), QString("LAZY WRITER"));
        QCOMPARE(cell(rs, system, "Status"), QString("background"));
    }

    void samplingQueryFilters_data() {
        QTest::addColumn<std::vector<std::string>>("filters");
        QTest::addColumn<QString>("ids");
        const QString own = "51";
        QTest::newRow("database") << std::vector<std::string>{databaseFilter("Sales")} << "60";
        QTest::newRow("database, other case")
            << std::vector<std::string>{databaseFilter("sales")} << "60";
        QTest::newRow("<empty> database") << std::vector<std::string>{databaseFilter("")} << "62";
        QTest::newRow("statuses") << std::vector<std::string>{statusFilter("'running','runnable'")}
                                  << own + ",60";
        QTest::newRow("one status")
            << std::vector<std::string>{statusFilter("'suspended'")} << "11,61";
        QTest::newRow("login with an apostrophe")
            << std::vector<std::string>{loginFilter("O'Brien")} << "62";
        QTest::newRow("user sessions")
            << std::vector<std::string>{userOnlyFilter()} << own + ",60,61,62";
        QTest::newRow("blocking chains") << std::vector<std::string>{blockingFilter()} << "60,61";
        QTest::newRow("every filter")
            << std::vector<std::string>{databaseFilter("Inventory"), statusFilter("'suspended'"),
                                        loginFilter("bob"), userOnlyFilter(), blockingFilter()}
            << "61";
    }

    void samplingQueryFilters() {
        QFETCH(std::vector<std::string>, filters);
        QFETCH(QString, ids);
        const auto out = f->first(samplingQuery({{}, filters, 1, false}));
        QVERIFY2(out.result, qPrintable(message(out)));
        QCOMPARE(spids(*out.result).join(','), ids);
    }

    void samplingQueryHiddenLinesAndOrder_data() {
        QTest::addColumn<std::vector<int>>("hidden");
        QTest::addColumn<int>("orderBy");
        QTest::addColumn<bool>("descending");
        QTest::addColumn<QString>("firstColumns");
        QTest::addColumn<QString>("userIds"); // the order of the user sessions

        QTest::newRow("ascending by SPID")
            << std::vector<int>{} << 1 << false << "SPID,Login,StatusAux"
            << "51,60,61,62";
        QTest::newRow("descending by SPID")
            << std::vector<int>{} << 1 << true << "SPID,Login,StatusAux"
            << "62,61,60,51";
        QTest::newRow("Login and Status hidden, Command descending")
            << std::vector<int>{1, 2} << 2 << true << "SPID,Command,DB"
            << "60,51,61,62";
        QTest::newRow("every optional line hidden") <<
            [] {
                std::vector<int> all;
                for (int i = 1; i <= 36; ++i)
                    all.push_back(i);
                return all;
            }() << 1 << true << "SPID,Status,Blocking"
                                                    << "62,61,60,51";
        QTest::newRow("by login") << std::vector<int>{} << 2 << false << "SPID,Login,StatusAux"
                                  << "60,61,62,51";
    }

    void samplingQueryHiddenLinesAndOrder() {
        QFETCH(std::vector<int>, hidden);
        QFETCH(int, orderBy);
        QFETCH(bool, descending);
        QFETCH(QString, firstColumns);
        QFETCH(QString, userIds);
        const auto out = f->first(samplingQuery({hidden, {userOnlyFilter()}, orderBy, descending}));
        QVERIFY2(out.result, qPrintable(message(out)));
        const auto& rs = *out.result;
        QCOMPARE(rs.columns.size(), std::size(kSamplingNames) - hidden.size());
        QStringList names;
        for (std::size_t i = 0; i < 3; ++i)
            names << QString::fromStdString(rs.columns[i].name);
        QCOMPARE(names.join(','), firstColumns);
        QCOMPARE(spids(rs).join(','), userIds);
    }

    void detailStatements() {
        for (const char* view : {"sys.dm_exec_sessions", "sys.dm_exec_connections"}) {
            const auto out =
                f->first(std::string("select * from ") + view + " where session_id=60");
            QVERIFY2(out.result, qPrintable(message(out)));
            QCOMPARE(out.result->rows.size(), std::size_t(1));
            QCOMPARE(QString::fromStdString(out.result->columns[0].name), QString("session_id"));
        }
        const auto sessions = f->first("select * from sys.dm_exec_sessions where session_id=60");
        QCOMPARE(sessions.result->columns.size(), std::size_t(50));
        QCOMPARE(cell(*sessions.result, 0, "login_name"), QString("alice"));
        QCOMPARE(typeName(sessions.result->columns[1].type), QString("datetime"));

        const auto requests =
            f->first("select * from sys.dm_exec_requests where session_id=61 and request_id=0");
        QVERIFY2(requests.result, qPrintable(message(requests)));
        QCOMPARE(requests.result->columns.size(), std::size_t(60));
        QCOMPARE(cell(*requests.result, 0, "blocking_session_id"), QString("60"));
        QCOMPARE(cell(*requests.result, 0, "wait_resource"),
                 QString("KEY: 5:72057594043236352 (8194443284a0)"));
        QCOMPARE(typeName(requests.result->columns[5].type), QString("varbinary"));

        const auto none = f->first("select * from sys.dm_exec_requests where session_id=62 and "
                                   "request_id=0");
        QVERIFY(none.result);
        QCOMPARE(none.result->rows.size(), std::size_t(0));
        QCOMPARE(*none.rowCount, std::int64_t{0});
    }

    void statementTextOfAScriptedRequest_data() {
        QTest::addColumn<int>("start");
        QTest::addColumn<int>("end");
        QTest::addColumn<QString>("idx");
        const std::string text = "select 1;\r\nselect 2;\r\nselect 3";
        // The second statement: characters 12 to 19, as byte offsets 22 and 38.
        QTest::newRow("middle statement") << 22 << 38 << "12,20";
        QTest::newRow("to the end") << 44 << -1 << "23,31";
        QTest::newRow("whole batch") << 0 << -1 << "1,31";
    }

    void statementTextOfAScriptedRequest() {
        QFETCH(int, start);
        QFETCH(int, end);
        QFETCH(QString, idx);
        ScriptedRequest r;
        r.sessionId = 62;
        r.sqlText = "select 1;\r\nselect 2;\r\nselect 3";
        r.statementStartOffset = start;
        r.statementEndOffset = end;
        f->instance.addRequest(r);
        const auto out = f->first(statementTextQuery(62, 0));
        QVERIFY2(out.result, qPrintable(message(out)));
        const auto& rs = *out.result;
        QCOMPARE(cell(rs, 0, "Idx1") + "," + cell(rs, 0, "Idx2"), idx);
        QCOMPARE(cell(rs, 0, "Text"), QString::fromStdString(*r.sqlText));
    }

    void ownRequestFollowsTheRunningStatement() {
        const std::string first = "select 1\r\n";
        const std::string second =
            "select statement_start_offset, statement_end_offset, command, status "
            "from sys.dm_exec_requests where session_id=@@spid";
        const std::string third = "\r\nselect S.status from sys.dm_exec_sessions S "
                                  "where S.session_id=@@spid";
        const auto out = f->run(first + second + third);
        QCOMPARE(out.statements.size(), std::size_t(3));
        const auto& rs = *out.statements[1].result;
        QCOMPARE(cell(rs, 0, "statement_start_offset"), QString::number(2 * first.size()));
        QCOMPARE(cell(rs, 0, "statement_end_offset"),
                 QString::number(2 * (first.size() + second.size())));
        QCOMPARE(cell(rs, 0, "command"), QString("SELECT"));
        QCOMPARE(cell(rs, 0, "status"), QString("running"));
        QCOMPARE(cell(*out.statements[2].result, 0, "status"), QString("running"));

        const auto last = f->first(statementTextQuery(f->spid, 0));
        QCOMPARE(cell(*last.result, 0, "Idx1"), QString("1"));
        QCOMPARE(cell(*last.result, 0, "Idx2").toInt(),
                 QString::fromStdString(statementTextQuery(f->spid, 0)).size() + 1);

        // Seen from another session, the batch is over: sleeping, no request, times set.
        const auto after = f->instance.execute(
            62, "select S.status, S.last_request_end_time, (select count(*) from "
                "sys.dm_exec_requests R where R.session_id = S.session_id) from "
                "sys.dm_exec_sessions S where S.session_id = " +
                    std::to_string(f->spid));
        const auto& row = after.statements.at(0).result->rows.at(0);
        QCOMPARE(valueText(row[0], SqlType::NVarChar), QString("sleeping"));
        QVERIFY(!std::holds_alternative<std::monostate>(row[1]));
        QCOMPARE(valueText(row[2], SqlType::Int), QString("0"));
    }

    void errors_data() {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<int>("number");
        QTest::addColumn<int>("severity");
        QTest::addColumn<QString>("text");

        QTest::newRow("102") << "select 1 +" << 102 << 15 << "Incorrect syntax near '+'.";
        QTest::newRow("102 mid-batch")
            << "select 1\nselect 2 2" << 102 << 15 << "Incorrect syntax near '2'.";
        QTest::newRow("102 after an alias")
            << "select 1 from sys.databases D D2" << 102 << 15 << "Incorrect syntax near 'D2'.";
        QTest::newRow("156 unsupported statement")
            << "grant select to bob" << 156 << 15 << "Incorrect syntax near the keyword 'grant'.";
        QTest::newRow("156 keyword") << "select from sys.databases" << 156 << 15
                                     << "Incorrect syntax near the keyword 'from'.";
        QTest::newRow("207") << "select nosuch from sys.databases" << 207 << 16
                             << "Invalid column name 'nosuch'.";
        QTest::newRow("207 qualified") << "select S.nosuch from sys.dm_exec_sessions S" << 207 << 16
                                       << "Invalid column name 'nosuch'.";
        QTest::newRow("208") << "select * from sys.nosuch" << 208 << 16
                             << "Invalid object name 'sys.nosuch'.";
        QTest::newRow("208 without schema") << "select * from dm_exec_sessions" << 208 << 16
                                            << "Invalid object name 'dm_exec_sessions'.";
        QTest::newRow("209") << "select session_id from sys.dm_exec_sessions S join "
                                "sys.dm_exec_requests R on R.session_id = S.session_id"
                             << 209 << 16 << "Ambiguous column name 'session_id'.";
        QTest::newRow("4104") << "select X.session_id from sys.dm_exec_sessions S" << 4104 << 16
                              << "The multi-part identifier \"X.session_id\" could not be "
                                 "bound.";
        QTest::newRow("195") << "select frobnicate(1)" << 195 << 15
                             << "'frobnicate' is not a recognized built-in function name.";
        QTest::newRow("174") << "select isnull(1)" << 174 << 15
                             << "The isnull function requires 2 argument(s).";
        QTest::newRow("137") << "select @x" << 137 << 15
                             << "Must declare the scalar variable \"@x\".";
        QTest::newRow("108") << "select 1 order by 2" << 108 << 16
                             << "The ORDER BY position number 2 is out of range of the number "
                                "of items in the select list.";
        QTest::newRow("263") << "select *" << 263 << 16 << "Must specify table to select from.";
        QTest::newRow("105") << "select 'abc" << 105 << 15
                             << "Unclosed quotation mark after the character string 'abc'.";
        QTest::newRow("4145") << "select 1 from sys.databases where 1" << 4145 << 15
                              << "An expression of non-boolean type specified in a context "
                                 "where a condition is expected, near '1'.";
        QTest::newRow("8134") << "select S.session_id / S.cpu_time from sys.dm_exec_sessions S "
                                 "where S.session_id = 62"
                              << 8134 << 16 << "Divide by zero error encountered.";
        QTest::newRow("8115") << "select 2147483647 + 1" << 8115 << 16
                              << "Arithmetic overflow error converting expression to data type "
                                 "int.";
        QTest::newRow("2526") << "DBCC CHECKDB" << 2526 << 16
                              << "Incorrect DBCC statement. Check the documentation for the "
                                 "correct DBCC syntax and options.";
        QTest::newRow("911") << "use nosuch" << 911 << 16
                             << "Database 'nosuch' does not exist. Make sure that the name is "
                                "entered correctly.";
    }

    void errors() {
        QFETCH(QString, sql);
        QFETCH(int, number);
        QFETCH(int, severity);
        QFETCH(QString, text);
        const auto out = f->run(sql.toStdString());
        QVERIFY(!out.statements.empty());
        const auto& last = out.statements.back();
        QVERIFY(last.failed);
        QVERIFY(!last.result);
        QCOMPARE(last.messages.size(), std::size_t(1));
        QCOMPARE(last.messages[0].number, number);
        QCOMPARE(last.messages[0].severity, severity);
        QCOMPARE(QString::fromStdString(last.messages[0].text), text);
    }

    void syntaxErrorRunsNothing() {
        const auto out = f->run("select 1\nselect 2 from");
        QCOMPARE(out.statements.size(), std::size_t(1));
        QCOMPARE(out.statements[0].messages.at(0).line, 2);
        QVERIFY(!out.statements[0].result);
    }

    void compileErrorEndsTheBatch() {
        const auto out = f->run("select 1; select * from nosuch; select 3");
        QCOMPARE(out.statements.size(), std::size_t(2));
        QVERIFY(out.statements[0].result);
        QVERIFY(out.statements[1].failed);
    }

    void multiStatementBatch() {
        const auto out = f->run("select 1 as a; select N'b' as b\r\nselect 3 select 4");
        QCOMPARE(out.statements.size(), std::size_t(4));
        for (const auto& s : out.statements) {
            QVERIFY(s.result);
            QCOMPARE(*s.rowCount, std::int64_t{1});
        }
        QCOMPARE(valueText(out.statements[3].result->rows[0][0], SqlType::Int), QString("4"));
    }

    void killErrors_data() {
        QTest::addColumn<int>("target"); // 0: the own session
        QTest::addColumn<int>("number");
        QTest::addColumn<int>("severity");
        QTest::addColumn<QString>("text");
        QTest::newRow("own session")
            << 0 << 6104 << 16 << "Cannot use KILL to kill your own process.";
        QTest::newRow("no such session")
            << 999 << 6106 << 16 << "Process ID 999 is not an active process ID.";
        QTest::newRow("system session") << 3 << 6107 << 14 << "Only user processes can be killed.";
    }

    void killErrors() {
        QFETCH(int, target);
        QFETCH(int, number);
        QFETCH(int, severity);
        QFETCH(QString, text);
        const int id = target ? target : f->spid;
        // A KILL error ends only its statement; the batch goes on.
        const auto out = f->run("kill " + std::to_string(id) + "\r\nselect 5");
        QCOMPARE(out.statements.size(), std::size_t(2));
        QCOMPARE(out.statements[0].messages.at(0).number, number);
        QCOMPARE(out.statements[0].messages.at(0).severity, severity);
        QCOMPARE(QString::fromStdString(out.statements[0].messages.at(0).text), text);
        QVERIFY(out.statements[1].result);
        if (number != 6106)
            QVERIFY(f->instance.hasSession(id));
    }

    void killEndsTheSession() {
        std::vector<int> killed;
        f->instance.setKillHandler([&](int spid) { killed.push_back(spid); });
        const std::string check =
            "select session_id from sys.dm_exec_sessions where session_id=60 and "
            "login_name='alice'";
        QCOMPARE(f->first(check).result->rows.size(), std::size_t(1));
        const auto out = f->first("kill 60");
        QVERIFY(!out.failed);
        QVERIFY(out.messages.empty());
        QVERIFY(!out.result);
        QCOMPARE(killed, std::vector<int>{60});
        QCOMPARE(f->first(check).result->rows.size(), std::size_t(0));
        const auto rest = f->first("select count(*) from sys.dm_exec_requests where session_id=60");
        QCOMPARE(valueText(rest.result->rows[0][0], SqlType::Int), QString("0"));
        QCOMPARE(f->first("select count(*) from sys.dm_exec_connections where session_id=60")
                     .result->rows[0][0],
                 Value(std::int64_t{0}));
    }

    void killVerificationWithAnApostrophe() {
        const auto out = f->first("select session_id from sys.dm_exec_sessions where "
                                  "session_id=62 and login_name='O''Brien'");
        QCOMPARE(out.result->rows.size(), std::size_t(1));
        QCOMPARE(out.result->columns[0].type, SqlType::SmallInt);
    }

    void inputBuffer_data() {
        QTest::addColumn<int>("target"); // 0: the own session
        QTest::addColumn<QString>("eventInfo");
        QTest::newRow("own session") << 0 << "DBCC INPUTBUFFER(51) WITH NO_INFOMSGS ";
        QTest::newRow("scripted buffer") << 60 << "exec dbo.Refresh @id = 5";
        QTest::newRow("nothing sent yet") << 62 << "";
    }

    void inputBuffer() {
        QFETCH(int, target);
        QFETCH(QString, eventInfo);
        QCOMPARE(f->spid, 51);
        f->instance.setInputBuffer(60, "exec dbo.Refresh @id = 5");
        const int id = target ? target : f->spid;
        const auto out = f->first("DBCC INPUTBUFFER(" + std::to_string(id) + ") WITH NO_INFOMSGS ");
        QVERIFY2(out.result, qPrintable(message(out)));
        QVERIFY(out.messages.empty());
        const auto& rs = *out.result;
        QCOMPARE(rs.columns.size(), std::size_t(3));
        QCOMPARE(QString::fromStdString(rs.columns[0].name), QString("EventType"));
        QCOMPARE(typeName(rs.columns[0].type), QString("nvarchar"));
        QCOMPARE(rs.columns[0].length, 30);
        QCOMPARE(typeName(rs.columns[1].type), QString("smallint"));
        QCOMPARE(QString::fromStdString(rs.columns[2].name), QString("EventInfo"));
        QCOMPARE(rs.columns[2].length, 4000);
        QCOMPARE(cell(rs, 0, "EventType"), QString("Language Event"));
        QCOMPARE(cell(rs, 0, "Parameters"), QString("0"));
        QCOMPARE(cell(rs, 0, "EventInfo"), eventInfo);
    }

    void inputBufferErrors() {
        const auto missing = f->first("DBCC INPUTBUFFER(999) WITH NO_INFOMSGS ");
        QCOMPARE(missing.messages.at(0).number, 7955);
        QCOMPARE(missing.messages.at(0).severity, 16);
        QCOMPARE(message(missing), QString("Invalid SPID 999 specified."));
        const auto system = f->first("DBCC INPUTBUFFER(3) WITH NO_INFOMSGS");
        QCOMPARE(system.messages.at(0).number, 7958);
        const auto chatty = f->first("DBCC INPUTBUFFER(60)");
        QVERIFY(chatty.result);
        QCOMPARE(chatty.messages.at(0).number, 2528);
        QCOMPARE(chatty.messages.at(0).severity, 0);
    }

    void useAndSet() {
        const auto use = f->first("use sales");
        QCOMPARE(use.newDatabase, std::optional<std::string>("Sales"));
        QCOMPARE(use.messages.at(0).number, 5701);
        QCOMPARE(valueText(f->first("select db_name()").result->rows[0][0], SqlType::NVarChar),
                 QString("Sales"));
        f->run("set transaction isolation level serializable; set lock_timeout 500\r\n"
               "set ansi_nulls, quoted_identifier off");
        const auto s = f->first("select transaction_isolation_level, lock_timeout, ansi_nulls, "
                                "quoted_identifier, database_id from sys.dm_exec_sessions "
                                "where session_id=@@spid");
        QStringList values;
        for (std::size_t i = 0; i < 5; ++i)
            values << valueText(s.result->rows[0][i], s.result->columns[i].type);
        QCOMPARE(values.join(','), QString("4,500,0,0,5"));
        const auto nocount = f->run("set nocount on; select 1");
        QVERIFY(!nocount.statements[1].rowCount);
    }

    void scriptedColumnsAndOverrides() {
        ScriptedSession s;
        s.sessionId = 70;
        s.ntDomain = "CORP";
        s.ntUserName = "jdoe";
        s.transactionIsolationLevel = 1;
        s.overrides = {{"context_info", std::vector<std::uint8_t>{1, 2}},
                       {"deadlock_priority", std::int64_t{-5}}};
        s.connection.clientNetAddress = "192.168.1.7";
        s.connection.overrides = {{"auth_scheme", std::string("NTLM")}};
        f->instance.addSession(s);
        const auto out = f->first(
            "select S.nt_domain, S.nt_user_name, S.transaction_isolation_level, S.context_info, "
            "S.deadlock_priority, C.client_net_address, C.auth_scheme from sys.dm_exec_sessions S "
            "join sys.dm_exec_connections C on C.session_id = S.session_id where S.session_id=70");
        QStringList values;
        for (std::size_t i = 0; i < 7; ++i)
            values << valueText(out.result->rows[0][i], out.result->columns[i].type);
        QCOMPARE(values.join(','), QString("CORP,jdoe,1,0x0102,-5,192.168.1.7,NTLM"));

        f->instance.updateSession(70, {{"status", std::string("runnable")}});
        QCOMPARE(f->first("select status from sys.dm_exec_sessions where session_id=70")
                     .result->rows[0][0],
                 Value(std::string("runnable")));
    }

    void scriptingRejectsMistakes() {
        ScriptedSession dup;
        dup.sessionId = 60;
        QVERIFY_THROWS_EXCEPTION(std::invalid_argument, f->instance.addSession(dup));
        ScriptedSession bad;
        bad.overrides = {{"no_such_column", std::int64_t{1}}};
        QVERIFY_THROWS_EXCEPTION(std::invalid_argument, f->instance.addSession(bad));
        ScriptedRequest orphan;
        orphan.sessionId = 999;
        QVERIFY_THROWS_EXCEPTION(std::invalid_argument, f->instance.addRequest(orphan));
        ScriptedRequest twice;
        twice.sessionId = 60;
        QVERIFY_THROWS_EXCEPTION(std::invalid_argument, f->instance.addRequest(twice));
        // A failed bulk call leaves nothing half-done.
        ScriptedSession fine;
        fine.sessionId = 80;
        QVERIFY_THROWS_EXCEPTION(std::invalid_argument, f->instance.addSessions({fine, dup}));
        QVERIFY(!f->instance.hasSession(80));
    }

    void sessionIdComesAndGoes() {
        std::vector<int> ended;
        f->instance.setKillHandler([&](int spid) { ended.push_back(spid); });
        QVERIFY(f->instance.endSession(62));
        QVERIFY(!f->instance.endSession(62));
        QCOMPARE(ended, std::vector<int>{62});
        const std::string check = "select login_name from sys.dm_exec_sessions where "
                                  "session_id=62 and login_name='O''Brien'";
        QCOMPARE(f->first(check).result->rows.size(), std::size_t(0));
        ScriptedSession back;
        back.sessionId = 62;
        back.loginName = "carol";
        f->instance.addSession(back);
        QCOMPARE(f->first(check).result->rows.size(), std::size_t(0));
        QCOMPARE(f->first("select login_name from sys.dm_exec_sessions where session_id=62")
                     .result->rows[0][0],
                 Value(std::string("carol")));
    }

    void scriptedSessionsCanBeCleared() {
        f->instance.removeScriptedSessions();
        const auto ids = f->instance.sessionIds();
        QVERIFY(std::find(ids.begin(), ids.end(), f->spid) != ids.end());
        QVERIFY(std::find(ids.begin(), ids.end(), 60) == ids.end());
        QVERIFY(std::find(ids.begin(), ids.end(), 3) != ids.end());
    }

    // What SQL Server shows a login without VIEW SERVER STATE or ALTER ANY CONNECTION.
    void limitedRights_data() {
        QTest::addColumn<bool>("viewServerState");
        QTest::addColumn<bool>("alterAnyConnection");
        QTest::newRow("neither") << false << false;
        QTest::newRow("view only") << true << false;
        QTest::newRow("both") << true << true;
    }

    void limitedRights() {
        QFETCH(bool, viewServerState);
        QFETCH(bool, alterAnyConnection);
        f->instance.addLogin("limited", "pw", {viewServerState, alterAnyConnection});
        LoginInfo info;
        info.user = "limited";
        info.password = "pw";
        const int me = f->instance.login(info).spid;
        QVERIFY(me > 0);
        auto run = [&](const std::string& sql) {
            const auto out = f->instance.execute(me, sql);
            return out.statements.empty() ? StatementOutcome{} : out.statements.front();
        };
        const auto perms = run("select HAS_PERMS_BY_NAME(NULL, NULL, 'VIEW SERVER STATE'), "
                               "HAS_PERMS_BY_NAME(NULL, NULL, 'ALTER ANY CONNECTION'), "
                               "HAS_PERMS_BY_NAME(NULL, NULL, 'SHUTDOWN')");
        QVERIFY2(perms.result, qPrintable(message(perms)));
        QCOMPARE(perms.result->rows[0][0], Value(std::int64_t{viewServerState}));
        QCOMPARE(perms.result->rows[0][1], Value(std::int64_t{alterAnyConnection}));
        QCOMPARE(perms.result->rows[0][2], Value());

        const auto sessions = run("select session_id from sys.dm_exec_sessions");
        QVERIFY2(sessions.result, qPrintable(message(sessions)));
        QCOMPARE(sessions.result->rows.size() == 1, !viewServerState);
        if (!viewServerState)
            QCOMPARE(sessions.result->rows[0][0], Value(std::int64_t{me}));
        const auto requests = run("select count(*) from sys.dm_exec_requests where session_id=60");
        QCOMPARE(requests.result->rows[0][0], Value(std::int64_t{viewServerState ? 1 : 0}));

        const auto connections = run("select count(*) from sys.dm_exec_connections");
        QCOMPARE(connections.failed, !viewServerState);
        if (!viewServerState) {
            QCOMPARE(connections.messages[0].number, 300);
            QCOMPARE(message(connections),
                     QString("VIEW SERVER STATE permission was denied on object 'server', "
                             "database 'master'."));
        }

        const auto kill = run("kill 61");
        QCOMPARE(kill.failed, !alterAnyConnection);
        if (!alterAnyConnection) {
            QCOMPARE(kill.messages[0].number, 6102);
            QCOMPARE(message(kill),
                     QString("User does not have permission to use the KILL statement."));
        }
        QCOMPARE(f->instance.hasSession(61), !alterAnyConnection);
    }

    void newSessionIdsStartAt51AndGoRound() {
        ScriptedSession s;
        const int a = f->instance.addSession(s);
        const int b = f->instance.addSession(s);
        QCOMPARE(b, a + 1);
        QVERIFY(a >= 52);
        f->instance.endSession(a);
        QVERIFY(f->instance.addSession(s) != a); // a freed id is not handed out at once
    }
};

QTEST_GUILESS_MAIN(TstEngine)
#include "tst_engine.moc"
