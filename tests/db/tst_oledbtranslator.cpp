// The OLE DB connection string is what users store and see; the driver gets only what
// this translation makes of it, so every accepted form is pinned here.

#include "database/dberror.h"
#include "database/oledbtranslator.h"

#include <QTest>

using namespace Qt::Literals::StringLiterals;

class TestOleDbTranslator : public QObject {
    Q_OBJECT
private slots:
    void translates_data();
    void translates();
    void rejects_data();
    void rejects();
    void credentialsOverrideString();
    void encryptedConnections_data();
    void encryptedConnections();
    void quotesOdbcValues_data();
    void quotesOdbcValues();
};

static const QString kTail = QStringLiteral(";TDS_Version=7.4;ClientCharset=UTF-8");

void TestOleDbTranslator::translates_data() {
    QTest::addColumn<QString>("oledb");
    QTest::addColumn<QString>("odbc");
    QTest::addColumn<int>("loginTimeout");

    const QString sa = QStringLiteral(";UID=sa;PWD=pw;APP=Dervel");
    QTest::newRow("host") << "Provider=SQLOLEDB.1;Data Source=db1;User ID=sa;Password=pw"
                          << "Driver=FreeTDS;Server=db1;Port=1433" + kTail + sa << 15;
    QTest::newRow("host,port") << "Provider=SQLNCLI11;Data Source=db1,14330;User ID=sa;Password=pw"
                               << "Driver=FreeTDS;Server=db1;Port=14330" + kTail + sa << 15;
    QTest::newRow("tcp:host,port")
        << "Provider=MSOLEDBSQL;Data Source=tcp:db1,1500;User ID=sa;Password=pw"
        << "Driver=FreeTDS;Server=db1;Port=1500" + kTail + sa << 15;
    QTest::newRow("named instance")
        << "Provider=SQLOLEDB;Data Source=db1\\SQLEXPRESS;User ID=sa;Password=pw"
        << "Driver=FreeTDS;Server=db1\\SQLEXPRESS" + kTail + sa << 15;
    QTest::newRow("instance with port wins port")
        << "Data Source=db1\\INST,2000;User ID=sa;Password=pw"
        << "Driver=FreeTDS;Server=db1;Port=2000" + kTail + sa << 15;
    QTest::newRow("dot") << "Provider=SQLOLEDB;Data Source=.;User ID=sa;Password=pw"
                         << "Driver=FreeTDS;Server=localhost;Port=1433" + kTail + sa << 15;
    QTest::newRow("(local) with instance")
        << "Provider=SQLOLEDB;Data Source=(LOCAL)\\SQLEXPRESS;User ID=sa;Password=pw"
        << "Driver=FreeTDS;Server=localhost\\SQLEXPRESS" + kTail + sa << 15;
    QTest::newRow("empty data source")
        << "Provider=SQLOLEDB;Data Source=;User ID=sa;Password=pw"
        << "Driver=FreeTDS;Server=localhost;Port=1433" + kTail + sa << 15;
    QTest::newRow("Server keyword") << "server=db2;uid=sa;pwd=pw"
                                    << "Driver=FreeTDS;Server=db2;Port=1433" + kTail + sa << 15;
    QTest::newRow("Address beats Data Source")
        << "Data Source=alias;Address=10.1.2.3,1444;User ID=sa;Password=pw"
        << "Driver=FreeTDS;Server=10.1.2.3;Port=1444" + kTail + sa << 15;
    QTest::newRow("Network Address") << "Network Address=h9;User ID=sa;Password=pw"
                                     << "Driver=FreeTDS;Server=h9;Port=1433" + kTail + sa << 15;
    QTest::newRow("catalog and timeout")
        << "Provider=SQLOLEDB;Data Source=db1;Initial Catalog=Sales;User ID=sa;Password=pw;Connect "
           "Timeout=5"
        << "Driver=FreeTDS;Server=db1;Port=1433" + kTail + ";Database=Sales" + sa << 5;
    QTest::newRow("Database keyword, case-insensitive keys")
        << "PROVIDER=sqloledb;DATA SOURCE=db1;DATABASE=x;USER ID=sa;PASSWORD=pw"
        << "Driver=FreeTDS;Server=db1;Port=1433" + kTail + ";Database=x" + sa << 15;
    QTest::newRow("integrated security")
        << "Provider=SQLOLEDB;Integrated Security=SSPI;Persist Security Info=False;Data Source=db1"
        << "Driver=FreeTDS;Server=db1;Port=1433" + kTail + ";Trusted_Connection=Yes;APP=Dervel"
        << 15;
    QTest::newRow("application, workstation, language, packet size")
        << "Data Source=db1;User ID=sa;Password=pw;Application Name=My App;Workstation ID=WS1;"
           "Current Language=russian;Packet Size=8192"
        << "Driver=FreeTDS;Server=db1;Port=1433" + kTail +
               ";UID=sa;PWD=pw;APP=My App;WSID=WS1;PacketSize=8192;Language=russian"
        << 15;
    QTest::newRow("encryption on: the server comes from the relay")
        << "Data Source=db1;User ID=sa;Password=pw;Use Encryption for Data=True;Trust Server "
           "Certificate=True"
        << "Driver=FreeTDS" + kTail + sa << 15;
    QTest::newRow("encryption off")
        << "Data Source=db1;User ID=sa;Password=pw;Encrypt=no"
        << "Driver=FreeTDS;Server=db1;Port=1433" + kTail + sa + ";Encryption=request" << 15;
    QTest::newRow("password with ; and } and quotes")
        << "Data Source=db1;User ID=sa;\"Password=a;b}c\"\"d\""
        << "Driver=FreeTDS;Server=db1;Port=1433" + kTail + ";UID=sa;PWD={a;b}c\"d};APP=Dervel"
        << 15;
    QTest::newRow("unknown keywords ignored")
        << "Data Source=db1;Frobnicate=7;Auto Translate=True;User ID=sa;Password=pw"
        << "Driver=FreeTDS;Server=db1;Port=1433" + kTail + sa << 15;
    QTest::newRow("blanks around keywords and values")
        << "  Data Source = db1 ; User ID = sa ;Password=pw"
        << "Driver=FreeTDS;Server=db1;Port=1433" + kTail + sa << 15;
}

void TestOleDbTranslator::translates() {
    QFETCH(QString, oledb);
    QFETCH(QString, odbc);
    QFETCH(int, loginTimeout);
    const TOdbcConnectParams params = TranslateOleDbConnectionString(oledb, std::nullopt);
    QCOMPARE(params.connectionString, odbc);
    QCOMPARE(params.loginTimeoutSec, loginTimeout);
}

void TestOleDbTranslator::rejects_data() {
    QTest::addColumn<QString>("oledb");
    QTest::addColumn<QString>("mentions");
    QTest::newRow("foreign provider") << "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=x.mdb"
                                      << "Microsoft.Jet.OLEDB.4.0";
    QTest::newRow("ODBC provider") << "Provider=MSDASQL;DSN=x"
                                   << "MSDASQL";
    QTest::newRow("named pipe") << "Provider=SQLOLEDB;Data Source=np:\\\\.\\pipe\\sql\\query"
                                << "named pipes";
    QTest::newRow("shared memory") << "Provider=SQLOLEDB;Data Source=lpc:db1"
                                   << "shared memory";
    QTest::newRow("bad timeout") << "Data Source=db1;Connect Timeout=soon"
                                 << "soon";
    QTest::newRow("value the driver cannot take") << "Data Source=db1;User ID=sa;Password='x};y'"
                                                  << "cannot be passed";
}

void TestOleDbTranslator::rejects() {
    QFETCH(QString, oledb);
    QFETCH(QString, mentions);
    try {
        TranslateOleDbConnectionString(oledb, std::nullopt);
        QFAIL("no error");
    } catch (const EDbError& e) {
        QVERIFY2(e.message().contains(mentions), qPrintable(e.message()));
    }
}

void TestOleDbTranslator::credentialsOverrideString() {
    const auto params = TranslateOleDbConnectionString(
        QStringLiteral("Data Source=db1;Integrated Security=SSPI;User ID=x;Password=y"),
        TDbCredentials{QStringLiteral("bob"), QStringLiteral("p=w")});
    QCOMPARE(params.connectionString,
             "Driver=FreeTDS;Server=db1;Port=1433" + kTail + ";UID=bob;PWD={p=w};APP=Dervel");
}

Q_DECLARE_METATYPE(TTlsTarget)

void TestOleDbTranslator::encryptedConnections_data() {
    QTest::addColumn<QString>("oledb");
    QTest::addColumn<bool>("encrypted"); // by Dervel's own TLS layer
    QTest::addColumn<TTlsTarget>("target");
    QTest::addColumn<QString>("serverName"); // as LOGIN7 carries it
    QTest::addColumn<bool>("needsSpn");

    auto target = [](const QString& server, const QString& host, int port) {
        TTlsTarget t;
        t.server = server;
        t.host = host;
        t.port = port;
        return t;
    };
    const TTlsTarget plain;
    QTest::newRow("Mandatory") << u"Data Source=db1;Use Encryption for Data=Mandatory"_s << true
                               << target(u"db1"_s, u"db1"_s, 1433) << u"db1"_s << false;
    TTlsTarget trusted = target(u"db1,1500"_s, u"db1"_s, 1500);
    trusted.verify = false;
    QTest::newRow("trusted certificate")
        << u"Data Source=db1,1500;Encrypt=yes;TrustServerCertificate=true"_s << true << trusted
        << u"db1"_s << false;
    TTlsTarget instance = target(u"db1\\INST"_s, u"db1"_s, 0);
    instance.instance = u"INST"_s;
    instance.caFile = u"/etc/our-ca.pem"_s;
    instance.timeoutMs = 5000;
    QTest::newRow("named instance, own authority, timeout")
        << u"Data Source=db1\\INST;Use Encryption for Data=True;CAFile=/etc/our-ca.pem;"
           "Connect Timeout=5"_s
        << true << instance << u"db1\\INST"_s << false;
    TTlsTarget strict = target(u"db1"_s, u"db1"_s, 1433);
    strict.strict = true;
    QTest::newRow("Strict checks the certificate whatever the string says")
        << u"Data Source=db1;Use Encryption for Data=Strict;Trust Server Certificate=True"_s << true
        << strict << u"db1"_s << false;
    TTlsTarget named = target(u"10.0.0.5"_s, u"10.0.0.5"_s, 1433);
    named.certificateName = u"db1.example.com"_s;
    QTest::newRow("Host Name In Certificate")
        << u"Data Source=10.0.0.5;Encrypt=True;Host Name In Certificate=db1.example.com"_s << true
        << named << u"10.0.0.5"_s << false;
    QTest::newRow("MSOLEDBSQL19 by default")
        << u"Provider=MSOLEDBSQL19;Data Source=db1;Integrated Security=SSPI"_s << true
        << target(u"db1"_s, u"db1"_s, 1433) << u"db1"_s << true;
    QTest::newRow("integrated with its own SPN")
        << u"Data Source=db1;Encrypt=True;Integrated Security=SSPI;Server SPN=MSSQLSvc/x:1"_s
        << true << target(u"db1"_s, u"db1"_s, 1433) << u"db1"_s << false;
    QTest::newRow("MSOLEDBSQL19, Optional") << u"Provider=MSOLEDBSQL19;Data Source=db1;Use "
                                               "Encryption for Data=Optional"_s
                                            << false << plain << u"db1"_s << false;
    QTest::newRow("SQLOLEDB says nothing")
        << u"Provider=SQLOLEDB;Data Source=db1"_s << false << plain << u"db1"_s << false;
}

void TestOleDbTranslator::encryptedConnections() {
    QFETCH(QString, oledb);
    QFETCH(bool, encrypted);
    QFETCH(TTlsTarget, target);
    QFETCH(QString, serverName);
    QFETCH(bool, needsSpn);
    const TOdbcConnectParams params = TranslateOleDbConnectionString(oledb, std::nullopt);
    QCOMPARE(params.tls.has_value(), encrypted);
    if (encrypted) {
        QCOMPARE(params.tls->server, target.server);
        QCOMPARE(params.tls->host, target.host);
        QCOMPARE(params.tls->port, target.port);
        QCOMPARE(params.tls->instance, target.instance);
        QCOMPARE(params.tls->strict, target.strict);
        QCOMPARE(params.tls->verify, target.verify);
        QCOMPARE(params.tls->caFile, target.caFile);
        QCOMPARE(params.tls->certificateName, target.certificateName);
        QCOMPARE(params.tls->timeoutMs, target.timeoutMs);
        // The driver speaks plain TDS to the relay and is told nothing of the server.
        QVERIFY(!params.connectionString.contains(u"Server="_s));
        QVERIFY(!params.connectionString.contains(u"Encryption="_s));
    }
    QCOMPARE(params.serverName, serverName);
    QCOMPARE(params.needsServerSpn, needsSpn);
}

void TestOleDbTranslator::quotesOdbcValues_data() {
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("quoted");
    QTest::newRow("plain") << "abc"
                           << "abc";
    QTest::newRow("semicolon") << "a;b"
                               << "{a;b}";
    QTest::newRow("brace inside") << "a}b"
                                  << "{a}b}";
    QTest::newRow("brace at the end") << "ab}"
                                      << "{ab}}";
    QTest::newRow("leading blank") << " a"
                                   << "{ a}";
    QTest::newRow("empty") << ""
                           << "";
}

void TestOleDbTranslator::quotesOdbcValues() {
    QFETCH(QString, value);
    QFETCH(QString, quoted);
    QCOMPARE(QuoteOdbcValue(value), quoted);
}

QTEST_GUILESS_MAIN(TestOleDbTranslator)
#include "tst_oledbtranslator.moc"
