// The relay's endpoint, where the driver speaks plain TDS, serves the driver of this
// process alone: another program that connects first is turned away without a byte of
// the server's, and once the driver is in, nobody else gets in, this process included.

#include "database/dbconnection.h"
#include "database/oledbtranslator.h"
#include "database/tlsrelay.h"
#include "tds_server.h"
#include "testcertificates.h"
#include "testserverfixture.h"

#include <QProcess>
#include <QTest>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

namespace {

// Whether a TCP connection to the loopback port is accepted.
bool accepts(quint16 port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return ok;
}

} // namespace

class TestTlsRelay : public QObject {
    Q_OBJECT
private slots:
    void servesThisProcessAlone();
};

void TestTlsRelay::servesThisProcessAlone() {
    TTestCertificates certs;
    TTestServer server([&](testserver::TdsServer& s) {
        s.setEncryption(testserver::EncryptMode::On,
                        std::make_shared<testserver::TlsCredentials>(certs.cert(u"server"_s),
                                                                     certs.key(u"server"_s)));
    });
    const TOdbcConnectParams params = TranslateOleDbConnectionString(
        server.oledb() + u";Use Encryption for Data=Mandatory;CAFile="_s + certs.path(u"ca.pem"_s),
        std::nullopt);
    QVERIFY(params.tls);
    TTlsRelay relay(std::make_unique<TTlsChannel>(*params.tls), params.serverName);

    // Another program gets there first: it is let in by the kernel, then turned away.
    QProcess other;
    other.start(u"bash"_s,
                {u"-c"_s, u"exec 3<>/dev/tcp/127.0.0.1/%1 && cat <&3 | wc -c"_s.arg(relay.port())});
    QTRY_COMPARE(relay.refused(), 1);
    QTRY_COMPARE(other.state(), QProcess::NotRunning);
    QCOMPARE(other.readAllStandardOutput().trimmed(), QByteArray("0")); // not a byte for it

    // The driver of this process is served.
    TDbConnection connection;
    connection.setConnectionString(
        server.oledb() + u";Use Encryption for Data=Mandatory;CAFile="_s + certs.path(u"ca.pem"_s));
    connection.open();
    QCOMPARE(connection
                 .execute(u"select encrypt_option from sys.dm_exec_connections where "
                          "session_id=@@SPID"_s)
                 .field(0)
                 .asString(),
             u"TRUE"_s);

    // The relay made by hand above is still waiting for its one driver: a socket of this
    // process is taken, not refused (the relay reads from it, finds no PRELOGIN and hangs
    // up), and from then on the endpoint is gone.
    const int mine = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(relay.port());
    QCOMPARE(::connect(mine, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    const char batch[8] = {0x01, 0x01, 0x00, 0x08, 0x00, 0x00, 0x01, 0x00}; // no PRELOGIN
    QCOMPARE(::send(mine, batch, sizeof batch, MSG_NOSIGNAL), ssize_t(sizeof batch));
    pollfd p{mine, POLLIN, 0};
    QCOMPARE(::poll(&p, 1, 10000), 1);
    char byte = 0;
    QCOMPARE(::recv(mine, &byte, 1, 0), ssize_t(0));
    ::close(mine);
    QCOMPARE(relay.refused(), 1);
    QVERIFY(!accepts(relay.port()));
}

QTEST_GUILESS_MAIN(TestTlsRelay)
#include "tst_tlsrelay.moc"
