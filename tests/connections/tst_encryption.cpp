// Encryption as users expect it, through the real ODBC/FreeTDS stack against the test
// server with TLS: "Use Encryption for Data" encrypts the whole connection and verifies
// the certificate (refusing an untrusted, expired or wrongly named one, each with its own
// reason), "Trust Server Certificate" skips the check, MSOLEDBSQL 19 encrypts by default,
// and a server that answers it encrypts the login only is refused, not used in plain text.

#include "platform/dbconnection.h"
#include "platform/dberror.h"
#include "tds_server.h"
#include "testcertificates.h"
#include "testserverfixture.h"

#include <QTest>

using namespace Qt::Literals::StringLiterals;
using testserver::EncryptMode;

Q_DECLARE_METATYPE(EncryptMode)

namespace {

// The session's encrypt_option as the server reports it, or the open's failure.
struct TOutcome {
    QString error;
    QString encrypted; // "TRUE" / "FALSE"
};

TOutcome tryConnect(const TTestServer& server, const QString& extra) {
    TDbConnection c;
    c.setConnectionString(server.oledb() + u";"_s + extra);
    TOutcome out;
    try {
        c.open();
        const TDbRecordset rs = c.execute(
            u"select encrypt_option from sys.dm_exec_connections where session_id=@@SPID"_s);
        out.encrypted = rs.field(0).asString();
    } catch (const EDbError& e) {
        out.error = e.message();
    }
    return out;
}

const QString kFailed = u"Adaptive Server connection failed"_s;

} // namespace

class TestEncryption : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void connections_data();
    void connections();
    void downgradeToLoginOnlyIsRefused();
    void strictIsRefusedBeforeConnecting();

private:
    TTestCertificates* FCerts = nullptr;
};

void TestEncryption::initTestCase() {
    FCerts = new TTestCertificates;
}

void TestEncryption::connections_data() {
    QTest::addColumn<EncryptMode>("mode");
    QTest::addColumn<QString>("certificate"); // the server's; empty for none
    QTest::addColumn<QString>("extra");       // connection string items, %CA% for ca.pem
    QTest::addColumn<QString>("encrypted");   // "" when the open must fail
    QTest::addColumn<QString>("reason");      // a line the failure must have

    const QString mandatory = u"Use Encryption for Data=Mandatory;CAFile=%CA%"_s;
    QTest::newRow("verified") << EncryptMode::Off << u"server"_s << mandatory << u"TRUE"_s
                              << QString();
    QTest::newRow("Encrypt=True, as older providers write it")
        << EncryptMode::Off << u"server"_s << u"Encrypt=True;CAFile=%CA%"_s << u"TRUE"_s
        << QString();
    QTest::newRow("untrusted")
        << EncryptMode::Off << u"untrusted"_s << mandatory << QString()
        << u"Сертификат сервера не заверен доверенным центром сертификации."_s;
    QTest::newRow("expired") << EncryptMode::Off << u"expired"_s << mandatory << QString()
                             << u"Срок действия сертификата сервера истёк."_s;
    QTest::newRow("wrong name") << EncryptMode::Off << u"wrongname"_s << mandatory << QString()
                                << u"Сертификат сервера выдан не для «127.0.0.1»."_s;
    QTest::newRow("the system's store does not know the test authority")
        << EncryptMode::Off << u"server"_s << u"Use Encryption for Data=Mandatory"_s << QString()
        << u"Сертификат сервера не заверен доверенным центром сертификации."_s;
    QTest::newRow("untrusted, but trusted by the string")
        << EncryptMode::Off << u"untrusted"_s
        << u"Use Encryption for Data=Mandatory;Trust Server Certificate=True"_s << u"TRUE"_s
        << QString();
    QTest::newRow("server without encryption")
        << EncryptMode::Unsupported << QString() << mandatory << QString()
        << u"Сервер не поддерживает шифрование."_s;
    QTest::newRow("MSOLEDBSQL19 encrypts and verifies by default")
        << EncryptMode::Off << u"server"_s << u"Provider=MSOLEDBSQL19;CAFile=%CA%"_s << u"TRUE"_s
        << QString();
    QTest::newRow("MSOLEDBSQL19 refuses an untrusted certificate by default")
        << EncryptMode::Off << u"untrusted"_s << u"Provider=MSOLEDBSQL19;CAFile=%CA%"_s << QString()
        << u"Сертификат сервера не заверен доверенным центром сертификации."_s;
    QTest::newRow("optional: the login only, as SQL Server's default")
        << EncryptMode::Off << u"server"_s << u"Use Encryption for Data=Optional"_s << u"FALSE"_s
        << QString();
    QTest::newRow("nothing said, SQLOLEDB: the login only")
        << EncryptMode::Off << u"server"_s << QString() << u"FALSE"_s << QString();
    QTest::newRow("a server that requires it encrypts everything")
        << EncryptMode::Required << u"untrusted"_s << QString() << u"TRUE"_s << QString();
    QTest::newRow("no certificate, nothing asked: plain")
        << EncryptMode::Unsupported << QString() << QString() << u"FALSE"_s << QString();
}

void TestEncryption::connections() {
    QFETCH(EncryptMode, mode);
    QFETCH(QString, certificate);
    QFETCH(QString, extra);
    QFETCH(QString, encrypted);
    QFETCH(QString, reason);
    TTestServer server([&](testserver::TdsServer& s) {
        if (!certificate.isEmpty())
            s.setEncryption(mode, std::make_shared<testserver::TlsCredentials>(
                                      FCerts->cert(certificate), FCerts->key(certificate)));
    });
    extra.replace(u"%CA%"_s, FCerts->path(u"ca.pem"_s));
    const TOutcome out = tryConnect(server, extra);
    if (!encrypted.isEmpty()) {
        QVERIFY2(out.error.isEmpty(), qPrintable(out.error));
        QCOMPARE(out.encrypted, encrypted);
        return;
    }
    QVERIFY(!out.error.isEmpty());
    // The driver's own text comes first, unchanged; the reason follows on a line of its own.
    QVERIFY2(out.error.contains(kFailed), qPrintable(out.error));
    QVERIFY2(out.error.split(u"\r\n"_s).contains(reason), qPrintable(out.error));
}

// A man in the middle answers ENCRYPT_OFF: FreeTDS encrypts the login and goes on in plain
// text even when encryption is required. The connection must not be used.
void TestEncryption::downgradeToLoginOnlyIsRefused() {
    TTestServer server([&](testserver::TdsServer& s) {
        s.setEncryption(EncryptMode::Off, std::make_shared<testserver::TlsCredentials>(
                                              FCerts->cert(u"server"_s), FCerts->key(u"server"_s)));
        s.setDowngradeEncryption(true);
    });
    TDbConnection c;
    c.setConnectionString(server.oledb() + u";Use Encryption for Data=Mandatory;CAFile="_s +
                          FCerts->path(u"ca.pem"_s));
    try {
        c.open();
        QFAIL("a connection that is not encrypted was opened");
    } catch (const EDbError& e) {
        QVERIFY2(e.message().startsWith(u"Сервер не зашифровал соединение"_s),
                 qPrintable(e.message()));
    }
    QVERIFY(!c.connected());
}

void TestEncryption::strictIsRefusedBeforeConnecting() {
    TTestServer server;
    const TOutcome out = tryConnect(server, u"Use Encryption for Data=Strict"_s);
    QVERIFY2(out.error.contains(u"Strict needs TDS 8.0"_s), qPrintable(out.error));
}

QTEST_GUILESS_MAIN(TestEncryption)
#include "tst_encryption.moc"
