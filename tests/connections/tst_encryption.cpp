// Encryption as users expect it, through the real ODBC/FreeTDS stack against the test
// server with TLS: "Use Encryption for Data" encrypts the whole connection and verifies
// the certificate (refusing an untrusted, expired or wrongly named one, each with its own
// reason), "Trust Server Certificate" skips the check, "Host Name In Certificate" names
// what the certificate must say, MSOLEDBSQL 19 encrypts by default, Strict speaks TDS 8.0
// to a server that does, and a server that answers it encrypts the login only is refused
// before the login is sent.

#include "database/dbconnection.h"
#include "database/dberror.h"
#include "seed.h"
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

const QString kRefused = u"Не удалось установить зашифрованное соединение с «127.0.0.1,"_s;

// What reached the server: logins and batches.
struct TSeen {
    QStringList ServerNames; // the ServerName of each LOGIN7
    int Batches = 0;
};

std::shared_ptr<TSeen> watch(testserver::Instance& instance) {
    auto seen = std::make_shared<TSeen>();
    instance.setLoginObserver([seen](const testserver::LoginInfo& info) {
        seen->ServerNames << QString::fromStdString(info.serverName);
    });
    instance.setBatchObserver(
        [seen](int, const std::string&, const testserver::BatchOutcome&) { ++seen->Batches; });
    return seen;
}

} // namespace

class TestEncryption : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void connections_data();
    void connections();
    void downgradeToLoginOnlyIsRefused();
    void theServerLearnsItsOwnName();

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
    QTest::newRow("Host Name In Certificate: the name it was issued for")
        << EncryptMode::Off << u"wrongname"_s
        << mandatory + u";Host Name In Certificate=wrong.invalid"_s << u"TRUE"_s << QString();
    QTest::newRow("Host Name In Certificate: another name")
        << EncryptMode::Off << u"server"_s << mandatory + u";HostNameInCertificate=db.example"_s
        << QString() << u"Сертификат сервера выдан не для «db.example»."_s;
    QTest::newRow("an unreadable authorities' file")
        << EncryptMode::Off << u"server"_s
        << u"Use Encryption for Data=Mandatory;CAFile=/nonexistent/ca.pem"_s << QString()
        << u"Не удалось прочитать файл центров сертификации «/nonexistent/ca.pem»."_s;

    // TDS 8.0: TLS first. SQL Server 2022 speaks it; 2019 hangs up at the ClientHello.
    const QString strict = u"Use Encryption for Data=Strict;CAFile=%CA%"_s;
    QTest::newRow("Strict, SQL Server 2022")
        << EncryptMode::Off << u"server:2022"_s << strict << u"TRUE"_s << QString();
    QTest::newRow("Strict, Force Strict Encryption")
        << EncryptMode::Strict << u"server:2022"_s << strict << u"TRUE"_s << QString();
    QTest::newRow("Strict, SQL Server 2019")
        << EncryptMode::Off << u"server"_s << strict << QString()
        << u"Сервер прервал согласование TDS 8.0: шифрование Strict требует SQL Server 2022 "
           "или Azure SQL."_s;
    QTest::newRow("Strict checks the certificate even when told to trust it")
        << EncryptMode::Off << u"untrusted:2022"_s << strict + u";Trust Server Certificate=True"_s
        << QString() << u"Сертификат сервера не заверен доверенным центром сертификации."_s;
    QTest::newRow("Mandatory to a server that serves TDS 8.0 only")
        << EncryptMode::Strict << u"server:2022"_s << mandatory << QString()
        << u"«127.0.0.1,%PORT%» закрыл соединение, не ответив на PRELOGIN. Так поступает "
           "сервер, который принимает только TDS 8.0: для него нужно Use Encryption for "
           "Data=Strict."_s;
}

void TestEncryption::connections() {
    QFETCH(EncryptMode, mode);
    QFETCH(QString, certificate);
    QFETCH(QString, extra);
    QFETCH(QString, encrypted);
    QFETCH(QString, reason);
    // "name:2022": the certificate of a server that impersonates SQL Server 2022.
    const QString name = certificate.section(u':', 0, 0);
    const bool sql2022 = certificate.endsWith(u":2022"_s);
    TTestServer server([&](testserver::TdsServer& s) {
        if (sql2022)
            s.instance().setVersion(testserver::kVersion2022, testserver::kVersionNumber2022);
        if (!name.isEmpty())
            s.setEncryption(mode, std::make_shared<testserver::TlsCredentials>(FCerts->cert(name),
                                                                               FCerts->key(name)));
    });
    const auto seen = watch(server.instance());
    extra.replace(u"%CA%"_s, FCerts->path(u"ca.pem"_s));
    const TOutcome out = tryConnect(server, extra);
    if (!encrypted.isEmpty()) {
        QVERIFY2(out.error.isEmpty(), qPrintable(out.error));
        QCOMPARE(out.encrypted, encrypted);
        return;
    }
    // Refused by Dervel itself: no login and no statement reached the server.
    QVERIFY2(out.error.startsWith(kRefused), qPrintable(out.error));
    reason.replace(u"%PORT%"_s, QString::number(server.port()));
    QVERIFY2(out.error.split(u"\r\n"_s).contains(reason), qPrintable(out.error));
    QVERIFY(seen->ServerNames.isEmpty());
    QCOMPARE(seen->Batches, 0);
}

// A man in the middle answers ENCRYPT_OFF: FreeTDS would encrypt the login only and go on
// in plain text even with encryption required. Nothing after PRELOGIN may be sent.
void TestEncryption::downgradeToLoginOnlyIsRefused() {
    TTestServer server([&](testserver::TdsServer& s) {
        s.setEncryption(EncryptMode::Off, std::make_shared<testserver::TlsCredentials>(
                                              FCerts->cert(u"server"_s), FCerts->key(u"server"_s)));
        s.setDowngradeEncryption(true);
    });
    const auto seen = watch(server.instance());
    TDbConnection c;
    c.setConnectionString(server.oledb() + u";Use Encryption for Data=Mandatory;CAFile="_s +
                          FCerts->path(u"ca.pem"_s));
    try {
        c.open();
        QFAIL("a connection that is not encrypted was opened");
    } catch (const EDbError& e) {
        QVERIFY2(e.message().split(u"\r\n"_s).last().startsWith(
                     u"Сервер (или кто-то между ним и Dervel) ответил, что шифрует только вход."_s),
                 qPrintable(e.message()));
    }
    QVERIFY(!c.connected());
    QVERIFY(seen->ServerNames.isEmpty());
    QCOMPARE(seen->Batches, 0);
}

// The driver knows only the relay's endpoint; the server is told the name the connection
// string gives it, as SQL Server's own clients do (Azure routes by it).
void TestEncryption::theServerLearnsItsOwnName() {
    TTestServer server([&](testserver::TdsServer& s) {
        s.setEncryption(EncryptMode::Off, std::make_shared<testserver::TlsCredentials>(
                                              FCerts->cert(u"server"_s), FCerts->key(u"server"_s)));
    });
    const auto seen = watch(server.instance());
    const TOutcome out = tryConnect(server, u"Use Encryption for Data=Mandatory;CAFile="_s +
                                                FCerts->path(u"ca.pem"_s));
    QVERIFY2(out.error.isEmpty(), qPrintable(out.error));
    QCOMPARE(seen->ServerNames, QStringList{u"127.0.0.1"_s});
}

QTEST_GUILESS_MAIN(TestEncryption)
#include "tst_encryption.moc"
