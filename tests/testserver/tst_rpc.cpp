// Prepared and parameterised statements end to end: FreeTDS turns SQLPrepare/SQLExecute
// into RPCs (sp_prepexec, sp_execute, sp_unprepare), which the server answers with the
// statement's results, the prepared handle as an OUTPUT value, the return status and
// DONEPROC. bsqlodbc runs every batch that way.

#include "benchserver.h"
#include "instance.h"
#include "odbc_client.h"
#include "tds_server.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

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

} // namespace

class TstRpc : public QObject {
    Q_OBJECT

    std::unique_ptr<TdsServer> server;
    int port = 0;

    Instance& instance() { return server->instance(); }

    std::unique_ptr<OdbcClient> connected() {
        auto c = std::make_unique<OdbcClient>();
        if (!c->connect(OdbcClient::connectionString(port)))
            qWarning() << "connect failed:" << DiagnosticsText(c->connectDiags()).c_str();
        return c;
    }

    // What DBCC INPUTBUFFER reports for a session, seen from a scripted one.
    QStringList inputBuffer(int spid) {
        ScriptedSession s;
        s.withConnection = false;
        const int observer = instance().addSession(s);
        const auto out =
            instance().execute(observer, "DBCC INPUTBUFFER(" + std::to_string(spid) + ")");
        instance().endSession(observer);
        const auto& row = out.statements.at(0).result->rows.at(0);
        return {QString::fromStdString(std::get<std::string>(row[0])),
                QString::number(std::get<std::int64_t>(row[1])),
                QString::fromStdString(std::get<std::string>(row[2]))};
    }

private slots:
    void init() {
        server = std::make_unique<TdsServer>();
        port = server->start(0);
        QVERIFY(port > 0);
    }

    void cleanup() { server.reset(); }

    // The application's own sampling query (the grid's built-in layout), as the sampler
    // benchmark has FreeTDS's bsqlodbc run it for comparison.
    void bsqlodbcReadsTheWholeSamplingQuery() {
        std::vector<ScriptedSession> sessions(400);
        for (std::size_t i = 0; i < sessions.size(); ++i) {
            sessions[i].hostName = "БУХГАЛТЕРИЯ-" + std::to_string(i);
            sessions[i].loginName = i % 2 ? "O'Brien" : "Иванов";
        }
        instance().addSessions(sessions);
        const std::size_t expected = instance().sessionIds().size() + 1; // bsqlodbc's own

        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QFile ini(dir.filePath("odbc.ini"));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write(QStringLiteral("[rpctest]\nDriver = FreeTDS\nServer = 127.0.0.1\nPort = %1\n"
                                 "TDS_Version = 7.4\nClientCharset = UTF-8\n")
                      .arg(port)
                      .toUtf8());
        ini.close();
        QFile sql(dir.filePath("sampling.sql"));
        QVERIFY(sql.open(QIODevice::WriteOnly));
        sql.write((DefaultSamplingQuery() + "\ngo\n").toUtf8());
        sql.close();

        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("ODBCINI", ini.fileName());
        p.setProcessEnvironment(env);
        p.start("bsqlodbc", {"-S", "rpctest", "-U", "sa", "-P", "Dervel-2026", "-h", "-t", "|",
                             "-i", sql.fileName()});
        QVERIFY2(p.waitForFinished(60000), "bsqlodbc did not finish");
        const QString errors = QString::fromUtf8(p.readAllStandardError());
        QVERIFY2(p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0, qPrintable(errors));
        QVERIFY2(errors.isEmpty(), qPrintable(errors));

        // bsqlodbc binds each column with its display size and no room for the
        // terminator, so every datetime comes back one digit short and FreeTDS warns once
        // a row; that is the client, as against any SQL Server.
        QStringList lines;
        for (const QString& line :
             QString::fromUtf8(p.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts))
            if (line != "\"[FreeTDS][SQL Server]Data truncated\"")
                lines << line;
        QVERIFY(lines.size() > 2);
        const QStringList header = lines.takeFirst().split('|');
        lines.removeFirst(); // the underlines
        const auto column = [&](const char* name) {
            for (int i = 0; i < header.size(); ++i)
                if (header[i].trimmed() == name)
                    return i;
            return -1;
        };
        const int spidAt = column("SPID"), loginAt = column("Login"), hostAt = column("Host");
        QVERIFY(spidAt >= 0 && loginAt >= 0 && hostAt >= 0);

        QCOMPARE(static_cast<std::size_t>(lines.size()), expected);
        int previous = 0;
        int cyrillicHosts = 0;
        int apostropheLogins = 0;
        for (const QString& line : lines) {
            const QStringList fields = line.split('|');
            QCOMPARE(fields.size(), header.size());
            const int spid = fields[spidAt].trimmed().toInt();
            QVERIFY2(spid > previous, qPrintable(line)); // order by SPID
            previous = spid;
            cyrillicHosts += fields[hostAt].trimmed().startsWith("БУХГАЛТЕРИЯ-");
            apostropheLogins += fields[loginAt].trimmed() == "O'Brien";
        }
        QCOMPARE(cyrillicHosts, 400);
        QCOMPARE(apostropheLogins, 200);
    }

    void preparedStatementRunsAgainThroughItsHandle() {
        auto c = connected();
        const int spid = c->spid();
        // The statement reports the RPC event that runs it.
        const auto runs =
            c->execPrepared("DBCC INPUTBUFFER(" + std::to_string(spid) + ")", {{}, {}, {}});
        QCOMPARE(runs.size(), std::size_t(3));
        QStringList events;
        for (const auto& out : runs) {
            QVERIFY2(SQL_SUCCEEDED(out.rc), DiagnosticsText(out.diags).c_str());
            const auto& row = out.results.at(0).rows.at(0);
            events << text(row.at(0)) + " " + QString::number(integer(row.at(1))) + " " +
                          text(row.at(2));
        }
        // Prepared and run at once with handle, declaration and text; then by handle.
        QCOMPARE(events, (QStringList{"RPC Event 3 sp_prepexec", "RPC Event 1 sp_execute",
                                      "RPC Event 1 sp_execute"}));
        // Freeing the statement releases the handle.
        QCOMPARE(inputBuffer(spid), (QStringList{"RPC Event", "1", "sp_unprepare"}));
        const auto after = c->exec("select 5");
        QCOMPARE(integer(after.results.at(0).rows.at(0).at(0)), std::int64_t{5});
    }

    void boundParametersReachTheStatement_data() {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<int>("number");
        QTest::addColumn<QString>("word");
        QTest::addColumn<QString>("expected");
        QTest::newRow("two values") << "select ? as n, ? as w" << 42 << "Иванов"
                                    << "42 Иванов";
        QTest::newRow("quote in text") << "select ? as n, ? as w" << -7 << "O'Brien"
                                       << "-7 O'Brien";
        QTest::newRow("in a filter")
            << "select count(*), min(login_name) from sys.dm_exec_sessions "
               "where session_id = @@spid and ? > 0 and login_name = ?"
            << 1 << "sa"
            << "1 sa";
    }

    void boundParametersReachTheStatement() {
        QFETCH(QString, sql);
        QFETCH(int, number);
        QFETCH(QString, word);
        QFETCH(QString, expected);
        auto c = connected();
        const std::vector<OdbcValue> values{std::int64_t{number}, word.toStdString()};
        const auto runs = c->execPrepared(sql.toStdString(), {values, values});
        QCOMPARE(runs.size(), std::size_t(2));
        for (const auto& out : runs) {
            QVERIFY2(SQL_SUCCEEDED(out.rc), DiagnosticsText(out.diags).c_str());
            const auto& row = out.results.at(0).rows.at(0);
            QCOMPARE(QString::number(integer(row.at(0))) + " " + text(row.at(1)), expected);
        }
    }

    void failingPreparedStatementReportsItsError() {
        auto c = connected();
        const auto runs = c->execPrepared("select * from nosuch", {{}});
        QCOMPARE(runs.size(), std::size_t(1));
        QCOMPARE(runs[0].rc, SQLRETURN(SQL_ERROR));
        QVERIFY(!runs[0].diags.empty());
        QCOMPARE(QString::fromStdString(runs[0].diags[0].message),
                 QString("[FreeTDS][SQL Server]Invalid object name 'nosuch'."));
        QCOMPARE(runs[0].diags[0].native, 208);
        const auto after = c->execPrepared("select 3", {{}});
        QCOMPARE(integer(after.at(0).results.at(0).rows.at(0).at(0)), std::int64_t{3});
    }
};

QTEST_GUILESS_MAIN(TstRpc)
#include "tst_rpc.moc"
