// A named instance reached through the SQL Server Browser: "Data Source=127.0.0.1\INST"
// has FreeTDS (or, for an encrypted connection, Dervel itself) ask UDP 1434 for the
// instance's TCP port; Dervel takes an answer only from the address it asked, about the
// instance it asked for. Port 1434 is fixed, so this test holds CTest's lock on it and says
// plainly when another program has it.

#include "database/dbconnection.h"
#include "database/dberror.h"
#include "database/sqlbrowser.h"
#include "sql_browser.h"
#include "testcertificates.h"
#include "testserverfixture.h"

#include <QTest>
#include <arpa/inet.h>
#include <memory>
#include <netinet/in.h>
#include <stdexcept>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

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
    void forgedAnswersAreNotTaken();

private:
    TTestCertificates FCerts;
    std::unique_ptr<TTestServer> FServer;
    std::unique_ptr<testserver::SqlBrowser> FBrowser;
};

void TestNamedInstance::initTestCase() {
    FServer = std::make_unique<TTestServer>([&](testserver::TdsServer& s) {
        s.setEncryption(testserver::EncryptMode::Off,
                        std::make_shared<testserver::TlsCredentials>(FCerts.cert(u"server"_s),
                                                                     FCerts.key(u"server"_s)));
    });
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
    QTest::addColumn<QString>("extra");
    const QString encrypted =
        u";Use Encryption for Data=Mandatory;CAFile="_s + FCerts.path(u"ca.pem"_s);
    QTest::newRow("host\\instance") << u"127.0.0.1\\INST"_s << QString();
    QTest::newRow("tcp: and lower case") << u"tcp:127.0.0.1\\inst"_s << QString();
    QTest::newRow("encrypted: Dervel asks") << u"127.0.0.1\\INST"_s << encrypted;
}

void TestNamedInstance::connectsThroughTheBrowser() {
    QFETCH(QString, source);
    QFETCH(QString, extra);
    TDbConnection c;
    c.setConnectionString(u"Provider=SQLOLEDB.1;Data Source=%1;User ID=sa;Password=Dervel-2026;"
                          u"Connect Timeout=5"_s.arg(source) +
                          extra);
    try {
        c.open();
    } catch (const EDbError& e) {
        QFAIL(qPrintable(e.message()));
    }
    const TDbRecordset rs = c.execute(u"select @@SERVERNAME"_s);
    QCOMPARE(rs.field(0).asString(), u"DERVEL-SQL\\INST"_s);
}

// Another program on the machine answers first: from another address, about another
// instance, with something that is no answer. Only the Browser's own answer counts.
void TestNamedInstance::forgedAnswersAreNotTaken() {
    FBrowser.reset(); // this test plays the Browser on 1434 itself
    auto udp = [](const char* address, quint16 port) {
        const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(port);
        ::inet_pton(AF_INET, address, &a.sin_addr);
        return ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 ? fd : (::close(fd), -1);
    };
    const int browser = udp("127.0.0.1", 1434);
    const int elsewhere = udp("127.0.0.2", 1434);
    QVERIFY(browser >= 0 && elsewhere >= 0);
    auto reply = [](const QByteArray& data) {
        return QByteArray(1, 0x05) + char(data.size() & 0xFF) + char(data.size() >> 8) + data;
    };
    std::thread fake([&] {
        char request[64];
        sockaddr_in client{};
        socklen_t size = sizeof client;
        if (::recvfrom(browser, request, sizeof request, 0, reinterpret_cast<sockaddr*>(&client),
                       &size) <= 0)
            return;
        const QByteArray answers[] = {
            reply("ServerName;X;InstanceName;INST;IsClustered;No;Version;16.0;tcp;1;;"),
            reply("ServerName;X;InstanceName;OTHER;IsClustered;No;Version;16.0;tcp;2;;"),
            QByteArray("INST", 6),
            reply("ServerName;X;InstanceName;INST;IsClustered;No;Version;16.0;tcp;14330;;"),
        };
        for (int i = 0; i < 4; ++i) {
            const int from = i == 0 ? elsewhere : browser;
            ::sendto(from, answers[i].constData(), size_t(answers[i].size()), 0,
                     reinterpret_cast<sockaddr*>(&client), size);
        }
    });
    const int port = AskBrowserForPort(u"127.0.0.1"_s, u"INST"_s,
                                       std::chrono::steady_clock::now() + std::chrono::seconds(5));
    fake.join();
    ::close(browser);
    ::close(elsewhere);
    QCOMPARE(port, 14330);
}

QTEST_GUILESS_MAIN(TestNamedInstance)
#include "tst_namedinstance.moc"
