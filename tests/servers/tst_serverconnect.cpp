// Connecting a server entry: how the credentials are chosen (integrated security, the
// string's own, the login dialog), what a successful connect reads, and how failures
// end in stError with the user told why.

#include "instance.h"
#include "scriptedprompts.h"
#include "servers/server.h"
#include "testserverfixture.h"

#include <QTest>

class TestServerConnect : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void credentials_data();
    void credentials();
    void successReadsDescriptionVersionAndDatabases();
    void connectedEntryIsLeftAlone();
    void cancelKeepsTheState_data();
    void cancelKeepsTheState();
    void wrongPasswordEndsInError();
    void nullServerNameEndsInError();
    void failedAttemptKeepsTheLastGoodValues();

private:
    QString base() const {
        return QStringLiteral("Provider=SQLOLEDB.1;Data Source=127.0.0.1,%1;Connect Timeout=5")
            .arg(server.port());
    }
    TTestServer server;
};

void TestServerConnect::initTestCase() {
    server.instance().addLogin("semi", "a;b}c\"d");
}

void TestServerConnect::credentials_data() {
    QTest::addColumn<QString>("items");
    QTest::addColumn<QString>("loginOffered"); // empty: no dialog expected
    QTest::addColumn<QString>("dialogUser");
    QTest::addColumn<QString>("dialogPassword");
    QTest::addColumn<int>("state");

    QTest::newRow("user and password in the string")
        << ";User ID=sa;Password=Dervel-2026" << QString() << QString() << QString()
        << int(stConnected);
    QTest::newRow("keywords in other letter case")
        << ";user id=sa;PASSWORD=Dervel-2026" << QString() << QString() << QString()
        << int(stConnected);
    QTest::newRow("password with ; } and a quote, as a quoted item")
        << ";User ID=semi;\"Password=a;b}c\"\"d\"" << QString() << QString() << QString()
        << int(stConnected);
    QTest::newRow("no password: the dialog offers the user") << ";User ID=sa"
                                                             << "Srv|sa"
                                                             << "sa"
                                                             << "Dervel-2026" << int(stConnected);
    QTest::newRow("password \"\" counts as none") << ";User ID=sa;Password=\"\""
                                                  << "Srv|sa"
                                                  << "sa"
                                                  << "Dervel-2026" << int(stConnected);
    QTest::newRow("no user: the dialog starts empty") << ";Password=Dervel-2026"
                                                      << "Srv|"
                                                      << "sa"
                                                      << "Dervel-2026" << int(stConnected);
    QTest::newRow("a blank before the keyword hides it") << "; User ID=sa;Password=Dervel-2026"
                                                         << "Srv|"
                                                         << "sa"
                                                         << "Dervel-2026" << int(stConnected);
    QTest::newRow("sspi in lower case is a login with a password")
        << ";Integrated Security=sspi"
        << "Srv|"
        << "sa"
        << "Dervel-2026" << int(stConnected);
    // FreeTDS tries Kerberos; without a ticket the open fails, but no dialog is shown.
    QTest::newRow("SSPI opens without asking")
        << ";Integrated Security=SSPI" << QString() << QString() << QString() << int(stError);
}

void TestServerConnect::credentials() {
    QFETCH(QString, items);
    QFETCH(QString, loginOffered);
    QFETCH(QString, dialogUser);
    QFETCH(QString, dialogPassword);
    QFETCH(int, state);
    TScriptedPrompts prompts;
    if (!loginOffered.isEmpty())
        prompts.loginAnswers << TScriptedPrompts::TLoginAnswer{true, dialogUser, dialogPassword};
    TServer entry;
    entry.Name = QStringLiteral("Srv");
    entry.ConnectionString = base() + items;
    entry.Connect();
    QCOMPARE(prompts.loginCalls,
             loginOffered.isEmpty() ? QStringList() : QStringList{loginOffered});
    QCOMPARE(int(entry.State), state);
    QCOMPARE(entry.Connection.connected(), state == stConnected);
    if (state == stConnected)
        QVERIFY(prompts.messages.isEmpty());
    else
        QCOMPARE(prompts.messages.size(), 1);
    // What was typed into the dialog is never kept.
    QCOMPARE(entry.ConnectionString, base() + items);
}

void TestServerConnect::successReadsDescriptionVersionAndDatabases() {
    TScriptedPrompts prompts;
    TServer entry;
    entry.ConnectionString = base() + QStringLiteral(";User ID=sa;Password=Dervel-2026");
    entry.Connect();
    QCOMPARE(entry.State, stConnected);
    QCOMPARE(entry.ConnectDescr,
             QString::fromStdString(server.instance().serverName()) + QStringLiteral(" (sa)"));
    QCOMPARE(entry.Version, QString::fromStdString(server.instance().version()));
    QVERIFY(entry.DBList.contains(QStringLiteral("master")));
    QStringList sorted = entry.DBList;
    std::sort(sorted.begin(), sorted.end(), [](const QString& a, const QString& b) {
        return a.compare(b, Qt::CaseInsensitive) < 0;
    });
    QCOMPARE(entry.DBList, sorted);
}

void TestServerConnect::connectedEntryIsLeftAlone() {
    TScriptedPrompts prompts;
    TServer entry;
    entry.ConnectionString = base() + QStringLiteral(";User ID=sa;Password=Dervel-2026");
    entry.Connect();
    QCOMPARE(entry.State, stConnected);
    entry.ConnectionString = base() + QStringLiteral(";User ID=sa"); // would ask
    entry.DBList.clear();
    entry.Connect();
    QVERIFY(prompts.loginCalls.isEmpty());
    QVERIFY(entry.DBList.isEmpty()); // no statement ran
    QVERIFY(prompts.messages.isEmpty());
}

void TestServerConnect::cancelKeepsTheState_data() {
    QTest::addColumn<int>("before");
    QTest::newRow("disconnected") << int(stDisconnected);
    QTest::newRow("error") << int(stError);
}

void TestServerConnect::cancelKeepsTheState() {
    QFETCH(int, before);
    TScriptedPrompts prompts;
    prompts.loginAnswers << TScriptedPrompts::TLoginAnswer{false, {}, {}};
    TServer entry;
    entry.ConnectionString = base() + QStringLiteral(";User ID=sa");
    entry.State = static_cast<TServerState>(before);
    entry.Connect();
    QCOMPARE(int(entry.State), before);
    QVERIFY(!entry.Connection.connected());
    QVERIFY(prompts.messages.isEmpty());
    QCOMPARE(prompts.loginCalls.size(), 1);
}

void TestServerConnect::wrongPasswordEndsInError() {
    TScriptedPrompts prompts;
    TServer entry;
    entry.Name = QStringLiteral("Prod");
    entry.ConnectionString = base() + QStringLiteral(";User ID=sa;Password=nope");
    entry.Connect();
    QCOMPARE(entry.State, stError);
    QVERIFY(!entry.Connection.connected());
    QCOMPARE(prompts.messages.size(), 1);
    const TMessage& m = prompts.messages.first();
    QCOMPARE(m.caption, QStringLiteral("Ошибка"));
    QCOMPARE(m.icon, TMsgIcon::Error);
    QCOMPARE(m.text, QStringLiteral("Ошибка при подключении к Prod:\r\n"
                                    "[FreeTDS][SQL Server]Login failed for user 'sa'.\n"
                                    "[FreeTDS][SQL Server]Unable to connect to data source"));
}

void TestServerConnect::nullServerNameEndsInError() {
    TScriptedPrompts prompts;
    const std::string name = server.instance().serverName();
    server.instance().setServerName(std::nullopt);
    TServer entry;
    entry.Name = QStringLiteral("NoName");
    entry.ConnectionString = base() + QStringLiteral(";User ID=sa;Password=Dervel-2026");
    entry.Connect();
    server.instance().setServerName(name);
    QCOMPARE(entry.State, stError);
    QVERIFY(!entry.Connection.connected());
    QCOMPARE(prompts.messages.size(), 1);
    QVERIFY2(prompts.messages.first().text.startsWith(
                 QStringLiteral("Ошибка при подключении к NoName:\r\nField 'ConnectDescr'")),
             qPrintable(prompts.messages.first().text));
}

void TestServerConnect::failedAttemptKeepsTheLastGoodValues() {
    TScriptedPrompts prompts;
    TServer entry;
    entry.ConnectionString = base() + QStringLiteral(";User ID=sa;Password=Dervel-2026");
    entry.Connect();
    const QStringList databases = entry.DBList;
    const QString descr = entry.ConnectDescr;
    entry.Connection.close();
    entry.State = stDisconnected;
    const std::string name = server.instance().serverName();
    server.instance().setServerName(std::nullopt);
    entry.Connect(); // opens, then the statement's NULL fails the connect
    server.instance().setServerName(name);
    QCOMPARE(entry.State, stError);
    QCOMPARE(entry.DBList, databases);
    QCOMPARE(entry.ConnectDescr, descr);
}

QTEST_GUILESS_MAIN(TestServerConnect)
#include "tst_serverconnect.moc"
