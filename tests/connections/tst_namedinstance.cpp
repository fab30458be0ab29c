// A named instance reached through the SQL Server Browser: "Data Source=127.0.0.1\INST"
// has FreeTDS ask UDP 1434 for the instance's TCP port. Port 1434 is fixed, so this test
// holds CTest's lock on it and says plainly when another program has it.

#include "platform/dbconnection.h"
#include "platform/dberror.h"
#include "sql_browser.h"
#include "testserverfixture.h"

#include <QTest>
#include <memory>
#include <stdexcept>

using namespace Qt::Literals::StringLiterals;

class TestNamedInstance : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void answersForItsInstancesOnly_data();
    void answersForItsInstancesOnly();
    void connectsThroughTheBrowser_data();
    void connectsThroughTheBrowser();

private:
    std::unique_ptr<TTestServer> FServer;
    std::unique_ptr<testserver::SqlBrowser> FBrowser;
};

void TestNamedInstance::initTestCase() {
    FServer = std::make_unique<TTestServer>();
    FServer->instance().setServerName("DERVEL-SQL\\INST");
    FBrowser = std::make_unique<testserver::SqlBrowser>(
        "DERVEL-SQL", std::map<std::string, std::uint16_t>{{"INST", FServer->port()}});
    try {
        FBrowser->start(1434);
    } catch (const std::runtime_error& e) {
        QFAIL(e.what()); // e.g. "UDP port 1434 on 127.0.0.1 is taken by another program ..."
    }
}

void TestNamedInstance::cleanupTestCase() {
    FBrowser.reset();
    FServer.reset();
}

// [MC-SQLR]: CLNT_UCAST_INST gets SVR_RESP for a known instance and nothing otherwise.
void TestNamedInstance::answersForItsInstancesOnly_data() {
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<bool>("answered");
    QTest::newRow("its instance") << QByteArray("\x04INST", 6) << true;
    QTest::newRow("any letter case") << QByteArray("\x04inst", 6) << true;
    QTest::newRow("another instance") << QByteArray("\x04OTHER", 7) << false;
    QTest::newRow("all instances") << QByteArray("\x03", 1) << true;
    QTest::newRow("not a request") << QByteArray("\x09", 1) << false;
}

void TestNamedInstance::answersForItsInstancesOnly() {
    QFETCH(QByteArray, request);
    QFETCH(bool, answered);
    const std::string reply = FBrowser->answer(request.toStdString());
    QCOMPARE(!reply.empty(), answered);
    if (!answered)
        return;
    QCOMPARE(reply[0], '\x05');
    const std::size_t size =
        static_cast<unsigned char>(reply[1]) | (static_cast<unsigned char>(reply[2]) << 8);
    QCOMPARE(size, reply.size() - 3);
    QCOMPARE(
        QString::fromStdString(reply.substr(3)),
        u"ServerName;DERVEL-SQL;InstanceName;INST;IsClustered;No;Version;15.0.2000.5;tcp;%1;;"_s
            .arg(FServer->port()));
}

void TestNamedInstance::connectsThroughTheBrowser_data() {
    QTest::addColumn<QString>("source");
    QTest::newRow("host\\instance") << u"127.0.0.1\\INST"_s;
    QTest::newRow("tcp: and lower case") << u"tcp:127.0.0.1\\inst"_s;
}

void TestNamedInstance::connectsThroughTheBrowser() {
    QFETCH(QString, source);
    TDbConnection c;
    c.setConnectionString(u"Provider=SQLOLEDB.1;Data Source=%1;User ID=sa;Password=Dervel-2026;"
                          u"Connect Timeout=5"_s.arg(source));
    try {
        c.open();
    } catch (const EDbError& e) {
        QFAIL(qPrintable(e.message()));
    }
    const TDbRecordset rs = c.execute(u"select @@SERVERNAME"_s);
    QCOMPARE(rs.field(0).asString(), u"DERVEL-SQL\\INST"_s);
}

QTEST_GUILESS_MAIN(TestNamedInstance)
#include "tst_namedinstance.moc"
