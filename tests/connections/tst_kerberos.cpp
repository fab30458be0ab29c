// Integrated security end to end: a throwaway MIT Kerberos realm on loopback, the test
// server accepting GSSAPI with its service keytab, and "Integrated Security=SSPI" through
// FreeTDS with a ticket from the realm, in plain text and inside Dervel's own TLS, where
// the driver only knows the relay's endpoint and is told the real server's principal.
// Failures reach the user as the driver's text.

#include "database/dbconnection.h"
#include "database/dberror.h"
#include "kerberos_acceptor.h"
#include "kerberosrealm.h"
#include "scriptedprompts.h"
#include "servers/server.h"
#include "tds_server.h"
#include "testcertificates.h"
#include "testserverfixture.h"

#include <QTest>
#include <memory>

using namespace Qt::Literals::StringLiterals;

namespace {

const QString kUser = u"alice"_s;
const QString kPrincipal = u"alice@TEST.LOCAL"_s;

} // namespace

class TestKerberos : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void connectsWithATicket_data();
    void connectsWithATicket();
    void explicitServerSpn_data();
    void explicitServerSpn();
    void noTicketFailsWithTheDriversText();

private:
    QString integrated(const QString& extra = {}) const;

    TTestCertificates FCerts;
    std::unique_ptr<TKerberosRealm> FRealm;
    std::unique_ptr<TTestServer> FServer;
};

void TestKerberos::initTestCase() {
    FRealm = std::make_unique<TKerberosRealm>();
    QVERIFY2(FRealm->error().isEmpty(), qPrintable(FRealm->error()));
    QVERIFY2(FRealm->addUser(kUser, u"alice-pw"_s), qPrintable(FRealm->error()));
    const QString keytab = FRealm->path(u"sql.keytab"_s);
    FServer = std::make_unique<TTestServer>([&](testserver::TdsServer& s) {
        s.setKerberos(std::make_shared<testserver::KerberosAcceptor>(keytab.toStdString()));
        s.setEncryption(testserver::EncryptMode::Off,
                        std::make_shared<testserver::TlsCredentials>(FCerts.cert(u"server"_s),
                                                                     FCerts.key(u"server"_s)));
        s.instance().addWindowsLogin(kPrincipal.toStdString());
    });
    // FreeTDS asks for MSSQLSvc/<host>:<port> in the default realm; the port is known now.
    QVERIFY2(FRealm->addService(u"MSSQLSvc/127.0.0.1:%1"_s.arg(FServer->port()), keytab),
             qPrintable(FRealm->error()));
}

void TestKerberos::cleanupTestCase() {
    FServer.reset();
    FRealm.reset();
}

void TestKerberos::init() {
    QVERIFY2(FRealm->kinit(kUser, u"alice-pw"_s), qPrintable(FRealm->error()));
}

QString TestKerberos::integrated(const QString& extra) const {
    return u"Provider=SQLOLEDB.1;Data Source=127.0.0.1,%1;Integrated Security=SSPI;"
           u"Connect Timeout=5"_s.arg(FServer->port()) +
           extra;
}

void TestKerberos::connectsWithATicket_data() {
    QTest::addColumn<QString>("extra");
    QTest::newRow("plain") << QString();
    QTest::newRow("encrypted") << u";Use Encryption for Data=Mandatory;CAFile="_s +
                                      FCerts.path(u"ca.pem"_s);
}

// As a user connects: the entry's Connect, no login dialog.
void TestKerberos::connectsWithATicket() {
    QFETCH(QString, extra);
    TScriptedPrompts prompts;
    TServer server;
    server.Name = u"Realm"_s;
    server.ConnectionString = integrated(extra);
    server.Connect();
    QVERIFY2(prompts.messages.isEmpty(), qPrintable(prompts.messages.value(0).text));
    QCOMPARE(server.State, stConnected);
    QVERIFY(prompts.loginCalls.isEmpty());
    QCOMPARE(server.ConnectDescr, u"DERVEL-SQL ("_s + kPrincipal + u')');
    QCOMPARE(server.Login, kPrincipal);
    const TDbRecordset rs = server.Connection.execute(
        u"select s.login_name, c.auth_scheme, s.nt_user_name from sys.dm_exec_sessions s "
        u"join sys.dm_exec_connections c on c.session_id = s.session_id "
        u"where s.session_id=@@SPID"_s);
    QCOMPARE(rs.field(0).asString(), kPrincipal);
    QCOMPARE(rs.field(1).asString(), u"KERBEROS"_s);
    QCOMPARE(rs.field(2).asString(), kUser);
}

void TestKerberos::explicitServerSpn_data() {
    QTest::addColumn<QString>("spn");
    QTest::addColumn<bool>("connects");
    QTest::newRow("the service's own") << u"MSSQLSvc/127.0.0.1:%1@TEST.LOCAL"_s << true;
    QTest::newRow("unknown to the KDC") << u"MSSQLSvc/nowhere.invalid:1433@TEST.LOCAL"_s << false;
}

void TestKerberos::explicitServerSpn() {
    QFETCH(QString, spn);
    QFETCH(bool, connects);
    TDbConnection c;
    c.setConnectionString(integrated(u";Server SPN="_s + spn.arg(FServer->port())));
    QString error;
    try {
        c.open();
    } catch (const EDbError& e) {
        error = e.message();
    }
    QCOMPARE(c.connected(), connects);
    if (!connects)
        QVERIFY2(error.startsWith(u"[FreeTDS]"_s), qPrintable(error));
}

void TestKerberos::noTicketFailsWithTheDriversText() {
    QVERIFY2(FRealm->kdestroy(), qPrintable(FRealm->error()));
    TScriptedPrompts prompts;
    TServer server;
    server.Name = u"Realm"_s;
    server.ConnectionString = integrated();
    server.Connect();
    QCOMPARE(server.State, stError);
    QCOMPARE(prompts.messages.size(), 1);
    const QString text = prompts.messages.first().text;
    QVERIFY2(text.startsWith(u"Ошибка при подключении к Realm:\r\n[FreeTDS]"_s), qPrintable(text));
}

QTEST_GUILESS_MAIN(TestKerberos)
#include "tst_kerberos.moc"
