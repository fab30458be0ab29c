// The dervel-testserver executable: its announcement line, extra logins, the demo,
// argument errors and a clean stop on SIGTERM and SIGINT.

#include "odbc_client.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

class TstExecutable : public QObject {
    Q_OBJECT

    // Starts the server on a free port and returns the port it announced, or 0.
    int start(QProcess& p, const QStringList& extra = {}) {
        p.start(TESTSERVER_EXE, QStringList{"--port", "0"} + extra);
        if (!p.waitForStarted() || !p.waitForReadyRead(10000))
            return 0;
        const QString line = QString::fromUtf8(p.readLine());
        const auto m = QRegularExpression("^listening on 127\\.0\\.0\\.1:(\\d+)\\n$").match(line);
        return m.hasMatch() ? m.captured(1).toInt() : 0;
    }

private slots:
    void announcesItsPortAndServesLogins() {
        QProcess p;
        const int port = start(p, {"--login", "alice:Secret:1", "--login", "bob:x"});
        QVERIFY(port > 0);
        for (const auto& [user, password] :
             {std::pair<std::string, std::string>{"sa", "Dervel-2026"},
              {"alice", "Secret:1"},
              {"bob", "x"}}) {
            OdbcClient c;
            QVERIFY2(c.connect(OdbcClient::connectionString(port, user, password)), user.c_str());
            const auto out = c.exec("select suser_name()");
            QCOMPARE(std::get<std::string>(out.results.at(0).rows.at(0).at(0)), user);
        }
        p.terminate(); // SIGTERM
        QVERIFY(p.waitForFinished(10000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 0);
    }

    void stopsOnSigint() {
        QProcess p;
        QVERIFY(start(p) > 0);
        ::kill(static_cast<pid_t>(p.processId()), SIGINT);
        QVERIFY(p.waitForFinished(10000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 0);
    }

    void rejectsBadArguments_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("no port") << QStringList{};
        QTest::newRow("port without value") << QStringList{"--port"};
        QTest::newRow("port out of range") << QStringList{"--port", "70000"};
        QTest::newRow("login without password") << QStringList{"--port", "0", "--login", "x"};
        QTest::newRow("unknown option") << QStringList{"--port", "0", "--verbose"};
        QTest::newRow("seed without demo") << QStringList{"--port", "0", "--seed", "3"};
        QTest::newRow("no sessions") << QStringList{"--port", "0", "--demo", "--sessions", "0"};
        QTest::newRow("seed not a number") << QStringList{"--port", "0", "--demo", "--seed", "x"};
        QTest::newRow("sessions without value")
            << QStringList{"--port", "0", "--demo", "--sessions"};
        QTest::newRow("an unknown encryption") << QStringList{"--port", "0", "--encrypt", "maybe"};
        QTest::newRow("a certificate without its key")
            << QStringList{"--port", "0", "--cert", "server.pem"};
        QTest::newRow("the browser without an instance") << QStringList{"--port", "0", "--browser"};
    }

    void rejectsBadArguments() {
        QFETCH(QStringList, arguments);
        QProcess p;
        p.start(TESTSERVER_EXE, arguments);
        QVERIFY(p.waitForFinished(10000));
        QCOMPARE(p.exitCode(), 2);
        QVERIFY(p.readAllStandardOutput().isEmpty());
        QVERIFY(p.readAllStandardError().startsWith("usage: dervel-testserver"));
    }

    // The demo keeps moving in real time: a second sample differs from the first.
    void demoRunsUntilStopped() {
        QProcess p;
        const int port = start(p, {"--demo", "--seed", "5", "--sessions", "60"});
        QVERIFY(port > 0);
        OdbcClient c;
        QVERIFY(c.connect(OdbcClient::connectionString(port)));
        const std::string sql =
            "select count(*), sum(isnull(R.cpu_time,0)+S.cpu_time) from sys.dm_exec_sessions S "
            "left join sys.dm_exec_requests R on R.session_id=S.session_id where "
            "S.is_user_process=1";
        const auto first = c.exec(sql);
        QVERIFY(SQL_SUCCEEDED(first.rc));
        const auto users = std::get<std::int64_t>(first.results.at(0).rows.at(0).at(0));
        QVERIFY2(users >= 55, qPrintable(QString::number(users)));
        const auto cpu = std::get<std::int64_t>(first.results.at(0).rows.at(0).at(1));
        QTRY_VERIFY_WITH_TIMEOUT(
            std::get<std::int64_t>(c.exec(sql).results.at(0).rows.at(0).at(1)) > cpu, 10000);
        c.disconnect();
        p.terminate();
        QVERIFY(p.waitForFinished(10000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 0);
        QVERIFY(p.readAllStandardError().isEmpty());
    }

    // The README's own example names a folder that does not exist yet.
    void makeCertsWritesIntoItsFolder_data() {
        QTest::addColumn<QString>("folder"); // under a fresh temporary folder
        QTest::addColumn<int>("exitCode");
        QTest::newRow("a folder that exists") << QString() << 0;
        QTest::newRow("a folder that does not") << QStringLiteral("certs") << 0;
        QTest::newRow("nor does its parent") << QStringLiteral("a/b/certs") << 0;
        QTest::newRow("below a plain file: cannot be made") << QStringLiteral("file/certs") << 1;
    }

    void makeCertsWritesIntoItsFolder() {
        QFETCH(QString, folder);
        QFETCH(int, exitCode);
        QTemporaryDir dir;
        QFile plain(dir.filePath(QStringLiteral("file")));
        QVERIFY(plain.open(QIODevice::WriteOnly));
        plain.close();
        const QString target = folder.isEmpty() ? dir.path() : dir.filePath(folder);
        QProcess p;
        p.start(TESTSERVER_EXE, {"--make-certs", target});
        QVERIFY(p.waitForFinished(30000));
        QCOMPARE(p.exitCode(), exitCode);
        for (const char* name : {"ca.pem", "server.pem", "server-key.pem", "expired.pem"})
            QCOMPARE(QFile::exists(target + QLatin1Char('/') + QLatin1String(name)), exitCode == 0);
        if (exitCode != 0)
            QVERIFY(p.readAllStandardError().contains(target.toUtf8()));
    }

    void reportsAPortInUse() {
        QProcess first;
        const int port = start(first);
        QVERIFY(port > 0);
        QProcess second;
        second.start(TESTSERVER_EXE, {"--port", QString::number(port)});
        QVERIFY(second.waitForFinished(10000));
        QCOMPARE(second.exitCode(), 1);
        QVERIFY(second.readAllStandardError().contains("cannot listen on 127.0.0.1"));
        first.terminate();
        QVERIFY(first.waitForFinished(10000));
    }
};

QTEST_GUILESS_MAIN(TstExecutable)
#include "tst_executable.moc"
